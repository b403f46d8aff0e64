// "DIALOG_MMSVIEW": the header of one received MMS message and its content parts.
#include "config/config_store.h"
#include "platform/files.h"
#include "platform/text.h"
#include "viewers/queue_viewer.h"
#include "ui/access_keys.h"

namespace viewers {

namespace {

constexpr std::size_t kHeaderBytes = 8191;

// One list entry per "X-QuvMMS-Content-Location:" line: the location's last component,
// " (type)" when the line names a content type, a tab, and the location.
std::vector<std::string> ContentEntries(const std::string& header) {
    static const std::string key = "X-QuvMMS-Content-Location:";
    std::vector<std::string> entries;
    std::size_t pos = 0;
    while (pos < header.size()) {
        while (pos < header.size() && static_cast<unsigned char>(header[pos]) <= 32) ++pos;
        std::size_t end = header.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = header.size();
        const std::string line = header.substr(pos, end - pos);
        pos = end;
        if (!platform::StartsWithNoCase(line, key)) continue;
        std::string rest = line.substr(key.size());
        rest.erase(0, rest.find_first_not_of(" \t") == std::string::npos ? rest.size()
                                                                          : rest.find_first_not_of(" \t"));
        std::string location = rest, type;
        if (const std::size_t semi = rest.find(';'); semi != std::string::npos) {
            location = rest.substr(0, semi);
            type = rest.substr(semi + 1);
            type = type.substr(0, type.find(';')).substr(0, 149);
        }
        const std::size_t slash = location.find_last_of("\\/");
        std::string entry = slash == std::string::npos ? location : location.substr(slash + 1);
        if (!type.empty()) entry += " (" + type + ")";
        entries.push_back(entry + "\t" + location);
    }
    return entries;
}

class MmsDetails : public ui::Dialog {
public:
    explicit MmsDetails(std::string path) : ui::Dialog(MmsDetailsTemplate()), path_(std::move(path)) {}

    void OnInit() override {
        std::string header;
        if (!platform::ReadFileHead(path_, kHeaderBytes, header)) return;
        header = header.substr(0, header.find('\0'));
        SetText("header", header);
        SetItems("parts", ContentEntries(header));
        if (!Items("parts").empty()) SetSelection("parts", 0);
    }

    void OnCommand(const std::string& id, ui::Event event) override {
        if ((id == "view" && event == ui::Event::Clicked) || (id == "parts" && event == ui::Event::DoubleClicked))
            View();
    }

private:
    void View() {
        const int index = Selection("parts");
        if (index < 0) return;
        const std::string entry = Items("parts")[index];
        std::string location = entry.substr(entry.find('\t') + 1);
        for (char& c : location)
            if (c == '\\') c = '/';
        // A location is relative to the received MMS root; it may not climb out of it.
        if (location.find("..") != std::string::npos || location.starts_with("/")) return;
        const std::string path = config::InboundMmsDirectory() + location;
        // Text parts and SMIL open in the text editor (ShellOpen picks it for text files).
        GetHost().ShellOpen(path, path.substr(0, path.rfind('/') + 1));
    }

    std::string path_;
};

}  // namespace

ui::Template MmsDetailsTemplate() {
    using namespace ui;
    Control header = Edit("header", "Message Header:", Flag::Multiline | Flag::ReadOnly);
    header.height = 10;
    return ui::WithAccessKeys(ui::Template{"DIALOG_MMSVIEW",
            "MMS Message Details",
            {header, List("parts", "Content Objects:", Flag::None, {75}),
             Row("buttons", {Button("view", "View"), Button(IDOK, "Close", Flag::Default)})}});
}

void OpenMmsDetails(ui::Host& host, const std::string& hdrPath) {
    MmsDetails dialog(hdrPath);
    host.RunModal(dialog);
}

}  // namespace viewers
