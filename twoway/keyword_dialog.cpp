#include "twoway/keyword_dialog.h"

#include <array>

#include "platform/files.h"
#include "twoway/keyword_command.h"
#include "ui/access_keys.h"

namespace twoway {
namespace {

using namespace ui;

// Each action's box and field; typing in a field checks the box while it holds text.
struct ActionIds {
    const char* box;
    const char* field;
    KeywordAction KeywordCommand::*member;
};
const std::array<ActionIds, 6> kActions{{
    {"replyText", "replyTextField", &KeywordCommand::replyText},
    {"replyFile", "replyFileField", &KeywordCommand::replyFile},
    {"run", "runField", &KeywordCommand::run},
    {"mailTo", "mailToField", &KeywordCommand::mailTo},
    {"dlistAdd", "dlistAddField", &KeywordCommand::dlistAdd},
    {"dlistRemove", "dlistRemoveField", &KeywordCommand::dlistRemove},
}};

class KeywordDialog : public Dialog {
public:
    explicit KeywordDialog(std::string& key) : Dialog(KeywordTemplate()), key_(key), oldKey_(key) {}

    void OnInit() override {
        if (oldKey_.empty()) return;
        const KeywordCommand c = LoadKeywordCommand(oldKey_);
        SetText("keyword", c.keyword);
        SetText("phones", c.phones);
        for (const ActionIds& a : kActions) {
            SetText(a.field, (c.*a.member).value);
            SetChecked(a.box, (c.*a.member).on);
        }
        SetChecked("runSendResponse", c.runSendResponse);
    }

    void OnCommand(const std::string& id, Event event) override {
        if (id == "browse" && event == Event::Clicked) return Browse();
        if (event != Event::Changed || Filling()) return;
        for (const ActionIds& a : kActions) {
            if (id == a.field) SetChecked(a.box, !Text(a.field).empty());
        }
    }

    void OnOk() override {
        KeywordCommand c;
        c.keyword = Text("keyword");
        c.phones = Text("phones");
        for (const ActionIds& a : kActions) c.*a.member = {Checked(a.box), Text(a.field)};
        c.runSendResponse = Checked("runSendResponse");
        const KeywordProblem problem = CheckKeywordCommand(c);
        if (!problem.message.empty()) {
            Error(GetHost(), problem.message);
            Focus(problem.focus);
            return;
        }
        StoreKeywordCommand(c, oldKey_);
        key_ = c.Key();
        End(kOk);
    }

private:
    void Browse() {
        const std::string dir = ReplyFilesDirectory();
        platform::CreateDirectories(dir);
        OpenFileSpec spec;
        spec.title = "Include Image with Reply";
        spec.filters = {{"Images", "*.jpg;*.jpeg;*.png;*.gif"}, {"All Files", "*.*"}};
        spec.initialDirectory = dir;
        spec.mustExist = true;
        std::string path;
        if (!GetHost().GetFileName(spec, path)) return;
        if (path.rfind(dir, 0) == 0) path.erase(0, dir.size());
        SetText("replyFileField", path);
        SetChecked("replyFile", true);
    }

    std::string& key_;
    const std::string oldKey_;
};

}  // namespace

ui::Template KeywordTemplate() {
    return ui::WithAccessKeys(ui::Template{
        "DIALOG_EDIT_KW",
        "2-Way Keyword Processor",
        {Edit("keyword", "Keyword:"),
         Edit("phones", "Receive Phone Number(s):"),
         Static("phonesNote", "(blank to receive on all numbers)"),
         Group("actions", "Actions",
               {Check("replyText", "Send Text Reply"),
                Edit("replyTextField", "", Flag::Multiline | Flag::Wide),
                Row("fileRow", {Check("replyFile", "Include Image with Reply"),
                                Edit("replyFileField", "", Flag::ReadOnly), Button("browse", "Browse")}),
                Check("run", "Run HTTP or Local Command"),
                Edit("runField", "", Flag::Wide),
                Check("runSendResponse", "Reply to sender with command output"),
                Row("mailRow", {Check("mailTo", "Forward To E-Mail Address"), Edit("mailToField", "")}),
                Row("addRow", {Check("dlistAdd", "Add To Distribution List"), Edit("dlistAddField", "")}),
                Row("removeRow",
                    {Check("dlistRemove", "Remove From Distribution List"), Edit("dlistRemoveField", "")})}),
         OkCancelRow()}});
}

int EditKeywordCommand(ui::Host& host, std::string& keywordKey) {
    KeywordDialog dialog(keywordKey);
    return host.RunModal(dialog) == kOk ? 1 : 0;
}

}  // namespace twoway
