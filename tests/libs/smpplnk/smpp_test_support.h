// Shared by the SMPP link tests: PDU bytes in hex, a scratch ZELLA.INI with a section
// "SMPP", and the error text of a code.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

#include "acctdb/acctdb.h"
#include "smpplnk/smpplnk.h"
#include "tests/support/temp_dir.h"

namespace smpplnk_test {

inline std::string Be32(std::uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 8), static_cast<char>(v)};
}

inline std::string Pdu(std::uint32_t length, std::uint32_t id, std::uint32_t status,
                       std::uint32_t sequence, const std::string& body = "") {
    return Be32(length) + Be32(id) + Be32(status) + Be32(sequence) + body;
}

inline std::string ErrorText(int code) {
    char text[256];
    SMPPErrorText(code, text, sizeof text);
    return text;
}

// A data directory of its own (the trace lands in its LOGS/) and a ZELLA.INI whose
// section "SMPP" holds `smppSection` ("Key=Value\n" lines).
class ScratchGateway {
public:
    explicit ScratchGateway(const std::string& smppSection = "") : dir_("smpplnk") {
        setenv("ZELLA_DATA_DIR", dir_.Path().c_str(), 1);
        WriteSection(smppSection);
        acctdb::SMSIniSetFilename(dir_.File("ZELLA.INI"));
    }
    ~ScratchGateway() {
        acctdb::SMSIniSetFilename("");
        unsetenv("ZELLA_DATA_DIR");
    }
    void WriteSection(const std::string& lines) {
        std::ofstream(dir_.File("ZELLA.INI"), std::ios::trunc) << "[SMPP]\n" << lines;
    }
    std::string TraceText() const {
        std::ifstream in(dir_.File("LOGS/SMPPDEBUG.LOG"));
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    zella_test::TempDir dir_;
};

}  // namespace smpplnk_test
