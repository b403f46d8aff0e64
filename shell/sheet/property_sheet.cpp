#include "shell/sheet/property_sheet.h"

#include "config/config_store.h"
#include "shell/core/console_caption.h"
#include "shell/core/console_state.h"
#include "shell/core/link_libraries.h"
#include "shell/sheet/pages.h"
#include "ui/host.h"

namespace shell {

namespace {

// The MMSC pages come from MMSCLNK.DLL, which appends them to the sheet itself.
void AddMmscPages(ui::Sheet& sheet) {
    const MmscLinkTable* mmsc = MmscLink();
    if (mmsc == nullptr || mmsc->MMSConfigGetNumberOfPropertySheetPages() <= 0) return;
    int pageCount = sheet.PageCount();
    mmsc->MMSConfigAddPropertySheetPages(&sheet, &pageCount);
}

}  // namespace

const char* SmscTabTitle() { return SmppLink() != nullptr ? "SMSC" : "Modems"; }

std::unique_ptr<ui::Sheet> BuildPropertySheet() {
    const ConsoleState& console = Console();
    auto sheet = std::make_unique<ui::Sheet>(kConsoleCaption);
    sheet->AddPage(console.statusPageEnabled ? MakeStatusPage() : MakeServicePage());
    sheet->AddPage(MakeSmscPage(SmscTabTitle()));
    sheet->AddPage(MakeWebPage());
    sheet->AddPage(MakeUsersPage());
    sheet->AddPage(MakeTwoWayPage());
    AddMmscPages(*sheet);
    if (TlsAvailable() || ServerCertificatePresent()) sheet->AddPage(MakeSslPage());
    sheet->AddPage(MakeDebugLogsPage());

    // With no connection defined the operator starts where connections are added.
    sheet->SetStartPage(config::ReadZellaKey("Modem1", "").empty() ? 1 : 0);
    sheet->SetHelpButton(console.manualPresent);
    sheet->SetMinimizeBox(true);
    return sheet;
}

}  // namespace shell
