// Factories of the sheet's pages. Areas that are not built yet give an empty page with
// the right tab title.
#pragma once

#include <memory>
#include <string>

#include "ui/sheet.h"

namespace shell {

std::unique_ptr<ui::Page> MakeStatusPage();   // "Service" when the status page is enabled
std::unique_ptr<ui::Page> MakeServicePage();  // "Service" otherwise
std::unique_ptr<ui::Page> MakeSmscPage(const std::string& title);
std::unique_ptr<ui::Page> MakeWebPage();
std::unique_ptr<ui::Page> MakeUsersPage();
std::unique_ptr<ui::Page> MakeTwoWayPage();
std::unique_ptr<ui::Page> MakeSslPage();
std::unique_ptr<ui::Page> MakeDebugLogsPage();

}  // namespace shell
