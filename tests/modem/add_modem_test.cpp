// The add-modem dialog against the modem simulator: what it offers, the entry it hands
// back, and a failed test that keeps it open.
#include "modem/add_modem_dialog.h"
#include "platform/files.h"
#include "tests/modem/dialog_fixture.h"

namespace dialogtest {
namespace {

class AddModem : public DialogTest {
protected:
    // Runs the dialog choosing `item`, typing `pin`, then pressing "Test and Add Modem";
    // a dialog left open is cancelled.
    bool Add(const std::string& item, const std::string& pin, std::string& entry,
             const std::vector<std::string>& configured = {}) {
        host_.QueueDialog("DIALOG_ADDMODEM", [&](ui::Dialog& d) {
            const int index = d.FindItem("modem", item);
            ASSERT_GE(index, 0) << item;
            d.UserSelect("modem", index);
            d.UserSetText("pin", pin);
            d.UserClick("test");
            stillOpen_ = !d.IsEnded();
        });
        return modem::AddModemDialog(host_, configured, entry);
    }
    bool stillOpen_ = false;
};

TEST_F(AddModem, ConfiguredPortIsNotOffered) {
    StartModem({}, 7);
    StartModem({}, 8);
    std::vector<std::string> offered = modem::AvailableModems({"com7:"});
    EXPECT_EQ(std::count(offered.begin(), offered.end(), "COM7:"), 0);
    EXPECT_EQ(std::count(offered.begin(), offered.end(), "COM8:"), 1);
}

TEST_F(AddModem, RegisteredModemsComeBeforeComPorts) {
    StartModem({}, 7);
    ASSERT_TRUE(platform::WriteFileAtomic(dir_ + "MODEMS.INI",
                                          "[Bench Modem]\nPort=" + dir_ + "COMPORTS/COM7\n"));
    std::vector<std::string> offered = modem::AvailableModems({});
    ASSERT_FALSE(offered.empty());
    EXPECT_EQ(offered.front(), "Bench Modem");
    EXPECT_EQ(std::count(offered.begin(), offered.end(), "COM7:"), 1);
}

TEST_F(AddModem, PassingModemWithPinGivesNameTabPin) {
    StartModem({"--pin=4321"});
    std::string entry;
    EXPECT_TRUE(Add("COM7:", "4321", entry));
    EXPECT_EQ(entry, "COM7:\tPIN=4321");
    EXPECT_EQ(Boxes().back(), "Modem successfully tested!");
}

TEST_F(AddModem, PassingModemWithoutPinGivesJustTheName) {
    StartModem({});
    std::string entry;
    EXPECT_TRUE(Add("COM7:", "", entry));
    EXPECT_EQ(entry, "COM7:");
}

TEST_F(AddModem, PinIsCutToNineteenCharacters) {
    StartModem({});
    std::string entry;
    EXPECT_TRUE(Add("COM7:", "12345678901234567890123", entry));
    EXPECT_EQ(entry, "COM7:\tPIN=1234567890123456789");
}

TEST_F(AddModem, FailedTestKeepsDialogOpenAndAddsNothing) {
    StartModem({"--pin=4321"});
    std::string entry = "untouched";
    EXPECT_FALSE(Add("COM7:", "0000", entry));
    EXPECT_TRUE(stillOpen_);
    EXPECT_EQ(entry, "untouched");
    ASSERT_FALSE(Boxes().empty());
    EXPECT_EQ(Boxes().back().rfind("Invalid PIN --", 0), 0u) << Boxes().back();
}

TEST_F(AddModem, TestWithNothingSelectedDoesNothing) {
    std::string entry;
    host_.QueueDialog([](ui::Dialog& d) {
        d.SetSelection("modem", -1);
        d.UserClick("test");
        EXPECT_FALSE(d.IsEnded());
    });
    EXPECT_FALSE(modem::AddModemDialog(host_, {}, entry));
    EXPECT_TRUE(Boxes().empty());
}

}  // namespace
}  // namespace dialogtest
