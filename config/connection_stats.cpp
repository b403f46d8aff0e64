#include "config/connection_stats.h"

#include "acctdb/acctdb.h"
#include "config/counter_file.h"
#include "config/counters.h"
#include "platform/files.h"
#include "ui/dialog.h"
#include "ui/access_keys.h"

namespace config {

namespace {

constexpr int kFirstYear = 2000;
constexpr const char* kMonthNames[12] = {"January", "February", "March",     "April",
                                         "May",     "June",     "July",      "August",
                                         "September", "October", "November", "December"};
constexpr int kMonthEnds[12] = {31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

constexpr const char* kList = "list";
constexpr const char* kSent = "sent";
constexpr const char* kReceived = "received";

std::string Messages(std::uint64_t count) { return "\t" + std::to_string(count) + " messages"; }

void AddYearLines(const DailyCounters& counters, int year, std::vector<std::string>& lines) {
    const bool leap = IsCounterLeapYear(year);
    int month = 0;
    int dayOfMonth = 0;
    std::uint64_t monthSum = 0;
    for (int day = 0; day < CounterDaysInYear(year); ++day) {
        ++dayOfMonth;
        const std::uint32_t count = counters[static_cast<std::size_t>(day)];
        if (count != 0) {
            lines.push_back(std::string(kMonthNames[month]) + " " + std::to_string(dayOfMonth) +
                            ", " + std::to_string(year) + Messages(count));
        }
        monthSum += count;
        const int monthEnd = kMonthEnds[month] + (leap && month >= 1 ? 1 : 0);
        if (day + 1 == monthEnd) {
            if (monthSum != 0) {
                lines.push_back(std::string("   TOTAL - ") + kMonthNames[month] + " " +
                                std::to_string(year) + Messages(monthSum));
            }
            if (month < 11) ++month;
            dayOfMonth = 0;
            monthSum = 0;
        }
    }
}

class StatsDialog : public ui::Dialog {
public:
    explicit StatsDialog(std::string connectionName)
        : ui::Dialog(ConnectionStatsTemplate()), connectionName_(std::move(connectionName)) {}

    void OnInit() override {
        SetChecked(kSent, true);
        Fill();
    }
    void OnCommand(const std::string& id, ui::Event event) override {
        if (event == ui::Event::Clicked && (id == kSent || id == kReceived)) Fill();
    }

private:
    void Fill() {
        const int year = acctdb::TZGetLocalTime().year;
        std::vector<std::string> lines =
            ConnectionStatsLines(connectionName_, Checked(kReceived), year);
        const int last = static_cast<int>(lines.size()) - 1;
        SetItems(kList, std::move(lines));
        if (last >= 0) SetSelection(kList, last);
    }

    std::string connectionName_;
};

}  // namespace

ui::Template ConnectionStatsTemplate() {
    ui::Control list = ui::List(kList, "", ui::Flag::None, {0, 26});
    list.width = 48;
    list.height = 16;
    return ui::WithAccessKeys(ui::Template{"DIALOG_STATS",
                        "Statistics",
                        {list,
                         ui::Row("choice", {ui::Radio(kSent, "Messages Sent", ui::Flag::GroupStart),
                                            ui::Radio(kReceived, "Messages Received")}),
                         ui::Button(ui::IDOK, "Close", ui::Flag::Default)}});
}

std::vector<std::string> ConnectionStatsLines(const std::string& connectionName, bool received,
                                              int currentYear) {
    std::vector<std::string> lines;
    for (int year = kFirstYear; year <= currentYear; ++year) {
        const std::string path = ConnectionCounterPath(connectionName, year, received);
        if (!platform::FileExists(path)) continue;
        AddYearLines(ReadDailyCounterFile(path), year, lines);
    }
    return lines;
}

void ShowConnectionStats(ui::Host& host, const std::string& connectionName) {
    StatsDialog dialog(connectionName);
    host.RunModal(dialog);
}

}  // namespace config
