#include "viewers/queue_viewer.h"

#include <algorithm>
#include <cstdlib>

#include "config/config_store.h"
#include "platform/files.h"
#include "platform/text.h"
#include "ui/long_operation.h"
#include "viewers/spool_scan.h"
#include "ui/access_keys.h"

namespace viewers {

namespace {

constexpr int kRefreshTimer = 1;
constexpr std::size_t kCellChars = 499;

struct ViewerConfig {
    const char* title;
    std::vector<std::string> columns;
    const char* prefix;
    const char* emptyWord;
    int defaultSort;
};

const ViewerConfig& Config(ViewerKind kind) {
    static const ViewerConfig configs[] = {
        {"Outbound SMS Queue", {"ID", "Submit User", "Recipient", "Submit Time", "Status"},
         "Outbound SMS Message Queue:  ", "Empty", 4},
        {"Received SMS Messages", {"ID", "Sender", "Recipient", "Receive Time", "Status", "Text"},
         "Received SMS Messages:  ", "None", -4},
        {"Received MMS Messages", {"ID", "Sender", "Recipient", "Receive Time", "Subject"},
         "Received MMS Messages:  ", "None", -4},
    };
    return configs[static_cast<int>(kind)];
}

// What a viewer keeps while the console runs: its rows and its sort order.
struct ViewerState {
    SpoolRowList list;
    int sortState;
};

ViewerState& Kept(ViewerKind kind) {
    static ViewerState states[] = {{{}, 4}, {{}, -4}, {{}, -4}};
    return states[static_cast<int>(kind)];
}

std::string Root(ViewerKind kind) {
    switch (kind) {
        case ViewerKind::Outbound: return config::QueueDirectory();
        case ViewerKind::ReceivedSms: return config::InboundSmsDirectory();
        default: return config::InboundMmsDirectory();
    }
}

// A fresh list of the viewer's spool, sorted by `sortState`. A spool of many thousand
// files takes a while, so the scan is a long operation: the window stays alive and the
// operator may cancel it, keeping the rows read so far.
SpoolRowList Scan(ui::Host& host, ViewerKind kind, int sortState) {
    const std::string progress = std::string("Reading ") + Config(kind).title + "...";
    return ui::RunLong<SpoolRowList>(host, progress, [kind, sortState](ui::Host&) {
        SpoolRowList list;
        switch (kind) {
            case ViewerKind::Outbound: ScanOutboundQueue(list); break;
            case ViewerKind::ReceivedSms: ScanReceivedSms(list); break;
            default: ScanReceivedMms(list); break;
        }
        SortRows(list, sortState);
        return list;
    });
}

class QueueViewer : public ui::Dialog {
public:
    explicit QueueViewer(ViewerKind kind) : ui::Dialog(QueueViewerTemplate(kind)), kind_(kind) {}

    void OnInit() override {
        static const char* const kEmpty[] = {"No messages are waiting to be sent.",
                                             "No received SMS messages are kept.",
                                             "No received MMS messages are kept."};
        SetEmptyText("rows", kEmpty[static_cast<int>(kind_)]);
        ViewerState& s = Kept(kind_);
        s.list = Scan(GetHost(), kind_, Config(kind_).defaultSort);
        ShowSortMark(Config(kind_).defaultSort);
        SetRowCount("rows", static_cast<int>(s.list.rows.size()));
        SetSelectedRows("rows", {});
        UpdateSummary();
        SetTimer(kRefreshTimer, 60'000);
    }

    std::vector<std::string> OnGetRow(const std::string&, int row) override {
        const SpoolRowList& list = Kept(kind_).list;
        std::vector<std::string> cells;
        if (row < 0 || static_cast<std::size_t>(row) >= list.rows.size()) return cells;
        for (std::size_t c = 0; c < Config(kind_).columns.size(); ++c) {
            std::string cell = list.rows[row]->Field(c + 1);
            if (kind_ != ViewerKind::Outbound && cell.size() > kCellChars) cell.resize(kCellChars);
            cells.push_back(std::move(cell));
        }
        return cells;
    }

    void OnCommand(const std::string& id, ui::Event event) override {
        if ((id == "view" && event == ui::Event::Clicked) || (id == "rows" && event == ui::Event::DoubleClicked))
            View();
        else if (id == "delete" && event == ui::Event::Clicked)
            Delete();
        else if (id == "rows" && event == ui::Event::ColumnClicked)
            SortByColumn(ClickedColumn("rows"));
    }

    bool OnKey(const std::string& id, ui::Key key) override {
        if (id != "rows" || key == ui::Key::Insert) return false;
        if (key == ui::Key::Enter) View();
        else Delete();
        return true;
    }

    void OnTimer(int timerId) override {
        if (timerId == kRefreshTimer) Refresh();
    }

private:
    std::string FirstSelectedPath() const {
        const std::vector<int> selected = SelectedRows("rows");
        const SpoolRowList& list = Kept(kind_).list;
        if (selected.empty() || static_cast<std::size_t>(selected[0]) >= list.rows.size()) return {};
        return list.rows[selected[0]]->Field(0).substr(0, 249);
    }

    void Reselect(const std::string& path) {
        const SpoolRowList& list = Kept(kind_).list;
        for (std::size_t i = 0; !path.empty() && i < list.rows.size(); ++i) {
            if (platform::EqualsNoCase(list.rows[i]->Field(0), path)) {
                SetSelectedRows("rows", {static_cast<int>(i)});
                return;
            }
        }
        SetSelectedRows("rows", {});
    }

    // The header marks the column the rows are ordered by (state +k/-k: column k - 1).
    void ShowSortMark(int state) {
        SetSortIndicator("rows", state == 0 ? -1 : std::abs(state) - 1, state < 0);
    }

    // A header click: the same column again reverses the order, another sorts ascending;
    // the first selected row stays selected wherever it lands.
    void SortByColumn(int column) {
        ViewerState& s = Kept(kind_);
        if (column < 0 || s.list.rows.empty()) return;
        const std::string kept = FirstSelectedPath();
        s.sortState = ToggleSortState(s.sortState, column);
        SortRows(s.list, s.sortState);
        ShowSortMark(s.sortState);
        RefreshRows("rows");
        Reselect(kept);
    }

    void UpdateSummary() {
        const std::string text = ViewerSummary(kind_, Kept(kind_).list.matched);
        if (!platform::EqualsNoCase(text, Text("summary"))) SetText("summary", text);
    }

    void Refresh() {
        if (SelectedRows("rows").size() >= 2) return;
        ViewerState& s = Kept(kind_);
        SpoolRowList fresh = Scan(GetHost(), kind_, s.sortState);
        ShowSortMark(s.sortState);
        const std::string kept = FirstSelectedPath();
        std::swap(s.list, fresh);
        SetRowCount("rows", static_cast<int>(s.list.rows.size()));
        Reselect(kept);
        UpdateSummary();
    }

    void View() {
        const std::vector<int> selected = SelectedRows("rows");
        const SpoolRowList& list = Kept(kind_).list;
        if (selected.empty() || static_cast<std::size_t>(selected[0]) >= list.rows.size()) return;
        const std::string path = Root(kind_) + list.rows[selected[0]]->Field(0);
        if (kind_ == ViewerKind::ReceivedMms) {
            OpenMmsDetails(GetHost(), path);
            return;
        }
        // The desktop's text editor (VISUAL / EDITOR) stands in for Notepad.
        GetHost().ShellOpen(path, path.substr(0, path.rfind('/') + 1));
    }

    void Delete();

    ViewerKind kind_;
};

void QueueViewer::Delete() {
    Focus("rows");
    std::vector<int> selected = SelectedRows("rows");
    SpoolRowList& list = Kept(kind_).list;
    selected.erase(std::remove_if(selected.begin(), selected.end(),
                                  [&](int r) { return r < 0 || static_cast<std::size_t>(r) >= list.rows.size(); }),
                   selected.end());
    if (selected.empty()) return;
    const std::string question = selected.size() == 1
                                     ? std::string("Delete Message?")
                                     : "Delete " + std::to_string(selected.size()) + " messages?";
    if (ui::MessageBox(GetHost(), question, ui::Icon::Question, ui::Buttons::YesNo, 1) != ui::kYes)
        return;
    // From the last row back, so the indices still to do stay valid.
    for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
        const SpoolRow& row = *list.rows[*it];
        const bool gone = DeleteRowFile(list, row);
        if (kind_ != ViewerKind::ReceivedMms) {
            if (!gone && row.folder < list.folders.size())
                StartDeleteRetryWorker(list.folders[row.folder], row.Field(1));
        } else if (gone) {
            DeleteRowPartsFolder(list, row);
        }
        list.rows.erase(list.rows.begin() + *it);
    }
    SetRowCount("rows", static_cast<int>(list.rows.size()));
    SetSelectedRows("rows", {});
}

}  // namespace

std::string ViewerSummary(ViewerKind kind, unsigned matched) {
    const ViewerConfig& c = Config(kind);
    if (matched == 0) return std::string(c.prefix) + c.emptyWord;
    return c.prefix + std::to_string(matched) + " message" + (matched == 1 ? "" : "s");
}

ui::Template QueueViewerTemplate(ViewerKind kind) {
    using namespace ui;
    const ViewerConfig& c = Config(kind);
    Control rows = Report("rows", "", c.columns, Flag::MultiSelect);
    // Narrow enough for a small screen; the window can be widened and the columns scroll.
    rows.width = 72;
    rows.height = 20;
    return ui::WithAccessKeys(ui::Template{"DIALOG_SMSQ",
            c.title,
            {Static("summary", "", Flag::Wide), rows,
             Row("buttons", {Button("view", "View", Flag::Default), Button("delete", "Delete"),
                             Button(IDCANCEL, "Close")})}});
}

void OpenQueueViewer(ui::Host& host, ViewerKind kind) {
    QueueViewer viewer(kind);
    host.RunModal(viewer);
}

}  // namespace viewers
