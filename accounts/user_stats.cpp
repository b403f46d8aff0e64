#include "accounts/user_stats.h"

#include "accounts/quota.h"
#include "acctdb/acctdb.h"
#include "ui/access_keys.h"
#include "ui/dialog.h"

namespace accounts {
namespace {

constexpr int kFirstStatsYear = 2000;
constexpr const char* kMonthNames[12] = {"January", "February", "March",     "April",
                                         "May",     "June",     "July",      "August",
                                         "September", "October", "November", "December"};
// List tab stop of the statistics, in dialog-template units (about 4 per character).
constexpr int kStatsTabUnits = 130;

class UserStatsDialog : public ui::Dialog {
public:
    explicit UserStatsDialog(std::vector<std::string> lines)
        : ui::Dialog(UserStatsTemplate()), lines_(std::move(lines)) {}
    void OnInit() override {
        SetItems("stats", lines_);
        if (!lines_.empty()) SetSelection("stats", static_cast<int>(lines_.size()) - 1);
    }

private:
    std::vector<std::string> lines_;
};

}  // namespace

std::vector<std::string> UserStatsLines(const std::string& user, int lastYear) {
    std::vector<std::string> lines;
    for (int year = kFirstStatsYear; year <= lastYear; ++year) {
        QuotaCounters counters;
        if (!ReadQuotaFile(user, year, counters)) continue;
        for (int month = 1; month <= 12; ++month) {
            const std::string name = kMonthNames[month - 1];
            std::uint64_t total = 0;
            for (int day = 1; day <= QuotaMonthDays(year, month); ++day) {
                const std::uint32_t count = counters[QuotaDayIndex(year, month, day)];
                if (count == 0) continue;
                total += count;
                lines.push_back(name + " " + std::to_string(day) + ", " + std::to_string(year) +
                                "\t" + std::to_string(count) + " messages");
            }
            if (total != 0)
                lines.push_back("   TOTAL - " + name + " " + std::to_string(year) + "\t" +
                                std::to_string(total) + " messages");
        }
    }
    return lines;
}

ui::Template UserStatsTemplate() {
    using namespace ui;
    Control list = List("stats", "", Flag::None, {kStatsTabUnits / 4});
    list.width = 50;
    list.height = 16;
    return ui::WithAccessKeys(ui::Template{"DIALOG_USERSTATS", "Statistics", {list, Row("buttons", {Button(IDOK, "Close", Flag::Default)})}});
}

void ShowUserStats(ui::Host& host, const std::string& user) {
    UserStatsDialog dialog(UserStatsLines(user, acctdb::TZGetLocalTime().year));
    host.RunModal(dialog);
}

}  // namespace accounts
