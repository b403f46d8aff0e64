#include "modem/restrictions_dialog.h"

#include <cctype>
#include <climits>
#include <initializer_list>

#include "config/config_store.h"
#include "platform/ini.h"
#include "ui/access_keys.h"

namespace modem {

namespace {

constexpr std::size_t kRestrictionValueSize = 500;

// Limits and counts are written as "%u"; a negative number switches the limit off like 0.
unsigned NonNegative(long value) {
    if (value <= 0) return 0;
    return value > static_cast<long>(UINT_MAX) ? UINT_MAX : static_cast<unsigned>(value);
}

class Restrictions : public ui::Dialog {
public:
    explicit Restrictions(std::string name)
        : ui::Dialog(RestrictionsTemplate()),
          name_(std::move(name)),
          section_(config::ConnectionSectionName(name_)) {}

    void OnInit() override {
        SetChecked("enabled", !config::IsYes(Read("Offline")));
        LoadLimit("daily", "dailyLimit", Read("CreditLimitDay"));
        LoadLimit("monthly", "monthlyLimit", Read("CreditLimitMonth"));
        const std::string resetDay = Read("CreditLimitResetDay");
        SetText("resetDay", ParseRestrictionNumber(resetDay) == 0 ? "1" : resetDay);
        const std::string start = Read("QuietHourStart"), end = Read("QuietHourEnd");
        SetChecked("quiet", ParseRestrictionNumber(start) != 0 || ParseRestrictionNumber(end) != 0);
        SetText("quietStart", start);
        SetText("quietEnd", end);
        const std::string limit = Read("SMSCSendLimit");
        const std::size_t slash = limit.find('/');
        const std::string count = limit.substr(0, slash);
        SetChecked("speed", ParseRestrictionNumber(count) != 0);
        SetText("speedCount", count);
        SetText("speedSeconds", slash == std::string::npos ? "1" : limit.substr(slash + 1));
        UpdateEnabled();
    }

    void OnCommand(const std::string& id, ui::Event event) override {
        if (event == ui::Event::Clicked &&
            (id == "daily" || id == "monthly" || id == "quiet" || id == "speed")) {
            UpdateEnabled();
        }
    }

    void OnOk() override {
        platform::IniBatch batch(config::ConfigurationPath());
        auto put = [&](const char* key, const std::string& value) {
            if (value.empty())
                batch.DeleteKey(section_, key);
            else
                batch.Write(section_, key, value);
        };
        put("Offline", Checked("enabled") ? "" : "Yes");
        put("CreditLimitDay", LimitText("daily", "dailyLimit"));
        const std::string month = LimitText("monthly", "monthlyLimit");
        put("CreditLimitMonth", month);
        if (!month.empty()) {
            const unsigned day = NonNegative(ParseRestrictionNumber(Text("resetDay")));
            put("CreditLimitResetDay", day > 1 ? std::to_string(day) : "");
        }
        PutQuietHours(put);
        PutSpeedLimit(put);
        if (!batch.Commit()) {
            ui::Error(GetHost(), "Unable to save the connection restrictions to " +
                                     config::ConfigurationPath());
            return;
        }
        End(ui::kOk);
    }

private:
    std::string Read(const char* key) const {
        return platform::GetPrivateProfileString(config::ConfigurationPath(), section_, key, "",
                                                 kRestrictionValueSize);
    }

    void LoadLimit(const char* box, const char* field, const std::string& value) {
        SetChecked(box, ParseRestrictionNumber(value) != 0);
        SetText(field, value);
    }

    std::string LimitText(const char* box, const char* field) const {
        if (!Checked(box)) return {};
        const unsigned value = NonNegative(ParseRestrictionNumber(Text(field)));
        return value == 0 ? std::string() : std::to_string(value);
    }

    template <typename Put>
    void PutQuietHours(Put& put) {
        long start = 0, end = 0;
        if (Checked("quiet")) {
            start = ParseRestrictionNumber(Text("quietStart"));
            end = ParseRestrictionNumber(Text("quietEnd"));
            if (start == end) start = end = 0;
            if (start < 0 || start > 23) start = 0;
            if (end < 0 || end > 23) end = 0;
        }
        const bool any = start != 0 || end != 0;
        put("QuietHourStart", any ? std::to_string(start) : "");
        put("QuietHourEnd", any ? std::to_string(end) : "");
    }

    template <typename Put>
    void PutSpeedLimit(Put& put) {
        unsigned messages = 0, seconds = 0;
        if (Checked("speed")) {
            messages = NonNegative(ParseRestrictionNumber(Text("speedCount")));
            seconds = NonNegative(ParseRestrictionNumber(Text("speedSeconds")));
            if (seconds == 0) seconds = 1;
        }
        put("SMSCSendLimit",
            messages == 0 ? "" : std::to_string(messages) + "/" + std::to_string(seconds));
    }

    void UpdateEnabled() {
        const bool daily = Checked("daily"), monthly = Checked("monthly");
        const bool quiet = Checked("quiet"), speed = Checked("speed");
        Enable("dailyLimit", daily);
        for (const char* id : {"monthlyLimit", "resetDay"}) Enable(id, monthly);
        for (const char* id : {"quietStart", "quietAnd", "quietEnd", "quietEndLabel"})
            Enable(id, quiet);
        for (const char* id : {"speedCount", "speedPer", "speedSeconds", "speedSecondsLabel"})
            Enable(id, speed);
    }

    std::string name_;
    std::string section_;
};

// A field for a small number: a few digits wide.
ui::Control NumberField(const char* id, const char* label = "") {
    ui::Control field = ui::Edit(id, label, ui::Flag::Number);
    field.width = 6;
    return field;
}

}  // namespace

ui::Template RestrictionsTemplate() {
    using namespace ui;
    return ui::WithAccessKeys(ui::Template{
        "DIALOG_RESTRICTIONS",
        "Connection Restrictions",
        {Check("enabled", "Connection Enabled"),
         Row("dailyRow", {Check("daily", "Enable Daily Message Limit"), NumberField("dailyLimit")}),
         Row("monthlyRow",
             {Check("monthly", "Enable Monthly Message Limit"), NumberField("monthlyLimit")}),
         NumberField("resetDay", "Month Begins on Day"),
         Row("quietRow", {Check("quiet", "Enable Quiet Hours between"), NumberField("quietStart"),
                          Static("quietAnd", ":00 and"), NumberField("quietEnd"),
                          Static("quietEndLabel", ":00")}),
         Row("speedRow", {Check("speed", "Limit Message Speed"), NumberField("speedCount"),
                          Static("speedPer", "messages per"), NumberField("speedSeconds"),
                          Static("speedSecondsLabel", "seconds")}),
         OkCancelRow()}});
}

long ParseRestrictionNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (value > (LONG_MAX - 9) / 10) break;  // far beyond any limit; stop before overflow
        value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

bool RestrictionsDialog(ui::Host& host, const std::string& connectionName) {
    if (connectionName.empty()) return false;
    Restrictions dialog(connectionName);
    return host.RunModal(dialog) == ui::kOk;
}

}  // namespace modem
