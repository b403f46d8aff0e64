// The Debug Logs page, the last tab: switches the debug logs of the Gateway service,
// the MMSC service and the operator-MMSC (WAP over GPRS) component, and opens each log
// that exists. The console only stores the switches; the services write the logs.
#pragma once

#include <array>
#include <string>

#include "shell/core/console_page.h"

namespace shell {

struct DebugLogRow {
    const char* check;    // control id of the box
    const char* view;     // control id of its "View" button
    const char* label;    // the box's text
    const char* section;  // section holding the `Debug` key
    const char* logFile;  // "SMSDEBUG.LOG"
};
extern const std::array<DebugLogRow, 3> kDebugLogRows;

// The INI file of a row: ZELLA.INI, MMSC.INI, or WAPLNK.INI in the program data
// directory.
std::string DebugSwitchFile(std::size_t row);
// The full path of a row's log file.
std::string DebugLogPath(std::size_t row);

class DebugLogsPage : public ConsolePage {
public:
    DebugLogsPage();

    // Checks each box whose `Debug` value is a yes value, then runs the first timer step
    // and starts the 5-second timer.
    void OnInit() override;
    // Enables each "View" button exactly while its log file exists.
    void OnTimer(int timerId) override;
    void OnCommand(const std::string& id, ui::Event event) override;
    // Writes `Debug` = "Yes" for each checked box and deletes the key for the others.
    // Write failures are not reported; the page always accepts.
    bool OnApply() override;

    static constexpr int kViewTimer = 1;
    static constexpr int kViewMs = 5000;
};

// The template of the page ("DIALOG_DEBUG", tab "Debug Logs").
ui::Template DebugLogsPageTemplate();

}  // namespace shell
