// The console's main property sheet: its pages in their fixed order, the start page
// and the sheet decorations.
#pragma once

#include <memory>
#include <vector>

#include "ui/sheet.h"
#include "ui/template.h"

namespace shell {

// Builds the sheet from the current configuration and the libraries that loaded.
std::unique_ptr<ui::Sheet> BuildPropertySheet();

// Tab title of the SMSC page: "SMSC" when SMPPLNK.DLL is available, else "Modems".
const char* SmscTabTitle();

}  // namespace shell
