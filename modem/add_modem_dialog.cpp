#include "modem/add_modem_dialog.h"

#include <algorithm>
#include <cctype>

#include "modem/comm_ports.h"
#include "modem/modem_registry.h"
#include "modem/modem_test.h"
#include "platform/text.h"
#include "ui/access_keys.h"

namespace modem {

namespace {

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
    return platform::EqualsNoCase(a, b);
}

class AddModem : public ui::Dialog {
public:
    explicit AddModem(const std::vector<std::string>& configured)
        : ui::Dialog(AddModemTemplate()), configured_(configured) {}

    void OnInit() override {
        SetItems("modem", AvailableModems(configured_));
        if (!Items("modem").empty()) SetSelection("modem", 0);
        Focus("modem");
    }

    void OnCommand(const std::string& id, ui::Event event) override {
        if (id == "test" && event == ui::Event::Clicked) TestAndAdd();
    }

    // Enter on the default button arrives as OK.
    void OnOk() override { TestAndAdd(); }

    std::string entry;

private:
    void TestAndAdd() {
        const int selected = Selection("modem");
        if (selected < 0) return;
        const std::string item = Items("modem")[selected];
        if (item.empty()) return;
        const std::string pin = Text("pin").substr(0, kMaxPinLength);
        if (!TestModem(GetHost(), item, pin)) return;
        entry = item;
        if (!pin.empty()) entry += "\tPIN=" + pin;
        End(ui::kOk);
    }

    std::vector<std::string> configured_;
};

}  // namespace

ui::Template AddModemTemplate() {
    return ui::WithAccessKeys(ui::Template{
        "DIALOG_ADDMODEM",
        "Add Modem",
        {ui::Combo("modem", "Select Available Modem:", ui::Flag::None),
         ui::Edit("pin", "Modem PIN:", ui::Flag::None),
         ui::Row("buttons", {ui::Button("test", "Test and Add Modem", ui::Flag::Default),
                             ui::Button(ui::IDCANCEL, "Cancel")})}});
}

std::vector<std::string> AvailableModems(const std::vector<std::string>& configured) {
    std::vector<std::string> items = ListTapiModems();
    for (const std::string& port : ListCommPorts()) items.push_back(port);
    std::erase_if(items, [&](const std::string& item) {
        return std::any_of(configured.begin(), configured.end(),
                           [&](const std::string& name) { return EqualsIgnoreCase(item, name); });
    });
    return items;
}

bool AddModemDialog(ui::Host& host, const std::vector<std::string>& configured,
                    std::string& entry) {
    AddModem dialog(configured);
    if (host.RunModal(dialog) != ui::kOk || dialog.entry.empty()) return false;
    entry = dialog.entry;
    return true;
}

}  // namespace modem
