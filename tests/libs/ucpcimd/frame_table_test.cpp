// The UCP/EMI and CIMD2 codecs against the worked frames kept in tests/data/ucp and
// tests/data/cimd: every frame parses to what the table says (or fails as it says), and
// every good frame and every login/logout rebuilds byte for byte.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cimdlnk/cimd_frame.h"
#include "ucplnk/ucp_frame.h"

namespace {

struct Row {
    int line = 0;
    std::string kind, input, expected;
};

std::string Trim(const std::string& s) {
    const std::size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// <STX>, <ETX> and <TAB> as their bytes.
std::string Bytes(std::string s) {
    const std::pair<const char*, char> names[] = {
        {"<STX>", '\x02'}, {"<ETX>", '\x03'}, {"<TAB>", '\x09'}};
    for (const auto& [name, byte] : names)
        for (std::size_t at = s.find(name); at != std::string::npos; at = s.find(name, at + 1))
            s.replace(at, 5, 1, byte);
    return s;
}

std::vector<Row> ReadTable(const std::string& relative) {
    const char* root = std::getenv("ZELLA_TEST_DATA");
    std::ifstream in(std::string(root ? root : "tests/data") + "/" + relative);
    std::vector<Row> rows;
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t a = line.find(" | "), b = line.find(" |", a + 3);
        if (a == std::string::npos || b == std::string::npos) {
            ADD_FAILURE() << relative << ":" << n << " is not a table row";
            continue;
        }
        rows.push_back({n, Trim(line.substr(0, a)), Trim(line.substr(a + 3, b - a - 3)),
                        Trim(line.substr(b + 2))});
    }
    return rows;
}

std::vector<std::string> Split(const std::string& s, char separator) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t at; (at = s.find(separator, from)) != std::string::npos; from = at + 1)
        parts.push_back(s.substr(from, at - from));
    parts.push_back(s.substr(from));
    return parts;
}

// The frame with its two checksum digits (just before ETX) in upper case.
std::string UpperChecksum(std::string frame) {
    if (frame.size() >= 3)
        for (std::size_t i = frame.size() - 3; i < frame.size() - 1; ++i)
            frame[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(frame[i])));
    return frame;
}

const char* UcpErrorName(ucp::ParseError e) {
    switch (e) {
        case ucp::ParseError::None:
            return "ok";
        case ucp::ParseError::NotFramed:
            return "notframed";
        case ucp::ParseError::Syntax:
            return "syntax";
        case ucp::ParseError::LengthMismatch:
            return "length";
        case ucp::ParseError::BadChecksum:
            return "checksum";
    }
    return "?";
}

const char* CimdErrorName(cimd::ParseError e) {
    switch (e) {
        case cimd::ParseError::None:
            return "ok";
        case cimd::ParseError::NotFramed:
            return "notframed";
        case cimd::ParseError::Syntax:
            return "syntax";
        case cimd::ParseError::BadChecksum:
            return "checksum";
    }
    return "?";
}

TEST(UcpFrameTable, WorkedFramesParseAndRebuild) {
    const std::vector<Row> rows = ReadTable("ucp/frames.txt");
    ASSERT_GE(rows.size(), 20u);
    for (const Row& row : rows) {
        SCOPED_TRACE("ucp/frames.txt:" + std::to_string(row.line));
        const std::string frame = Bytes(row.input);
        if (row.kind == "login") {
            const std::vector<std::string> in = Split(row.input, ' ');
            ASSERT_EQ(in.size(), 3u);
            EXPECT_EQ(ucp::BuildLoginFrame(std::stoi(in[0]), in[1], in[2]), Bytes(row.expected));
            continue;
        }
        ucp::Frame parsed;
        const ucp::ParseError e = ucp::ParseFrame(frame, &parsed);
        EXPECT_STREQ(UcpErrorName(e), row.kind.c_str());
        if (row.kind != "ok" || e != ucp::ParseError::None) continue;
        const std::size_t sp = row.expected.find(' ', 7);
        const std::vector<std::string> head = Split(row.expected.substr(0, sp), ' ');
        ASSERT_EQ(head.size(), 3u);
        EXPECT_EQ(parsed.trn, std::stoi(head[0]));
        EXPECT_EQ(std::string(1, parsed.kind), head[1]);
        EXPECT_EQ(parsed.ot, std::stoi(head[2]));
        const std::vector<std::string> fields = sp == std::string::npos
                                                    ? std::vector<std::string>{}
                                                    : Split(row.expected.substr(sp + 1), ',');
        EXPECT_EQ(parsed.fields, fields);
        EXPECT_EQ(ucp::BuildFrame(parsed), UpperChecksum(frame));
    }
}

TEST(CimdFrameTable, WorkedPacketsParseAndRebuild) {
    const std::vector<Row> rows = ReadTable("cimd/packets.txt");
    ASSERT_GE(rows.size(), 20u);
    for (const Row& row : rows) {
        SCOPED_TRACE("cimd/packets.txt:" + std::to_string(row.line));
        const std::vector<std::string> in = Split(row.input, ' ');
        if (row.kind == "login") {
            ASSERT_EQ(in.size(), 3u);
            EXPECT_EQ(cimd::BuildLoginPacket(std::stoi(in[0]), in[1], in[2]), Bytes(row.expected));
            continue;
        }
        if (row.kind == "logout") {
            EXPECT_EQ(cimd::BuildLogoutPacket(std::stoi(in[0])), Bytes(row.expected));
            continue;
        }
        const std::string packet = Bytes(row.input);
        cimd::Packet parsed;
        const cimd::ParseError e = cimd::ParseFrame(packet, &parsed);
        EXPECT_STREQ(CimdErrorName(e), row.kind.c_str());
        if (row.kind != "ok" || e != cimd::ParseError::None) continue;
        const std::size_t sp = row.expected.find(' ', 3);
        EXPECT_EQ(parsed.operation, std::stoi(row.expected.substr(0, 2)));
        EXPECT_EQ(parsed.number, std::stoi(row.expected.substr(3, 3)));
        std::vector<std::pair<int, std::string>> params;
        if (sp != std::string::npos)
            for (const std::string& p : Split(row.expected.substr(sp + 1), ','))
                params.emplace_back(std::stoi(p.substr(0, 3)), p.substr(4));
        EXPECT_EQ(parsed.parameters, params);
        EXPECT_EQ(cimd::BuildPacket(parsed), parsed.checksum ? UpperChecksum(packet) : packet);
    }
}

// What the frames cannot carry is refused by the builders, never framed.
TEST(FrameBuilders, RefuseFieldsHoldingTheProtocolsDelimiters) {
    EXPECT_EQ(ucp::BuildLoginFrame(0, "123/45", "secret"), "");
    EXPECT_EQ(ucp::BuildLoginFrame(0, "12345678901234567", "secret"), "");
    EXPECT_EQ(ucp::BuildLoginFrame(0, "12345", "tab\there"), "");
    EXPECT_EQ(ucp::BuildFrame({0, 'O', 60, {std::string("a\x03", 2)}}), "");
    EXPECT_EQ(cimd::BuildLoginPacket(1, "user", "se\tcret"), "");
    EXPECT_EQ(cimd::BuildLoginPacket(1, "us\x03r", "secret"), "");
    EXPECT_EQ(cimd::BuildLoginPacket(1, "user", std::string("se\x02", 3)), "");
    EXPECT_EQ(cimd::BuildLoginPacket(1, std::string(33, 'u'), "secret"), "");
    EXPECT_EQ(cimd::BuildLoginPacket(1, "user", std::string(33, 'p')), "");
    EXPECT_NE(cimd::BuildLoginPacket(1, std::string(32, 'u'), std::string(32, 'p')), "");
}

}  // namespace
