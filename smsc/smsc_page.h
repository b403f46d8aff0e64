// The SMSC page of the console's sheet ("SMSC", or "Modems" without the SMPP link
// library): the connection list with add, properties, test, remove, statistics and
// restrictions, every change stored at once, and status lines refreshed about every
// 3 seconds.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/core/console_page.h"
#include "smsc/connection_edit.h"
#include "smsc/connection_list.h"
#include "ui/template.h"

namespace smsc {

inline constexpr const char* kNoConnectionsText =
    "No SMSC connections are currently defined.  Please select the button below to define "
    "an SMS-compatible modem or direct SMSC connection.";
inline constexpr const char* kLeaveEmptyQuestion =
    "No SMSC connections or modems are defined.  SMS Gateway will be inactive.\r\n\r\n"
    "Continue?";

// "DIALOG_SMSC" with the tab title.
ui::Template SmscPageTemplate(const std::string& title);

// What the page asks of the rest of the console; the defaults are the real ones
// (service manager, link libraries, the restart watcher's queue count).
struct SmscPageServices {
    std::function<bool()> serviceActive;  // the Gateway service installed and active
    std::function<bool()> smppAvailable;  // SMPPLNK.DLL loaded: Add asks for the type
    std::function<bool()> ucpAvailable;
    std::function<bool()> cimdAvailable;
    std::function<std::uint32_t()> queueSize;  // outbound queue size
};
SmscPageServices DefaultSmscPageServices();

class SmscPage : public shell::ConsolePage {
public:
    explicit SmscPage(const std::string& title,
                      SmscPageServices services = DefaultSmscPageServices());

    void OnInit() override;
    void OnSetActive() override;
    // With an empty list the operator must confirm that the gateway stays inactive.
    bool OnKillActive() override;
    // Writes nothing unless the page changed its list; else stores its changes merged
    // with the list as it is on disk now (MergeConnectionList, StoreConnectionList);
    // false, after saying so, when ZELLA.INI cannot be written.
    bool OnApply() override;
    void OnCommand(const std::string& id, ui::Event event) override;
    void OnTimer(int timerId) override;

    const std::vector<ConnectionEntry>& Entries() const { return entries_; }

private:
    void Add();
    void Properties(int index);
    void Remove(int index);
    // The selected entry's index; shows "No connection selected" when there is none.
    int SelectedOrComplain();
    // Adds or replaces an entry from a dialog's record and marks the sheet changed.
    int TakeRecord(const std::string& record, int index, bool ignoreCase);
    void ShowList(int select);
    void UpdateVisibility();
    void ApplyNow();
    void Refresh();
    void SetTextIfChanged(const std::string& id, const std::string& text);
    std::vector<std::string> ConnectionNames() const;

    SmscPageServices services_;
    std::vector<ConnectionEntry> entries_;
    std::vector<std::string> loadedNames_;  // the stored list the page last read or wrote
    std::int64_t lastRefreshSecond_ = 0;
    bool forceRefresh_ = true;
    bool dirty_ = false;  // the list changed since the page last stored it
    // Lets the connection dialogs opened from this page see its list.
    ConnectionListRegistration listRegistration_{[this] { return ConnectionNames(); }};
};

// The page, for the sheet.
std::unique_ptr<ui::Page> CreateSmscPage(const std::string& title);

}  // namespace smsc
