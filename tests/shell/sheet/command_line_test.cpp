#include "shell/sheet/command_line.h"

#include <gtest/gtest.h>

namespace shell {
namespace {

TEST(CommandLine, EarlierTableRowWinsWhateverTheOrderOnTheLine) {
    EXPECT_EQ(FindActionSwitch("-STOPSMSSERVICE -INSTALLSMSSERVICE"),
              SwitchAction::InstallSmsService);
    EXPECT_EQ(FindActionSwitch("/restartmmsservice /removesmsservice"),
              SwitchAction::RemoveSmsService);
}

TEST(CommandLine, SwitchesAreFoundIgnoringCaseAndInsideOtherText) {
    EXPECT_TRUE(FindSwitch("x -InstallSmsService y", "-INSTALLSMSSERVICE"));
    EXPECT_TRUE(HasQuietSwitch("abc/qdef"));
    EXPECT_TRUE(HasQuietSwitch("-quiet"));
    EXPECT_FALSE(HasQuietSwitch("-INSTALLSMSSERVICE"));
    EXPECT_EQ(FindActionSwitch(""), SwitchAction::None);
    EXPECT_EQ(FindActionSwitch("-multihost X"), SwitchAction::None);
}

TEST(CommandLine, ShortInstallAndRemoveFormsComeLast) {
    // "/I" and "-R" are substrings of longer switches; the long rows are checked first.
    EXPECT_EQ(FindActionSwitch("/INSTALLMMSSERVICE"), SwitchAction::InstallMmsService);
    EXPECT_EQ(FindActionSwitch("-I"), SwitchAction::InstallService);
    EXPECT_EQ(FindActionSwitch("/r"), SwitchAction::RemoveService);
    EXPECT_EQ(FindActionSwitch("-DELETEDATADIR"), SwitchAction::DeleteDataDir);
}

TEST(CommandLine, MultiHostNameRunsToTheEndOfTheLine) {
    EXPECT_EQ(MultiHostName("-multihost   second site -Q"), "second site -Q");
    EXPECT_EQ(MultiHostName("-STARTSMSSERVICE -MULTIHOST east"), "east");
    EXPECT_EQ(MultiHostName("-multihost a\tb"), "a");  // a control character ends it
    EXPECT_EQ(MultiHostName("-STARTSMSSERVICE"), "");
    // ... and the switches in the name still count as switches.
    EXPECT_EQ(FindActionSwitch("-multihost x -STARTSMSSERVICE"), SwitchAction::StartSmsService);
}

TEST(CommandLine, MultiHostNameIsCutAt260Characters) {
    std::string name(400, 'n');
    EXPECT_EQ(MultiHostName("-multihost " + name).size(), 260u);
}

TEST(CommandLine, ArgumentsJoinWithBlanks) {
    EXPECT_EQ(JoinCommandLine({"-multihost", "a", "b"}), "-multihost a b");
    EXPECT_EQ(JoinCommandLine({}), "");
}

}  // namespace
}  // namespace shell
