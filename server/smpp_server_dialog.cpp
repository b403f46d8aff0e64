#include "server/smpp_server_dialog.h"

#include <cstdlib>

#include "config/config_store.h"
#include "platform/ini.h"
#include "platform/text.h"
#include "ui/access_keys.h"

namespace server {
namespace {

constexpr const char* kCharsets[] = {"Default", "IA5 (GSM)", "iso-8859-1 (Latin)",
                                     "iso-8859-1 as Default", "iso-8859-15 (Latin-9)"};

std::string ReadSmpp(std::string_view key) {
    return platform::GetPrivateProfileString(config::ConfigurationPath(), "SMPP", key, "");
}

// Character set names are case-blind wherever the gateway reads them, and an operator
// editing the file by hand may well write "ISO-8859-1" or "ia5".
int CharsetIndex(const std::string& charset, bool asDefault) {
    if (platform::EqualsNoCase(charset, "IA5")) return 1;
    if (platform::EqualsNoCase(charset, "iso-8859-1")) return asDefault ? 3 : 2;
    if (platform::EqualsNoCase(charset, "iso-8859-15")) return 4;
    return 0;
}

}  // namespace

ui::Template SmppServerTemplate() {
    using namespace ui;
    return ui::WithAccessKeys(ui::Template{"DIALOG_SMPPSERVER", "SMPP Server Configuration Options",
                    {Check("useTlv", "Use TLV parameters for port numbers and segmentation"),
                     Edit("enquireLink", "Enquire Link Timeout:", Flag::Number),
                     Combo("charset", "Default Character Set:"),
                     Edit("maxConnections", "Max Connections Per Client:", Flag::Number),
                     OkCancelRow()}});
}

SmppServerDialog::SmppServerDialog() : ui::Dialog(SmppServerTemplate()) {}

void SmppServerDialog::OnInit() {
    SetItems("charset", {std::begin(kCharsets), std::end(kCharsets)});
    SetSelection("charset", 0);
    SetChecked("useTlv", config::IsYes(ReadSmpp("UseTLV")));
    const std::string enquire = config::ReadZellaKey("SMPPServerEnquireLink");
    SetText("enquireLink", enquire.empty() ? "120" : enquire);
    SetSelection("charset", CharsetIndex(ReadSmpp("SMSCCharset"),
                                         config::IsYes(ReadSmpp("SMSCCharsetDefault"))));
    unsigned max = static_cast<unsigned>(
        std::strtoul(config::ReadZellaKey("SMPPServerMaxConnectionsPerUser").c_str(), nullptr, 10));
    SetText("maxConnections", std::to_string(max == 0 ? 4 : max));
}

void SmppServerDialog::OnOk() {
    static const char* const kStored[] = {nullptr, "IA5", "iso-8859-1", "iso-8859-1",
                                          "iso-8859-15"};
    const int index = Selection("charset");
    const char* charset = index >= 0 && index < 5 ? kStored[index] : nullptr;
    const auto orDelete = [](const std::string& text) {
        return text.empty() ? std::nullopt : std::optional<std::string_view>(text);
    };
    const std::string enquire = Text("enquireLink");
    const std::string max = Text("maxConnections");
    platform::IniBatch batch(config::ConfigurationPath());
    auto put = [&](const char* section, const char* key, std::optional<std::string_view> value) {
        if (value) batch.Write(section, key, *value);
        else batch.DeleteKey(section, key);
    };
    put("SMPP", "UseTLV", Checked("useTlv") ? std::optional<std::string_view>("Yes") : std::nullopt);
    put("ZELLA", "SMPPServerEnquireLink", orDelete(enquire));
    put("SMPP", "SMSCCharset", charset ? std::optional<std::string_view>(charset) : std::nullopt);
    put("SMPP", "SMSCCharsetDefault",
        index == 3 ? std::optional<std::string_view>("Yes") : std::nullopt);
    put("ZELLA", "SMPPServerMaxConnectionsPerUser", orDelete(max));
    // A setting that was not stored must not look saved.
    if (!batch.Commit()) {
        ui::Error(GetHost(), "Unable to save the SMPP server options to " + config::ConfigurationPath());
        return;
    }
    End(ui::kOk);
}

void EditSmppServerOptions(ui::Host& host) {
    SmppServerDialog dialog;
    host.RunModal(dialog);
}

}  // namespace server
