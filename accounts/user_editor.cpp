#include "accounts/user_editor.h"

#include <cstdio>

#include "accounts/quota.h"
#include "accounts/user_settings.h"
#include "config/config_store.h"
#include "config/credit.h"
#include "platform/text.h"
#include "ui/dialog.h"
#include "ui/long_operation.h"

namespace accounts {
namespace {

using platform::EqualsNoCase;

const std::vector<std::string> kWebMenus = {"All Options Enabled", "Text SMS Only", "SMS, MMS Only",
                                            "SMS, WAP Multimedia Only", "SMS, MMS, WAP MM Only"};
const std::vector<std::string> kCharsets = {"Default", "IA5 (GSM)", "iso-8859-1 (Latin)",
                                            "iso-8859-1 as Default", "iso-8859-15 (Latin-9)"};

struct TextLimit {
    const char* id;
    std::size_t max;
};
// Byte limits of the record's slots; UTF-8 text is cut only between characters.
constexpr TextLimit kLimits[] = {{"name", kUserNameMax},           {"password", kPasswordMax},
                                 {"fullName", kFullNameMax},       {"allowedIps", kAllowedIpsMax},
                                 {"forcedSender", kForcedSenderMax}, {"speedText", kSpeedLimitMax},
                                 {"routing", kRoutingSize}};

bool StartsWithDigit(const std::string& s) { return !s.empty() && s[0] >= '0' && s[0] <= '9'; }

class UserEditor : public ui::Dialog {
public:
    UserEditor(acctdb::UserRecord& record, acctdb::UserHandle handle)
        : ui::Dialog(UserEditorTemplate(!record.UserName().empty())),
          record_(record),
          handle_(handle),
          openedName_(record.UserName()),
          section_(openedName_.empty() ? kGatewaySmppSection : ClientSection(openedName_)) {}

    void OnInit() override;
    void OnCommand(const std::string& id, ui::Event event) override;
    void OnOk() override;

private:
    void ShowLogins();
    void ShowLimits();
    void ShowCredit();
    void ShowSmppOptions();
    void FollowSmpp();
    void FollowAccept();
    bool Validate(const std::string& name);
    void StoreCredit(const std::string& name);
    void FillRecord(acctdb::UserRecord& out) const;
    void StoreKeys(const std::string& name);

    acctdb::UserRecord& record_;
    acctdb::UserHandle handle_;
    std::string openedName_;
    std::string section_;
};

void UserEditor::OnInit() {
    SetText("name", record_.UserName());
    SetText("password", record_.Password());
    SetText("fullName", record_.FullName());
    ShowLogins();
    ShowLimits();
    const UserQuota quota = ReadUserQuota(openedName_);
    if (quota.today != 0) SetText("today", std::to_string(quota.today) + " today");
    if (quota.month != 0) SetText("thisMonth", std::to_string(quota.month) + " this month");
    ShowCredit();
    SetText("allowedIps", record_.AllowedIps());
    SetText("forcedSender", record_.ForcedSender());
    SetItems("webMenu", kWebMenus);
    SetSelection("webMenu", record_.WebMenu());
    SetChecked("admin", Checked("webLogin") && record_.Admin());
    ShowSmppOptions();
    if (!openedName_.empty())
        SetChecked("priority", config::IsYes(ReadUserKey(section_, "Priority")));
    Focus("name");
}

void UserEditor::ShowLogins() {
    SetChecked("webLogin", !record_.WebLoginDisabled());
    SetChecked("smppLogin", record_.SmppLogin());
    SetChecked("smtpLogin", record_.SmtpLogin());
    SetChecked("accept", record_.AcceptReceived());
    Enable("webMenu", Checked("webLogin"));
    Enable("admin", Checked("webLogin"));
    if (Checked("smppLogin") || Checked("accept")) {
        const std::string routes = ReadUserKey(kRoutingSection, openedName_, kRoutingSize + 1);
        if (!routes.empty() && !openedName_.empty()) {
            SetChecked("accept", true);
            SetText("routing", routes);
        }
    }
    const std::string speed = record_.ReceiveSpeedLimit();
    if (record_.SmppLogin() && StartsWithDigit(speed)) {
        SetText("speedText", speed);
        SetChecked("speed", true);
    }
    FollowSmpp();
    FollowAccept();
}

void UserEditor::FollowSmpp() {
    const bool smpp = Checked("smppLogin");
    Enable("speed", smpp);
    Enable("speedText", smpp && Checked("speed"));
    for (const char* id : {"useTlv", "useDataSm", "async", "charset"}) Enable(id, smpp);
}

void UserEditor::FollowAccept() { Enable("routing", Checked("accept")); }

void UserEditor::ShowLimits() {
    const std::string dayDefault = config::ReadZellaKey("DefaultMsgLimitPerDay");
    const std::string monthDefault = config::ReadZellaKey("DefaultMsgLimitPerMonth");
    const std::int32_t day = record_.DailyLimit(), month = record_.MonthlyLimit();
    SetChecked("defaultLimits", day == 0 || month == 0);
    // Individual limits only make sense against gateway-wide defaults.
    const bool noDefaults = dayDefault.empty() || monthDefault.empty();
    if (noDefaults) SetChecked("defaultLimits", true);
    Enable("defaultLimits", !noDefaults);
    SetText("dayLimit", day != 0 ? std::to_string(static_cast<std::uint32_t>(day)) : dayDefault);
    SetText("monthLimit", month != 0 ? std::to_string(static_cast<std::uint32_t>(month)) : monthDefault);
    Enable("dayLimit", !Checked("defaultLimits"));
    Enable("monthLimit", !Checked("defaultLimits"));
}

void UserEditor::ShowCredit() {
    const bool has = !openedName_.empty() && config::HasCreditFile(openedName_);
    // The service holds the credit file while it debits: reading it may wait.
    if (has) {
        const std::int64_t balance =
            ui::RunLong<std::int64_t>(GetHost(), "Reading the credit balance...", [&](ui::Host&) {
                return config::DebitCredit(openedName_, nullptr, 0, true);
            });
        SetText("balance", config::FormatCredit(balance) + " credits");
    }
    SetChecked("credit", has);
    Enable("balance", has);
    Enable("creditsToAdd", has);
}

void UserEditor::ShowSmppOptions() {
    auto option = [&](const char* key) {
        std::string v = ReadUserKey(section_, key);
        return v.empty() ? ReadUserKey(kGatewaySmppSection, key) : v;
    };
    SetChecked("useTlv", config::IsYes(option("UseTLV")));
    SetChecked("useDataSm", config::IsYes(option("UseDataSM")));
    SetChecked("async", AsyncWindowOn(ReadUserKey(kAsyncWindowSection, openedName_),
                                      config::ReadZellaKey("SMPPServerAsyncWindowSize")));
    std::string charset = ReadUserKey(section_, "SMSCCharset");
    std::string asDefault = ReadUserKey(section_, "SMSCCharsetDefault");
    if (charset.empty()) {
        charset = ReadUserKey(kGatewaySmppSection, "SMSCCharset");
        asDefault = ReadUserKey(kGatewaySmppSection, "SMSCCharsetDefault");
    }
    SetItems("charset", kCharsets);
    SetSelection("charset", CharsetChoice(charset, asDefault));
}

void UserEditor::OnCommand(const std::string& id, ui::Event event) {
    if (event == ui::Event::Changed) {
        for (const TextLimit& limit : kLimits) {
            const std::string text = Text(id);
            if (id == limit.id && text.size() > limit.max) SetText(id, CutUtf8(text, limit.max));
        }
        return;
    }
    if (event != ui::Event::Clicked) return;
    if (id == "webLogin") {
        Enable("webMenu", Checked("webLogin"));
        Enable("admin", Checked("webLogin"));
    } else if (id == "smppLogin" || id == "accept" || id == "speed") {
        FollowSmpp();
        FollowAccept();
    } else if (id == "defaultLimits") {
        Enable("dayLimit", !Checked("defaultLimits"));
        Enable("monthLimit", !Checked("defaultLimits"));
    } else if (id == "credit") {
        Enable("balance", Checked("credit"));
        Enable("creditsToAdd", Checked("credit"));
    }
}

void UserEditor::OnOk() {
    const std::string name = CutUtf8(Text("name"), kUserNameMax);
    if (!Validate(name)) return;
    const std::string account = openedName_.empty() ? name : openedName_;
    StoreCredit(account);
    acctdb::UserRecord out = record_;
    FillRecord(out);
    StoreKeys(name);
    record_ = out;
    End(1);
}

bool UserEditor::Validate(const std::string& name) {
    if (name.empty()) {
        ui::Error(GetHost(), "Field is required!");
        Focus("name");
        return false;
    }
    acctdb::UserRecord found;
    if (!EqualsNoCase(name, openedName_) && acctdb::SMSFindUserRecord(handle_, name, &found)) {
        ui::Error(GetHost(), "User " + name + " is already defined.");
        Focus("name");
        return false;
    }
    return true;
}

void UserEditor::StoreCredit(const std::string& account) {
    if (!Checked("credit")) {
        config::DeleteCreditFile(account);
        return;
    }
    const std::int64_t amount = config::ParseCredit(Text("creditsToAdd"));
    ui::RunLong(GetHost(), "Storing the credits...", [&](ui::Host&) {
        config::CreateCreditFile(account);
        if (amount != 0) config::DebitCredit(account, nullptr, -amount, false);
    });
}

void UserEditor::FillRecord(acctdb::UserRecord& out) const {
    out.SetUserName(CutUtf8(Text("name"), kUserNameMax));
    out.SetPassword(CutUtf8(Text("password"), kPasswordMax));
    out.SetFullName(CutUtf8(Text("fullName"), kFullNameMax));
    out.SetWebLoginDisabled(!Checked("webLogin"));
    out.SetSmppLogin(Checked("smppLogin"));
    out.SetSmtpLogin(Checked("smtpLogin"));
    const bool defaults = Checked("defaultLimits");
    out.SetDailyLimit(defaults ? 0 : ReadNumber(Text("dayLimit")));
    out.SetMonthlyLimit(defaults ? 0 : ReadNumber(Text("monthLimit")));
    out.SetAllowedIps(CutUtf8(Text("allowedIps"), kAllowedIpsMax));
    out.SetForcedSender(CutUtf8(Text("forcedSender"), kForcedSenderMax));
    out.SetWebMenu(Selection("webMenu"));
    out.SetAdmin(Checked("webLogin") && Checked("admin"));
    std::string speed;
    if (Checked("smppLogin") && Checked("speed")) speed = CutUtf8(Text("speedText"), kSpeedLimitMax);
    out.SetReceiveSpeedLimit(StartsWithDigit(speed) ? speed : "");
    out.SetAcceptReceived(Checked("accept"));
}

void UserEditor::StoreKeys(const std::string& name) {
    WriteUserKey(kRoutingSection, name, Checked("accept") ? CutUtf8(Text("routing"), kRoutingSize) : "");
    const std::string section = ClientSection(name);
    WriteUserKey(section, "UseTLV",
                 ThreeStateValue(Checked("useTlv"), ReadUserKey(kGatewaySmppSection, "UseTLV")));
    WriteUserKey(section, "UseDataSM",
                 ThreeStateValue(Checked("useDataSm"), ReadUserKey(kGatewaySmppSection, "UseDataSM")));
    const AsyncWindowWrite window =
        AsyncWindowValue(Checked("async"), config::ReadZellaKey("SMPPServerAsyncWindowSize"),
                         ReadUserKey(kAsyncWindowSection, name));
    if (window.write) WriteUserKey(kAsyncWindowSection, name, window.value);
    const CharsetWrite charset =
        CharsetValues(Selection("charset"), ReadUserKey(kGatewaySmppSection, "SMSCCharset"),
                      ReadUserKey(kGatewaySmppSection, "SMSCCharsetDefault"));
    WriteUserKey(section, "SMSCCharset", charset.charset);
    WriteUserKey(section, "SMSCCharsetDefault", charset.charsetDefault);
    WriteUserKey(section, "Priority", Checked("priority") ? "Yes" : "");
}

}  // namespace

int EditUser(ui::Host& host, acctdb::UserRecord& record, acctdb::UserHandle handle) {
    UserEditor editor(record, handle);
    return host.RunModal(editor) == 1 ? 1 : 0;
}

}  // namespace accounts
