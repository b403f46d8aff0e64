// The connection type chooser: its preset, its results and the choices hidden while a
// link library is absent.
#include "modem/connection_type.h"

#include "tests/modem/dialog_fixture.h"

namespace dialogtest {
namespace {

using modem::ChooseConnectionType;

class ConnectionTypeChooser : public DialogTest {};

TEST_F(ConnectionTypeChooser, OpensWithAndroidPhoneCheckedAndReturnsItOnOk) {
    host_.QueueDialog("DIALOG_SMSCTYPE", [](ui::Dialog& d) {
        EXPECT_TRUE(d.Checked("android"));
        d.UserClick(ui::IDOK);
    });
    EXPECT_EQ(ChooseConnectionType(host_, {true, true}), modem::kAndroidPhone);
}

TEST_F(ConnectionTypeChooser, EachChoiceReturnsItsNumber) {
    const std::pair<const char*, int> choices[] = {{"gsm", 0}, {"smpp", 1}, {"http", 2},
                                                   {"ucp", 3}, {"cimd", 4}, {"android", 5}};
    for (const auto& [id, number] : choices) {
        host_.QueueDialog([id = std::string(id)](ui::Dialog& d) {
            d.UserClick(id);
            d.UserClick(ui::IDOK);
        });
        EXPECT_EQ(ChooseConnectionType(host_, {true, true}), number) << id;
    }
}

TEST_F(ConnectionTypeChooser, CancelReturnsMinusOne) {
    host_.QueueDialog([](ui::Dialog& d) {
        d.UserClick("smpp");
        d.UserClick(ui::IDCANCEL);
    });
    EXPECT_EQ(ChooseConnectionType(host_, {true, true}), modem::kCancelled);
}

TEST_F(ConnectionTypeChooser, UcpAndCimdAreHiddenWithoutTheirLibraries) {
    host_.QueueDialog([](ui::Dialog& d) {
        EXPECT_FALSE(d.Visible("ucp"));
        EXPECT_FALSE(d.Visible("cimd"));
        EXPECT_TRUE(d.Visible("smpp"));
        EXPECT_TRUE(d.Visible("http"));
        d.UserClick(ui::IDOK);
    });
    ChooseConnectionType(host_, {false, false});
    host_.QueueDialog([](ui::Dialog& d) {
        EXPECT_TRUE(d.Visible("ucp"));
        EXPECT_FALSE(d.Visible("cimd"));
    });
    ChooseConnectionType(host_, {true, false});
    EXPECT_FALSE(host_.Failed());
}

}  // namespace
}  // namespace dialogtest
