#include "smsc/test_message.h"

#include <cstdio>

#include "accounts/user_editor.h"
#include "config/config_store.h"
#include "config/sms_request.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"
#include "shell/core/service_control.h"
#include "smsc/connection_status.h"
#include "smsc/test_message_log.h"
#include "viewers/request_detail.h"
#include "ui/access_keys.h"

namespace smsc {

namespace {

constexpr int kTimer = 1;
constexpr std::size_t kRouteSize = 250;

std::string VaspIniPath(const std::string& account) {
    return config::VaspConfigDirectory() + "VASPOUT/" + acctdb::SafeUserDirectoryName(account) +
           "/VASP.INI";
}

std::string VaspValue(const std::string& account, const char* key) {
    return platform::GetPrivateProfileString(VaspIniPath(account), "VASP", key, "");
}

std::string TestId(unsigned id) {
    char text[16];
    std::snprintf(text, sizeof text, "TEST%04X", id & 0xFFFFu);
    return text;
}

std::string TodaysLog(const char* prefix) {
    const platform::SystemTime t = acctdb::TZGetLocalTime();
    char name[64];
    std::snprintf(name, sizeof name, "%s-%04u%02u%02u.LOG", prefix, static_cast<unsigned>(t.year),
                  static_cast<unsigned>(t.month), static_cast<unsigned>(t.day));
    return acctdb::GetLogDirectory() + name;
}

class TestMessageDialog : public ui::Dialog {
public:
    TestMessageDialog(std::string name, const TestMessageServices& services)
        : ui::Dialog(TestMessageTemplate()), name_(std::move(name)), services_(services) {}

    void OnInit() override {
        if (!name_.empty()) SetTitle(Title() + ": " + name_);
        ChooseRoutes();
        Show("sendSms", !smsRoute_.empty());
        Show("sendMms", !vaspAccount_.empty());
        Show("cancelTest", false);
        if (!services_.gatewayActive() || !services_.mmscInstalled()) {
            const int answer = ui::Ask(GetHost(),
                                       "QuvSMS Services are not active.\r\n\r\n"
                                       "Do you wish to enable QuvSMS Services?",
                                       ui::Buttons::YesNoCancel);
            if (answer == ui::kYes) services_.installAllServices(GetHost());
            if (!services_.gatewayActive()) {
                End(ui::kCancel);
                return;
            }
        }
        SetTimer(kTimer, 1000);
        OnTimer(kTimer);
    }

    void OnCommand(const std::string& id, ui::Event event) override {
        if (id == "phone" && event == ui::Event::Changed) {
            const bool valid = IsValidTestNumber(Text("phone"));
            Enable("sendSms", valid);
            Enable("sendMms", valid);
            return;
        }
        if (event != ui::Event::Clicked) return;
        if (id == "sendSms") SendSms();
        else if (id == "sendMms") SendMms();
        else if (id == "cancelTest") CancelTests();
        else if (id == "web") OpenWebInterface();
    }

    void OnTimer(int timerId) override {
        if (timerId != kTimer) return;
        const bool running = services_.gatewayInstalled() && services_.gatewayActive();
        Enable("web", running);
        Enable("phone", running && !smsPending_);
        const bool valid = running && IsValidTestNumber(Text("phone"));
        Enable("sendSms", valid && !smsPending_);
        Enable("sendMms", valid && services_.mmscInstalled() && services_.mmscReady() && !mmsPending_);
        Show("cancelTest", smsPending_ || mmsPending_);
        if (smsPending_) FollowSms();
        if (mmsPending_) FollowMms();
    }

private:
    void ChooseRoutes();
    void SendSms();
    void SendMms();
    void CancelTests();
    void OpenWebInterface();
    void FollowSms();
    void FollowMms();

    std::string SmsRequestPath() const { return config::QueueDirectory() + TestId(smsId_) + ".REQ"; }
    std::string MmsPath(const char* ext) const { return config::VaspQueueDirectory() + TestId(mmsId_) + ext; }

    std::string name_;
    const TestMessageServices& services_;
    std::string smsRoute_, vaspAccount_;
    unsigned smsId_ = 0, mmsId_ = 0;
    bool smsPending_ = false, mmsPending_ = false;
};

void TestMessageDialog::ChooseRoutes() {
    const std::string modemPrefix = "QuvSMSModem - ", routePrefix = "MMSCROUTE - ";
    if (platform::StartsWithNoCase(name_, modemPrefix)) {
        smsRoute_ = name_.substr(0, kRouteSize);
        const std::string rest = name_.substr(modemPrefix.size());
        const std::string account = rest.substr(0, rest.find(':')).substr(0, kRouteSize);
        if (platform::EqualsNoCase(VaspValue(account, "Protocol"), "MM1") &&
            platform::StartsWithNoCase(VaspValue(account, "Server"), "quvsmsmodem_"))
            vaspAccount_ = account;
    } else if (name_.rfind(routePrefix, 0) == 0) {
        vaspAccount_ = name_.substr(routePrefix.size()).substr(0, kRouteSize);
        const std::string protocol = VaspValue(vaspAccount_, "Protocol");
        const std::string server = VaspValue(vaspAccount_, "Server");
        if (platform::EqualsNoCase(protocol, "MM1") && platform::StartsWithNoCase(server, "quvsmsmodem_")) {
            const std::string route = modemPrefix + server.substr(12);
            if (config::IsKnownRoute(route)) smsRoute_ = route.substr(0, kRouteSize);
        }
        const bool known = platform::EqualsNoCase(protocol, "MM1") || platform::EqualsNoCase(protocol, "MM4") ||
                           platform::EqualsNoCase(protocol, "MM7") || platform::EqualsNoCase(protocol, "EAIF");
        if (!known) vaspAccount_.clear();
    } else {
        smsRoute_ = name_.substr(0, kRouteSize);
    }
}

void TestMessageDialog::SendSms() {
    const std::string number = Text("phone");
    if (!IsValidTestNumber(number)) return;
    smsId_ = static_cast<unsigned>(platform::Clock().TickCount() & 0xFFFF);
    config::SmsRequest request;
    request.phoneNumber = number;
    request.data = "QuvSMS Test Message";
    if (!name_.empty()) request.smscRoute = smsRoute_;
    if (!config::WriteRequestFile(SmsRequestPath(), config::SmsRequestText(request))) {
        ui::MessageBox(GetHost(), "Error creating SMS request file in queue", ui::Icon::Error);
        return;
    }
    smsPending_ = true;
    Show("cancelTest", true);
    SetText("smsStatus", "Status:  Waiting");
    SetText("smsDetail", "");
    config::WakeOutboundQueue(smsRoute_);
}

void TestMessageDialog::SendMms() {
    const std::string number = Text("phone");
    if (!IsValidTestNumber(number)) return;
    const std::string templatePath = acctdb::GetRealProgramDirectory() + "MMSTEST.MMS";
    std::string message;
    if (!platform::ReadFile(templatePath, message)) {
        ui::MessageBoxSpec spec{templatePath, "Error locating MMS message template file",
                                ui::Icon::Error, ui::Buttons::Ok, 0, false};
        GetHost().MessageBox(spec);
        return;
    }
    mmsId_ = static_cast<unsigned>(platform::Clock().TickCount() & 0xFFFF);
    const std::string ini = "[Routing]\r\nMessageID=" + TestId(mmsId_) + "\r\n[Recipients]\r\nRecip1=" +
                            number + "/TYPE=VASP:" + vaspAccount_ + "\r\n";
    // The message body first: the service takes the request when its .INI appears.
    if (!platform::WriteFileAtomic(MmsPath(".MMS"), message, 0660) ||
        !platform::WriteFileAtomic(MmsPath(".INI"), ini, 0660)) {
        ui::MessageBox(GetHost(), "Error creating MMS request file in queue", ui::Icon::Error);
        return;
    }
    mmsPending_ = true;
    Show("cancelTest", true);
    SetText("mmsStatus", "Status:  Waiting");
    SetText("mmsDetail", "");
    acctdb::SetEventForInterface("VASPOut", vaspAccount_);
}

void TestMessageDialog::CancelTests() {
    auto busy = GetHost().BusyCursor();
    if (smsPending_) {
        const std::string path = SmsRequestPath();
        platform::DeleteFileChecked(path);
        if (platform::FileExists(path)) {
            platform::DeleteFileChecked(path);
            platform::Clock().Sleep(1000);
        }
    }
    if (mmsPending_) {
        const std::string mms = MmsPath(".MMS"), ini = MmsPath(".INI");
        platform::DeleteFileChecked(mms);
        platform::DeleteFileChecked(ini);
        if (platform::FileExists(mms) || platform::FileExists(ini)) {
            platform::DeleteFileChecked(mms);
            platform::DeleteFileChecked(ini);
            platform::Clock().Sleep(1000);
        }
    }
}

void TestMessageDialog::OpenWebInterface() {
    if (config::IsYes(config::ReadZellaKey("WebAuth", "Yes"))) {
        acctdb::UserHandle store = 0;
        if (acctdb::SMSOpenUserFile(&store, acctdb::GENERIC_READ | acctdb::GENERIC_WRITE) == 0) return;
        acctdb::UserRecord first;
        bool have = acctdb::SMSGetUserRecord(store, 0, &first) != 0;
        if (!have && ui::MessageBox(GetHost(),
                                    "No user accounts are defined.\r\n"
                                    "Create a user account to access the web interface?",
                                    ui::Icon::Question, ui::Buttons::YesNo) == ui::kYes) {
            acctdb::UserRecord record;
            if (services_.editUser && services_.editUser(GetHost(), record, store))
                acctdb::SMSAddUser(store, record);
            have = acctdb::SMSGetUserRecord(store, 0, &first) != 0;
        }
        acctdb::SMSCloseUserFile(store);
        if (!have) return;
    }
    const std::string portText = config::ReadZellaKey("WebPort", "8800");
    unsigned long port = std::strtoul(portText.c_str(), nullptr, 10);
    if (port == 0 || port > 65535) port = 8800;
    std::string address = config::ReadZellaKey("IPAddress", "");
    if (address.empty()) address = "127.0.0.1";
    GetHost().ShellOpen("http://" + address + ":" + std::to_string(port) + "/", "./");
}

void TestMessageDialog::FollowSms() {
    const std::string path = SmsRequestPath();
    if (platform::FileExists(path)) {
        const std::string error = ConnectionErrorText(smsRoute_);
        if (!error.empty()) {
            SetText("smsStatus", "Status:  Modem Off-Line");
            SetText("smsDetail", error);
            return;
        }
        const viewers::RequestDetail detail = viewers::ReadRequestDetail(path);
        if (!detail.retryCountText.empty()) {
            SetText("smsStatus", "Status:  Retry pending, " + detail.retryCountText + " attempts");
            SetText("smsDetail", "Last Error Info:  " + detail.lastErrorInfo);
        } else {
            SetText("smsDetail", "");
        }
        return;
    }
    SetText("smsStatus", "");
    SetText("smsDetail", "");
    smsPending_ = false;
    const LogOutcome outcome = FindSmsOutcome(TodaysLog("SMSOUT"), TestId(smsId_));
    if (!outcome.found) return;
    SetText("smsStatus", outcome.sent ? "Status:  OK -- Message Sent" : "Status:  ERROR");
    SetText("smsDetail", outcome.errorDetail);
}

void TestMessageDialog::FollowMms() {
    const std::string ini = MmsPath(".INI");
    if (platform::FileExists(ini)) {
        std::string error;
        const std::string errorPath = acctdb::GetPrivateDataDirectory() + "MMSCROUTE--" +
                                      config::ConnectionFileName(vaspAccount_) + ".ERR";
        if (platform::ReadFileHead(errorPath, kErrorFileBytes, error)) error = error.substr(0, error.find('\0'));
        if (!error.empty()) {
            SetText("mmsStatus", "Status:  Connection Error");
            SetText("mmsDetail", error);
            return;
        }
        std::string text;
        platform::ReadFileHead(ini, viewers::kMaxRequestBytes, text);
        const std::string count = viewers::FindSectionValue(text, "[RetryInfo]", "RetryCount=");
        if (!count.empty()) {
            SetText("mmsStatus", "Retry pending, " + count + " attempts");
            SetText("mmsDetail", "Last Error Info:  " +
                                     viewers::FindSectionValue(text, "[RetryInfo]", "LastErrorInfo="));
        } else {
            SetText("mmsDetail", "");
        }
        return;
    }
    SetText("mmsStatus", "");
    SetText("mmsDetail", "");
    mmsPending_ = false;
    const LogOutcome outcome = FindMmsOutcome(TodaysLog("MMSC"), TestId(mmsId_));
    if (!outcome.found) return;
    SetText("mmsStatus", outcome.sent ? "Status:  OK -- Message Sent" : "Status:  ERROR");
    SetText("mmsDetail", outcome.errorDetail);
}

}  // namespace

TestMessageServices DefaultTestMessageServices() {
    TestMessageServices s;
    s.gatewayInstalled = [] { return shell::IsGatewayServiceInstalled(); };
    s.gatewayActive = [] { return shell::IsGatewayServiceActive(); };
    s.mmscInstalled = [] { return shell::IsMMSCInstalled(); };
    s.mmscReady = [] { return shell::IsMMSCReady(); };
    s.installAllServices = [](ui::Host& host) { return shell::InstallAllServices(host, false); };
    s.editUser = [](ui::Host& host, acctdb::UserRecord& record, acctdb::UserHandle store) {
        return accounts::EditUser(host, record, store) == 1;
    };
    return s;
}

ui::Template TestMessageTemplate() {
    using namespace ui;
    return ui::WithAccessKeys(ui::Template{"DIALOG_TESTMSG",
            "Send Test Message",
            {Edit("phone", "Phone Number:"),
             Row("sendRow", {Button("sendSms", "Send Test SMS", Flag::Disabled),
                             Button("sendMms", "Send Test MMS", Flag::Disabled)}),
             Group("smsGroup", "SMS", {Static("smsStatus", "", Flag::Wide), Static("smsDetail", "", Flag::Wide)}),
             Group("mmsGroup", "MMS", {Static("mmsStatus", "", Flag::Wide), Static("mmsDetail", "", Flag::Wide)}),
             Row("buttons", {Button("cancelTest", "Cancel", Flag::Hidden),
                             Button("web", "Test Using Web Interface"),
                             Button(IDOK, "OK", Flag::Default)})}});
}

bool IsValidTestNumber(const std::string& number) {
    std::size_t i = !number.empty() && number[0] == '+' ? 1 : 0;
    if (i >= number.size()) return false;
    for (; i < number.size(); ++i)
        if (number[i] < '0' || number[i] > '9') return false;
    return true;
}

void TestMessageDlgProc(ui::Host& host, const std::string& connectionName,
                        const TestMessageServices& services) {
    TestMessageDialog dialog(connectionName, services);
    host.RunModal(dialog);
}

}  // namespace smsc
