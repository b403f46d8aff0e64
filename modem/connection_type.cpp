#include "modem/connection_type.h"
#include "ui/access_keys.h"

#include <array>

namespace modem {

namespace {

struct Choice {
    const char* id;
    const char* label;
    int result;
};

constexpr std::array<Choice, 6> kChoices{{
    {"gsm", "GSM Modem (USB or COM Port)", kGsmModem},
    {"smpp", "SMPP over TCP/IP", kSmpp},
    {"http", "HTTP over TCP/IP", kHttp},
    {"ucp", "UCP/EMI over TCP/IP", kUcp},
    {"cimd", "CIMD2 over TCP/IP", kCimd},
    {"android", "Android Phone", kAndroidPhone},
}};

class ConnectionTypeDialog : public ui::Dialog {
public:
    explicit ConnectionTypeDialog(const ConnectionTypeChoices& choices)
        : ui::Dialog(ConnectionTypeTemplate()), choices_(choices) {}

    void OnInit() override {
        Show("ucp", choices_.ucp);
        Show("cimd", choices_.cimd);
        SetChecked("android", true);
    }

    void OnOk() override {
        for (const Choice& c : kChoices) {
            if (Visible(c.id) && Checked(c.id)) {
                chosen = c.result;
                break;
            }
        }
        End(ui::kOk);
    }

    int chosen = kCancelled;

private:
    ConnectionTypeChoices choices_;
};

}  // namespace

ui::Template ConnectionTypeTemplate() {
    std::vector<ui::Control> radios;
    for (const Choice& c : kChoices) {
        radios.push_back(ui::Radio(c.id, c.label,
                                   c.result == kGsmModem ? ui::Flag::GroupStart : ui::Flag::None));
    }
    return ui::WithAccessKeys(ui::Template{"DIALOG_SMSCTYPE",
                        "SMSC Connection Type",
                        {ui::Group("type", "", std::move(radios)), ui::OkCancelRow()}});
}

int ChooseConnectionType(ui::Host& host, const ConnectionTypeChoices& choices) {
    ConnectionTypeDialog dialog(choices);
    if (host.RunModal(dialog) != ui::kOk) return kCancelled;
    return dialog.chosen;
}

}  // namespace modem
