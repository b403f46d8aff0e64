// Pictures of dialogs and sheets without an event loop, for tests and documentation:
// the window is laid out and painted offscreen, never shown on a display.
#pragma once

#include <string>

#include "ui/dialog.h"
#include "ui/sheet.h"
#include "ui/template.h"

namespace qtui {

// Renders a plain dialog of the template (no procedure behind it) to a PNG file.
// False when there is no QApplication or the file cannot be written.
bool RenderTemplateToPng(const ui::Template& tmpl, const std::string& pngPath);
// Renders `dialog` after its OnInit, to a PNG file. The dialog is detached afterwards.
bool RenderDialogToPng(ui::Dialog& dialog, const std::string& pngPath);
// Renders the sheet with page `page` active (the start page when -1) to a PNG file. The
// sheet is opened on a Qt host and detached afterwards.
bool RenderSheetToPng(ui::Sheet& sheet, const std::string& pngPath, int page = -1);

}  // namespace qtui
