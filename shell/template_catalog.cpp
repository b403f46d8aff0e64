#include "shell/template_catalog.h"

#include <memory>

#include "shell/pages.h"

namespace shell {

std::vector<ui::Template> AllTemplates() {
    std::vector<std::unique_ptr<ui::Page>> pages;
    pages.push_back(MakeStatusPage());
    pages.push_back(MakeServicePage());
    pages.push_back(MakeSmscPage("SMSC"));
    pages.push_back(MakeWebPage());
    pages.push_back(MakeUsersPage());
    pages.push_back(MakeTwoWayPage());
    pages.push_back(MakeSslPage());
    pages.push_back(MakeDebugLogsPage());

    std::vector<ui::Template> all;
    for (const auto& page : pages) all.push_back(page->GetTemplate());
    return all;
}

}  // namespace shell
