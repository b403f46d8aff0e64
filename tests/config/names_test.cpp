// Connection names, section names, host:port texts and edit records: the parsers of text
// that reaches the console from INI files and connection dialogs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "config/config_store.h"

namespace {

std::vector<std::vector<std::string>> ReadTable(const std::string& name) {
    const char* root = std::getenv("ZELLA_TEST_DATA");
    std::string path = std::string(root ? root : "tests/data") + "/config/" + name;
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << path;
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos;
             start = tab + 1) {
            fields.push_back(line.substr(start, tab - start));
        }
        fields.push_back(line.substr(start));
        rows.push_back(fields);
    }
    return rows;
}

TEST(SplitHostPort, MatchesEveryCaseOfTheDataFile) {
    auto rows = ReadTable("split_host_port.tsv");
    ASSERT_GE(rows.size(), 10u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 3u);
        std::string host = "unset";
        unsigned port = 4242;
        bool set = config::SplitHostPort(row[0], host, port);
        EXPECT_EQ(host, row[1]) << "input " << row[0];
        if (row[2] == "-") {
            EXPECT_FALSE(set) << "input " << row[0];
            EXPECT_EQ(port, 4242u) << "input " << row[0];
        } else {
            EXPECT_TRUE(set) << "input " << row[0];
            EXPECT_EQ(port, static_cast<unsigned>(std::stoul(row[2]))) << "input " << row[0];
        }
    }
}

TEST(ConnectionSectionName, MatchesEveryCaseOfTheDataFileBothWays) {
    auto rows = ReadTable("section_names.tsv");
    ASSERT_GE(rows.size(), 10u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 2u);
        EXPECT_EQ(config::ConnectionSectionName(row[0]), row[1]) << "name " << row[0];
        std::string back = config::ConnectionNameFromSection(row[1]);
        bool prefixed = row[1].rfind("Modem - ", 0) == 0 && row[0].rfind("Modem - ", 0) != 0;
        EXPECT_EQ(back, prefixed ? "Modem - " + row[0] : row[0]) << "section " << row[1];
    }
}

TEST(ConnectionSectionName, TypedPrefixNeedsTheBlankDashBlank) {
    EXPECT_EQ(config::ConnectionSectionName("SMPP -x"), "Modem - SMPP -x");
    EXPECT_EQ(config::ConnectionSectionName("UCP"), "Modem - UCP");
    EXPECT_EQ(config::ConnectionSectionName(""), "Modem - ");
}

TEST(ConnectionNameFromSection, LeavesUnknownEscapesAlone) {
    EXPECT_EQ(config::ConnectionNameFromSection("a\\x5b\\x41\\x5"), "a\\x5b\\x41\\x5");
    EXPECT_EQ(config::ConnectionNameFromSection("\\x5B\\x5D\\x5C"), "[]\\");
}

TEST(FindRecordValue, FirstMatchingFieldIgnoringCaseWins) {
    const std::string record = "SMPP - h:1\tUserName=alice\tusername=bob\tPassword=x=y";
    EXPECT_EQ(config::FindRecordValue(record, "USERNAME"), "alice");
    EXPECT_EQ(config::FindRecordValue(record, "Password"), "x=y");
}

TEST(FindRecordValue, EmptyValueIsPresentButEmptyAndMissingKeyIsNothing) {
    const std::string record = "Name\tSenderPort=\tKeepAlive=30";
    EXPECT_EQ(config::FindRecordValue(record, "SenderPort"), std::optional<std::string>(""));
    EXPECT_EQ(config::FindRecordValue(record, "Receiver"), std::nullopt);
}

TEST(FindRecordValue, KeyMustBeFollowedByEqualsNotJustPrefix) {
    const std::string record = "Name\tKeepAliveTime=5\tKeepAlive=30";
    EXPECT_EQ(config::FindRecordValue(record, "KeepAlive"), "30");
    EXPECT_EQ(config::FindRecordValue(record, "Keep"), std::nullopt);
}

TEST(FindRecordValue, NameFieldTakesPartInTheSearch) {
    EXPECT_EQ(config::FindRecordValue("SaveRoute=old\tX=1", "saveroute"), "old");
    EXPECT_EQ(config::FindRecordValue("", "X"), std::nullopt);
    EXPECT_EQ(config::FindRecordValue("Name\t\t\tX=\t", "X"), "");
}

TEST(ConnectionFileName, ReplacesColonAndBothSlashes) {
    EXPECT_EQ(config::ConnectionFileName("SMPP - 10.0.0.1:2775"), "SMPP - 10.0.0.1-2775");
    EXPECT_EQ(config::ConnectionFileName("a/b\\c:d"), "a-b-c-d");
}

TEST(IsYes, AcceptsYOneAndTrueOnly) {
    for (const char* yes : {"Yes", "y", "YES please", "1", "10", "TRUE", "true", "TrUe"}) {
        EXPECT_TRUE(config::IsYes(yes)) << yes;
    }
    for (const char* no : {"", "No", "0", "TRUE ", "truthy", " Yes", "on", "T"}) {
        EXPECT_FALSE(config::IsYes(no)) << no;
    }
}

}  // namespace
