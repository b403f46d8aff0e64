#include "smsc/smpp_advanced_dialog.h"

#include <cctype>
#include <cstdlib>

#include "config/config_store.h"
#include "platform/text.h"
#include "smsc/connection_edit.h"
#include "ui/access_keys.h"

namespace smsc {

namespace {

using platform::EqualsNoCase;

constexpr const char* kEmsDefault = "WEMT";
constexpr const char* kKeepAliveDefault = "58";
constexpr const char* kWindowDefault = "5";

struct CheckKey {
    const char* id;
    const char* key;
};
// Boxes stored as "Yes" or empty.
constexpr CheckKey kYesBoxes[] = {{"wdp", "WDPAdaptation"},
                                  {"gsmPack", "GSMPack"},
                                  {"useTlv", "UseTLV"},
                                  {"useDataSm", "UseDataSM"},
                                  {"transceiver", "ReceiveSingleConnection"}};
// Text fields stored as typed.
constexpr CheckKey kTonNpi[] = {{"sourceTon", "SourceTON"}, {"sourceNpi", "SourceNPI"},
                                {"destTon", "DestTON"},     {"destNpi", "DestNPI"},
                                {"bindTon", "BindTON"},     {"bindNpi", "BindNPI"}};

// The leading number after blanks; false when the first non-blank is not a digit (an
// empty field counts as "1").
bool SessionCount(const std::string& text, unsigned long& value) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i == text.size()) {
        value = 1;
        return true;
    }
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    value = std::strtoul(text.c_str() + i, nullptr, 10);
    if (value > 1000000) value = 1000000;  // far beyond any SMSC's session limit
    return true;
}

bool NonZeroNumber(const std::string& text) {
    return !text.empty() && std::isdigit(static_cast<unsigned char>(text[0])) &&
           std::strtoul(text.c_str(), nullptr, 10) != 0;
}

class SmppAdvanced : public ui::Dialog {
public:
    explicit SmppAdvanced(const std::string& pending)
        : ui::Dialog(SmppAdvancedTemplate()), values_(pending) {}

    void OnInit() override {
        for (const CheckKey& box : kYesBoxes)
            SetChecked(box.id, config::IsYes(values_.Value(box.key)));
        const std::string ems = values_.Value("EMSServiceType");
        SetChecked("ems", !ems.empty());
        SetText("serviceType", ems.empty() ? kEmsDefault : ems);
        SetChecked("longPack", !config::IsYes(values_.Value("LongSMSAlt")));
        SetChecked("reroute", !values_.Value("ReRouteReceived").empty());
        for (const CheckKey& field : kTonNpi) SetText(field.id, values_.Value(field.key));
        std::vector<std::string> charsets;
        for (const SmscCharsetEntry& e : SmscCharsets()) charsets.push_back(e.label);
        SetItems("charset", std::move(charsets));
        SetSelection("charset", CharsetIndex());
        const std::string keepAlive = values_.Value("KeepAlive");
        SetText("keepAlive", keepAlive.empty() ? kKeepAliveDefault : keepAlive);
        for (const char* key : {"TransmitterCount", "ReceiverCount"}) {
            const std::string count = values_.Value(key);
            SetText(key == std::string("TransmitterCount") ? "transmitters" : "receivers",
                    count.empty() ? "1" : count);
        }
        const std::string window = values_.Value("WindowSize");
        SetChecked("async", NonZeroNumber(window));
        SetText("windowSize", window);
        UpdateEms();
        UpdateTransceiver();
        UpdateWindow();
    }

    void OnCommand(const std::string& id, ui::Event event) override {
        if (event != ui::Event::Clicked) return;
        if (id == "ems") {
            UpdateEms();
        } else if (id == "transceiver") {
            UpdateTransceiver();
        } else if (id == "async") {
            if (Checked("async") && !NonZeroNumber(Text("windowSize")))
                SetText("windowSize", kWindowDefault);
            UpdateWindow();
        }
    }

    void OnOk() override {
        unsigned long transmitters = 0, receivers = 0;
        if (!SessionCount(Text("transmitters"), transmitters))
            return Refuse("# Sessions must be numeric", "transmitters");
        SetText("transmitters", std::to_string(transmitters));
        if (Checked("transceiver")) SetText("receivers", "1");
        if (!SessionCount(Text("receivers"), receivers))
            return Refuse("# Sessions must be numeric", "receivers");
        SetText("receivers", std::to_string(receivers));
        if (transmitters == 0 && receivers == 0)
            return Refuse("# Sessions cannot be zero", "transmitters");
        result = BuildRecord(transmitters, receivers);
        End(ui::kOk);
    }

    std::string result;

private:
    int CharsetIndex() const {
        const std::string charset = values_.Value("SMSCCharset");
        const bool asDefault = config::IsYes(values_.Value("SMSCCharsetDefault"));
        const auto& all = SmscCharsets();
        for (std::size_t i = 1; i < all.size(); ++i) {
            if (!EqualsNoCase(charset, all[i].charset)) continue;
            if (EqualsNoCase(charset, "iso-8859-1") && asDefault != (*all[i].isDefault != 0))
                continue;
            return static_cast<int>(i);
        }
        return 0;
    }

    std::string BuildRecord(unsigned long transmitters, unsigned long receivers) const {
        RecordBuilder record(values_, values_.Name());
        auto yes = [&](const char* id) { return Checked(id) ? "Yes" : ""; };
        record.Put("WDPAdaptation", yes("wdp"));
        record.Put("UseTLV", yes("useTlv"));
        record.Put("UseDataSM", yes("useDataSm"));
        const std::string reroute = values_.Value("ReRouteReceived");
        record.Put("ReRouteReceived",
                   Checked("reroute") ? (reroute.empty() ? "Yes" : reroute) : std::string());
        record.Put("EMSServiceType", Checked("ems") ? Text("serviceType") : std::string());
        record.Put("ReceiveSingleConnection", yes("transceiver"));
        record.Put("GSMPack", yes("gsmPack"));
        record.Put("LongSMSAlt", Checked("longPack") ? "No" : "Yes");
        for (const CheckKey& field : kTonNpi) record.Put(field.key, Text(field.id));
        // An absent interval is the default one, so showing it is no change.
        const std::string keepAlive = Text("keepAlive");
        const bool isDefault = keepAlive == kKeepAliveDefault && values_.Stored("KeepAlive").empty();
        record.Put("KeepAlive", isDefault ? std::string() : keepAlive);
        record.Put("TransmitterCount", transmitters == 1 ? "" : std::to_string(transmitters));
        record.Put("ReceiverCount", receivers == 1 ? "" : std::to_string(receivers));
        const int index = std::max(0, Selection("charset"));
        const SmscCharsetEntry& charset = SmscCharsets()[static_cast<std::size_t>(index)];
        record.Put("SMSCCharset", charset.charset);
        record.Put("SMSCCharsetDefault", charset.isDefault);
        record.Put("WindowSize", Checked("async") ? Text("windowSize") : std::string());
        return record.Text();
    }

    void Refuse(const char* text, const char* focus) {
        ui::Error(GetHost(), text);
        Focus(focus);
    }

    void UpdateEms() { Enable("serviceType", Checked("ems")); }

    void UpdateTransceiver() {
        const bool single = Checked("transceiver");
        SetText("transmittersLabel", single ? "# Transceiver Sessions:" : "# Transmitter Sessions");
        Enable("receiversLabel", !single);
        Enable("receivers", !single);
    }

    void UpdateWindow() {
        const bool async = Checked("async");
        Enable("windowLabel", async);
        Enable("windowSize", async);
    }

    const ConnectionValues values_;
};

}  // namespace

const std::vector<std::string>& SmppAdvancedKeys() {
    static const std::vector<std::string> keys{
        "WDPAdaptation", "UseTLV",       "UseDataSM",    "ReRouteReceived",
        "EMSServiceType", "ReceiveSingleConnection", "GSMPack", "LongSMSAlt",
        "SourceTON",     "SourceNPI",    "DestTON",      "DestNPI",
        "BindTON",       "BindNPI",      "KeepAlive",    "SenderPort",
        "ReceiverPort",  "SMSCCharset",  "SMSCCharsetDefault", "WindowSize",
        "TransmitterCount", "ReceiverCount"};
    return keys;
}

const std::vector<SmscCharsetEntry>& SmscCharsets() {
    static const std::vector<SmscCharsetEntry> entries{
        {"Default", "", ""},
        {"IA5 (GSM)", "IA5", ""},
        {"iso-8859-1 (Latin)", "iso-8859-1", ""},
        {"iso-8859-1 as Default", "iso-8859-1", "Yes"},
        {"iso-8859-15 (Latin-9)", "iso-8859-15", ""},
        {"Roman8", "Roman8", ""},
        {"Telstra ASCII 437", "Telstra", ""}};
    return entries;
}

ui::Template SmppAdvancedTemplate() {
    using namespace ui;
    auto field = [](const char* id, const char* label) {
        Control c = Edit(id, label);
        c.width = 6;
        return c;
    };
    // Long check boxes get a row of their own so they start at the left margin.
    auto wide = [](const char* id, const char* label) {
        return Row(std::string(id) + "Row", {Check(id, label)});
    };
    return ui::WithAccessKeys(ui::Template{
        "DIALOG_SMPPADV",
        "SMPP Advanced Configuration Options",
        {wide("wdp", "Use WDP Adaptation for WAP Push and MMS Notifications (required for CDMA)"),
         Row("emsRow", {Check("ems", "Use WEMT teleservice (CDMA) for EMS Messages"),
                        field("serviceType", "Service Type:")}),
         wide("gsmPack", "Encode text messages with 7-bit packed encoding"),
         wide("longPack", "Encode long text messages with 7-bit packed encoding"),
         wide("useTlv", "Use TLV parameters for port numbers and segmentation"),
         wide("useDataSm", "Use Data_SM PDU (SMS hubbing)"),
         wide("reroute", "Re-Route Received Messages for Outbound Delivery"),
         Group("tonNpi", "Custom TON + NPI Settings (leave blank for defaults)",
               {Row("sourceRow", {field("sourceTon", "Source TON:"),
                                  field("sourceNpi", "Source NPI:")}),
                Row("destRow", {field("destTon", "Dest TON:"), field("destNpi", "Dest NPI:")}),
                Row("bindRow", {field("bindTon", "Bind TON:"), field("bindNpi", "Bind NPI:")})}),
         Combo("charset", "SMSC Character Set:"),
         Row("keepAliveRow", {field("keepAlive", "Keep-alive interval:"),
                              Static("keepAliveUnit", "seconds")}),
         wide("transceiver",
               "Send and Receive Messages over the same connection (SMPP Transceiver)"),
         Row("sessionsRow", {Static("transmittersLabel", "# Transmitter Sessions"),
                             field("transmitters", ""),
                             Static("receiversLabel", "# Receiver Sessions:"),
                             field("receivers", "")}),
         Row("asyncRow", {Check("async", "Enable SMPP Async Mode (windowing)"),
                          Static("windowLabel", "Window Size (packets):"),
                          field("windowSize", "")}),
         OkCancelRow()}});
}

bool EditSmppAdvanced(ui::Host& host, std::string& pending) {
    SmppAdvanced dialog(pending);
    if (host.RunModal(dialog) != ui::kOk) return false;
    pending = dialog.result;
    return true;
}

}  // namespace smsc
