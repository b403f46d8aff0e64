// The modem registry file: listing, the COM port of a modem, and the silence rule of
// the first pass when the modem's own device cannot be opened.
#include <algorithm>

#include "modem/modem_registry.h"
#include "modem/modem_test.h"
#include "platform/ini.h"
#include "tests/modem/modem_fixture.h"

namespace modemtest {
namespace {

class ModemRegistry : public ModemFixture {
protected:
    void Set(const std::string& modem, const std::string& key, const std::string& value) {
        ASSERT_TRUE(platform::WritePrivateProfileString(modem::ModemRegistryPath(), modem, key,
                                                        value));
    }
};

TEST_F(ModemRegistry, DataModemsAreListedInFileOrder) {
    Set("Zeta GSM", "Port", "/dev/ttyUSB0");
    Set("Voice Line", "DataModem", "No");
    Set("Alpha GSM", "AttachedTo", "COM4");
    EXPECT_EQ(modem::ListTapiModems(), (std::vector<std::string>{"Zeta GSM", "Alpha GSM"}));
}

TEST_F(ModemRegistry, MissingFileListsNothing) { EXPECT_TRUE(modem::ListTapiModems().empty()); }

TEST_F(ModemRegistry, AttachedPortIsFoundIgnoringCase) {
    Set("Alpha GSM", "AttachedTo", "COM4");
    Set("Beta GSM", "AttachedTo", "");
    EXPECT_EQ(modem::FindModemPortInRegistry("alpha gsm"), "COM4");
    EXPECT_EQ(modem::FindModemPortInRegistry("Beta GSM"), "");
    EXPECT_EQ(modem::FindModemPortInRegistry("Gamma GSM"), "");
}

TEST_F(ModemRegistry, UnopenableModemIsRecoveredThroughItsComPortSilentlyFirst) {
    StartModem({}, 7);
    Set("Field Modem", "Port", dir_ + "gone");
    Set("Field Modem", "AttachedTo", "COM7");
    UseFakeClock();
    EXPECT_FALSE(modem::TestModem(host_, "Field Modem", ""));
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    // The recovery finds the modem twice (before and after its reset); only the second
    // pass tells why the modem's own device failed, in the operator's words and once.
    EXPECT_EQ(boxes[0], "Initialised modem at 115200 bps");
    EXPECT_EQ(boxes[1], "Initialised modem at 115200 bps");
    EXPECT_EQ(boxes[2], "Unable to initialize modem Field Modem:  " + dir_ +
                            "gone cannot be opened (No such file or directory)");
}

TEST_F(ModemRegistry, UnopenableModemWithoutComPortTellsAtOnce) {
    Set("Field Modem", "Port", dir_ + "gone");
    UseFakeClock();
    EXPECT_FALSE(modem::TestModem(host_, "Field Modem", ""));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Unable to initialize modem Field Modem:  " + dir_ +
                                                 "gone cannot be opened (No such file or directory)"}));
}

}  // namespace
}  // namespace modemtest
