// The "2-Way" page walked end to end on a real ZELLA.INI: keyword commands added with
// every kind of hostile input, edited into a new key, removed; the receive settings and
// the PHP group applied; and LocatePhpCgi's search order with a fake php-cgi and with
// the real one when the machine has it.
#include "twoway/twoway_page.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "config/config_store.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"
#include "shell/core/console_caption.h"
#include "tests/support/temp_dir.h"
#include "twoway/keyword_store.h"
#include "twoway/php_support.h"
#include "ui/headless_host.h"

namespace {

using Boxes = std::vector<std::string>;

// PATH and PHPRC for one test, restored afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (had_) {
            setenv(name_, old_.c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

class TwoWayPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ini_ = data_.File("ZELLA.INI");
        config::SetConfigurationPath(ini_);
    }
    void TearDown() override { config::SetConfigurationPath(""); }
    std::string Get(const std::string& section, const std::string& key) {
        return platform::GetPrivateProfileString(ini_, section, key, "<absent>", 32767);
    }
    // An executable file named php-cgi in `dir`.
    static std::string FakePhp(const std::string& dir) {
        platform::CreateDirectories(dir);
        const std::string path = dir + "php-cgi";
        EXPECT_TRUE(platform::WriteFileAtomic(path, "#!/bin/sh\nexit 0\n"));
        chmod(path.c_str(), 0755);
        return path;
    }
    // Runs the page in a sheet with `body`, then applies it when `apply` is set.
    void WithPage(const std::function<void(ui::Page&)>& body, bool apply = false) {
        ui::Sheet sheet(shell::kConsoleCaption);
        sheet.AddPage(twoway::CreateTwoWayPage());
        host_.QueueSheet([&](ui::Sheet& s) {
            body(s.PageAt(0));
            if (apply) s.PressApply();
            if (!s.IsEnded()) s.End(ui::kCancel);
        });
        host_.RunSheet(sheet);
    }
    // "Add" with a dialog script; the boxes shown meanwhile.
    Boxes Add(ui::Page& page, const std::function<void(ui::Dialog&)>& fill) {
        const std::size_t before = host_.BoxTexts().size();
        host_.QueueDialog("DIALOG_EDIT_KW", [&](ui::Dialog& d) {
            fill(d);
            if (!d.IsEnded()) d.UserClick(ui::IDOK);
            if (!d.IsEnded()) d.UserClick(ui::IDCANCEL);
        });
        page.UserClick("add");
        const Boxes all = host_.BoxTexts();
        return Boxes(all.begin() + static_cast<long>(before), all.end());
    }

    zella_test::ScopedDataDir data_{"twoway-page"};
    std::string ini_;
    ui::HeadlessHost host_;
};

TEST_F(TwoWayPageTest, KeywordCommandsAreAddedRefusedEditedAndRemoved) {
    const std::string program = FakePhp(data_.Path() + "bin/");  // any existing program
    WithPage([&](ui::Page& page) {
        EXPECT_EQ(Boxes{}, Add(page, [](ui::Dialog& d) {
            d.UserSetText("keyword", "INFO");
            d.UserSetText("replyTextField", "Line one\r\nLine two");
            EXPECT_TRUE(d.Checked("replyText"));
        }));
        // Refusals, in the order the checks run; nothing of them is stored.
        struct Case {
            std::string keyword, field, value, box;
        };
        const std::vector<Case> refused{
            {"", "mailToField", "a@b", "Keyword is required!"},
            {"A=B", "mailToField", "a@b", "Keyword cannot contain \"=\", \"]\" or a line break"},
            {"A]", "mailToField", "a@b", "Keyword cannot contain \"=\", \"]\" or a line break"},
            {"A", "", "", "At least one type of action is required"},
            {"A", "runField", "nosuchprog; rm -rf /",
             "Cannot locate program file:  nosuchprog;\\r\\n\\r\\nPlease specify an "
             "http://url, or a valid executable file name."},
        };
        for (const Case& c : refused) {
            EXPECT_EQ(Boxes{c.box}, Add(page, [&](ui::Dialog& d) {
                d.UserSetText("keyword", c.keyword);
                if (!c.field.empty()) d.UserSetText(c.field, c.value);
            })) << c.keyword;
        }
        EXPECT_EQ(Boxes{"Reply file must be selected"}, Add(page, [](ui::Dialog& d) {
            d.UserSetText("keyword", "IMG");
            d.UserClick("replyFile");
        }));
        // A command line with shell metacharacters is stored as typed; a long keyword too.
        const std::string run = program + " $(id) | tee /tmp/x && echo `date`";
        EXPECT_EQ(Boxes{}, Add(page, [&](ui::Dialog& d) {
            d.UserSetText("keyword", "RUN");
            d.UserSetText("phones", "4477, 4478");
            d.UserSetText("runField", run);
            d.UserClick("runSendResponse");
        }));
        const std::string longKeyword(1000, 'K');
        EXPECT_EQ(Boxes{}, Add(page, [&](ui::Dialog& d) {
            d.UserSetText("keyword", longKeyword);
            d.UserSetText("dlistAddField", "news");
        }));
        EXPECT_EQ(Get("2Way-Keyword-RUN##4477, 4478", "Run"), run);
        EXPECT_EQ(Get("2Way-Keyword-RUN##4477, 4478", "RunSendResponse"), "Yes");
        EXPECT_EQ(Get("2Way-Keyword-" + longKeyword, "DListAdd"), "news");
        EXPECT_EQ(Get("2Way-Keywords", "Keyword3"), longKeyword);
        EXPECT_EQ(page.Items("commands").at(0), "INFO\tReplyText=Line one\\r\\nLine two");
        EXPECT_EQ(page.Selection("commands"), 2);

        // Editing INFO shows the reply on two lines and renames it.
        page.UserSelect("commands", 0);
        host_.QueueDialog("DIALOG_EDIT_KW", [](ui::Dialog& d) {
            EXPECT_EQ(d.Text("replyTextField"), "Line one\r\nLine two");
            d.UserSetText("phones", "4477");
            d.UserSetText("mailToField", "ops@example.test");
            d.UserClick(ui::IDOK);
        });
        page.UserClick("edit");
        EXPECT_EQ(Get("2Way-Keyword-INFO", "ReplyText"), "<absent>");
        EXPECT_EQ(Get("2Way-Keyword-INFO##4477", "ReplyText"), "Line one\\r\\nLine two");
        EXPECT_EQ(Get("2Way-Keyword-INFO##4477", "MailTo"), "ops@example.test");
        EXPECT_EQ(Get("2Way-Keywords", "Keyword1"), "INFO##4477");
        EXPECT_EQ(page.Selection("commands"), 0);

        // Removing the second of three moves the third up.
        page.UserSelect("commands", 1);
        page.UserClick("remove");
        EXPECT_EQ(twoway::ListKeywords(), (std::vector<std::string>{"INFO##4477", longKeyword}));
        EXPECT_EQ(Get("2Way-Keyword-RUN##4477, 4478", "Run"), "<absent>");
        EXPECT_EQ(page.Selection("commands"), 1);
    });
    EXPECT_FALSE(host_.Failed()) << host_.TranscriptText();
}

// A Linux PATH is often longer than 260 characters: it is still searched, for php-cgi and
// for the program of a keyword's local command, which is found as the command will be
// run (a bare name through PATH) and named as typed when it cannot be.
TEST_F(TwoWayPageTest, LongPathIsSearchedForPhpAndForTheProgramOfALocalCommand) {
    const std::string bin = data_.Path() + "fakebin/";
    const std::string php = FakePhp(bin);
    ASSERT_EQ(0, std::system(("cp " + php + " " + bin + "php").c_str()));
    std::string longPath;
    while (longPath.size() < 400) longPath += "/nonexistent/" + std::to_string(longPath.size()) + ":";
    ScopedEnv path("PATH", longPath + bin);
    ScopedEnv phprc("PHPRC", "/nonexistent");
    std::string found, message;
    EXPECT_TRUE(twoway::LocatePhpCgi(found, message, {}));
    EXPECT_EQ(found, php);
    WithPage([&](ui::Page& page) {
        EXPECT_EQ(Boxes{}, Add(page, [](ui::Dialog& d) {
            d.UserSetText("keyword", "PHP");
            d.UserSetText("runField", "php /srv/handler.php");
        }));
        EXPECT_EQ(Boxes{"Cannot locate program file:  php5\\r\\n\\r\\nPlease specify an http://url, or a "
                        "valid executable file name."},
                  Add(page, [](ui::Dialog& d) {
                      d.UserSetText("keyword", "OLD");
                      d.UserSetText("runField", "php5 /srv/handler.php");
                  }));
    });
    EXPECT_EQ(Get("2Way-Keyword-PHP", "Run"), "php /srv/handler.php");
}

// A character set stored in another case than the list spells it is still the one
// shown, and Apply keeps it instead of deleting it.
TEST_F(TwoWayPageTest, StoredCharacterSetIsFoundIgnoringCaseAndKept) {
    for (const char* stored : {"ISO-8859-1", "UTF-8", "Us-Ascii"}) {
        ASSERT_TRUE(platform::WritePrivateProfileString(ini_, "ZELLA", "ReceiveSMSCharset", stored));
        WithPage([&](ui::Page& page) {
            EXPECT_TRUE(platform::EqualsNoCase(page.Text("charset"), stored)) << page.Text("charset");
            page.GetSheet()->SetChanged(true);
        }, true);
        EXPECT_TRUE(platform::EqualsNoCase(Get("ZELLA", "ReceiveSMSCharset"), stored)) << stored;
    }
}

TEST_F(TwoWayPageTest, ReceiveSettingsAndPhpAreAppliedWithTheRestartQuestion) {
    const std::string php = FakePhp(data_.Path() + "fakebin/");
    ScopedEnv path("PATH", "/nonexistent:  " + data_.Path() + "fakebin:/usr/bin:/bin");
    ScopedEnv phprc("PHPRC", "/nonexistent");
    host_.QueueAnswer("Restart QuvSMS service to enable PHP Support?", ui::kNo);
    WithPage(
        [&](ui::Page& page) {
            EXPECT_TRUE(page.Checked("receiveSms"));
            EXPECT_FALSE(page.Checked("receiveMms"));
            EXPECT_EQ(page.Text("charset"), "utf-8");
            EXPECT_FALSE(page.Enabled("phpRemote"));
            page.UserClick("receiveMms");
            page.UserSetText("postUrl", "10.3.3.3/mms");
            page.UserClick("phpEnable");
            EXPECT_TRUE(page.Checked("phpEnable"));
            EXPECT_TRUE(page.Enabled("phpRemote"));
            EXPECT_EQ(page.Text("phpNote"),
                      "http://127.0.0.1:8800/php/ resolves to " + config::PhpDirectory());
            EXPECT_TRUE(page.GetSheet()->Changed());
            page.UserSelect("charset", 0);  // "(default)"
        },
        true);
    EXPECT_EQ(Get("ZELLA", "ReceiveMMS"), "Yes");
    EXPECT_EQ(Get("ZELLA", "2WayMMSPostURL"), "http://10.3.3.3/mms");
    EXPECT_EQ(Get("ZELLA", "ReceiveSMSCharset"), "<absent>");
    EXPECT_EQ(Get("ZELLA", "PHPEnable"), "Yes");
    EXPECT_EQ(Get("ZELLA", "PHP-CGI.EXE"), php);
    EXPECT_TRUE(platform::DirectoryExists(config::PhpDirectory()));
    EXPECT_EQ(host_.UnusedAnswers(), 0);

    // Enabled already: no question. A stored program that is gone is searched again.
    platform::DeleteFileChecked(php);
    const std::string second = FakePhp(data_.Path() + "phprc/");
    ScopedEnv phprc2("PHPRC", data_.Path() + "phprc");
    WithPage([&](ui::Page& page) { EXPECT_TRUE(page.Checked("phpEnable")); }, true);
    EXPECT_EQ(Get("ZELLA", "PHP-CGI.EXE"), second);
    EXPECT_FALSE(host_.Failed()) << host_.TranscriptText();
}

TEST_F(TwoWayPageTest, PhpSearchIsBoundedSkipsQueueFoldersAndFindsTheRealProgram) {
    ScopedEnv path("PATH", "/nonexistent");
    ScopedEnv phprc("PHPRC", std::string(300, 'x'));  // too long: absent
    const std::string root = data_.Path() + "opt/";
    FakePhp(root + "Q/");
    FakePhp(root + "a/MMSCDATA/");
    FakePhp(root + "a/b/c/d/e/");  // deeper than the search goes
    std::string found, message;
    EXPECT_FALSE(twoway::LocatePhpCgi(found, message, {root}));
    EXPECT_EQ(message, "PHP support not available, unable to locate php-cgi");
    const std::string ok = FakePhp(root + "a/php8/bin/");
    EXPECT_TRUE(twoway::LocatePhpCgi(found, message, {root}));
    EXPECT_EQ(found, ok);

    // Debian's php-cgi, when the machine has it, is found by the standard search.
    config::WriteZellaKey("PHP-CGI.EXE", std::nullopt);
    if (!platform::FileExists("/usr/bin/php-cgi")) GTEST_SKIP() << "php-cgi not installed";
    EXPECT_TRUE(twoway::LocatePhpCgi(found, message));
    EXPECT_EQ(found, "/usr/bin/php-cgi");
}

}  // namespace
