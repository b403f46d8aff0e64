// The restrictions dialog: what it loads and the keys it writes at once on OK.
#include "config/config_store.h"
#include "modem/restrictions_dialog.h"
#include "tests/modem/dialog_fixture.h"

namespace dialogtest {
namespace {

class Restrictions : public DialogTest {
protected:
    bool Run(const std::function<void(ui::Dialog&)>& script, bool ok = true) {
        host_.QueueDialog("DIALOG_RESTRICTIONS", [&](ui::Dialog& d) {
            script(d);
            d.UserClick(ok ? ui::IDOK : ui::IDCANCEL);
        });
        return modem::RestrictionsDialog(host_, kName);
    }
    bool Has(const std::string& key) const {
        return HasKey(config::ConnectionSectionName(kName), key);
    }
    static void Type(ui::Dialog& d, const char* id, const char* text) { d.UserSetText(id, text); }
    const std::string kName = "SMPP - 10.0.0.5:2775";
};

TEST_F(Restrictions, WithoutNameClosesAtOnce) {
    EXPECT_FALSE(modem::RestrictionsDialog(host_, ""));
    EXPECT_TRUE(host_.Transcript().empty());
}

TEST_F(Restrictions, ClearingConnectionEnabledWritesOfflineAndCheckingDeletesIt) {
    EXPECT_TRUE(Run([](ui::Dialog& d) {
        EXPECT_TRUE(d.Checked("enabled"));
        d.UserClick("enabled");
    }));
    EXPECT_EQ(Key(kName, "Offline"), "Yes");
    EXPECT_TRUE(Run([](ui::Dialog& d) {
        EXPECT_FALSE(d.Checked("enabled"));
        d.UserClick("enabled");
    }));
    EXPECT_FALSE(Has("Offline"));
}

TEST_F(Restrictions, DailyAndMonthlyLimitsAreWrittenOnlyWhenCheckedAndNonZero) {
    Run([](ui::Dialog& d) {
        d.UserClick("daily");
        Type(d, "dailyLimit", "250");
        d.UserClick("monthly");
        Type(d, "monthlyLimit", "0");
    });
    EXPECT_EQ(Key(kName, "CreditLimitDay"), "250");
    EXPECT_FALSE(Has("CreditLimitMonth"));
}

TEST_F(Restrictions, MonthStartingOnDayOneDeletesResetDay) {
    SetKey(kName, "CreditLimitResetDay", "15");
    Run([](ui::Dialog& d) {
        d.UserClick("monthly");
        Type(d, "monthlyLimit", "1000");
        EXPECT_EQ(d.Text("resetDay"), "15");
        Type(d, "resetDay", "1");
    });
    EXPECT_EQ(Key(kName, "CreditLimitMonth"), "1000");
    EXPECT_FALSE(Has("CreditLimitResetDay"));
}

TEST_F(Restrictions, ResetDayIsUntouchedWithoutMonthlyLimit) {
    SetKey(kName, "CreditLimitResetDay", "15");
    Run([](ui::Dialog&) {});
    EXPECT_EQ(Key(kName, "CreditLimitResetDay"), "15");
}

TEST_F(Restrictions, QuietHoursRules) {
    const struct {
        const char *start, *end, *wantStart, *wantEnd;
    } cases[] = {{"5", "5", nullptr, nullptr},
                 {"0", "6", "0", "6"},
                 {"22", "25", "22", "0"},
                 {"0", "0", nullptr, nullptr}};
    for (const auto& c : cases) {
        Run([&](ui::Dialog& d) {
            if (!d.Checked("quiet")) d.UserClick("quiet");
            Type(d, "quietStart", c.start);
            Type(d, "quietEnd", c.end);
        });
        if (c.wantStart == nullptr) {
            EXPECT_FALSE(Has("QuietHourStart")) << c.start << "-" << c.end;
            EXPECT_FALSE(Has("QuietHourEnd")) << c.start << "-" << c.end;
        } else {
            EXPECT_EQ(Key(kName, "QuietHourStart"), c.wantStart);
            EXPECT_EQ(Key(kName, "QuietHourEnd"), c.wantEnd);
        }
    }
}

TEST_F(Restrictions, UncheckingQuietHoursDeletesBoth) {
    SetKey(kName, "QuietHourStart", "22");
    SetKey(kName, "QuietHourEnd", "6");
    Run([](ui::Dialog& d) {
        EXPECT_TRUE(d.Checked("quiet"));
        EXPECT_EQ(d.Text("quietStart"), "22");
        d.UserClick("quiet");
        EXPECT_FALSE(d.Enabled("quietStart"));
    });
    EXPECT_FALSE(Has("QuietHourStart"));
    EXPECT_FALSE(Has("QuietHourEnd"));
}

TEST_F(Restrictions, SpeedLimitOfZeroSecondsBecomesOne) {
    Run([](ui::Dialog& d) {
        d.UserClick("speed");
        Type(d, "speedCount", "10");
        Type(d, "speedSeconds", "0");
    });
    EXPECT_EQ(Key(kName, "SMSCSendLimit"), "10/1");
}

TEST_F(Restrictions, StoredSpeedLimitLoadsAndWithoutSecondsShowsOne) {
    SetKey(kName, "SMSCSendLimit", "7");
    Run([](ui::Dialog& d) {
        EXPECT_TRUE(d.Checked("speed"));
        EXPECT_EQ(d.Text("speedCount"), "7");
        EXPECT_EQ(d.Text("speedSeconds"), "1");
        Type(d, "speedCount", "0");
    });
    EXPECT_FALSE(Has("SMSCSendLimit"));
}

TEST_F(Restrictions, FieldsFollowTheirCheckBoxes) {
    Run([](ui::Dialog& d) {
        for (const char* id : {"dailyLimit", "monthlyLimit", "resetDay", "quietStart", "quietEnd",
                               "quietAnd", "speedCount", "speedSeconds", "speedPer"})
            EXPECT_FALSE(d.Enabled(id)) << id;
        d.UserClick("monthly");
        EXPECT_TRUE(d.Enabled("monthlyLimit"));
        EXPECT_TRUE(d.Enabled("resetDay"));
        EXPECT_EQ(d.Text("resetDay"), "1");
    });
}

TEST_F(Restrictions, CancelWritesNothing) {
    EXPECT_FALSE(Run([](ui::Dialog& d) { d.UserClick("enabled"); }, false));
    EXPECT_FALSE(Has("Offline"));
}

TEST(RestrictionNumbers, TextThatIsNotANumberCountsAsZero) {
    EXPECT_EQ(modem::ParseRestrictionNumber("abc"), 0);
    EXPECT_EQ(modem::ParseRestrictionNumber(" 12x"), 12);
    EXPECT_EQ(modem::ParseRestrictionNumber("-3"), -3);
    EXPECT_EQ(modem::ParseRestrictionNumber(""), 0);
    EXPECT_GT(modem::ParseRestrictionNumber("99999999999999999999999999"), 0);
}

}  // namespace
}  // namespace dialogtest
