// Feeds arbitrary text to the parsers of connection names, host:port texts and
// connection edit records. The section name escape must always round-trip.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "config/config_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);

    std::string section = config::ConnectionSectionName(text);
    std::string back = config::ConnectionNameFromSection(section);
    if (back != text && back != "Modem - " + std::string(text)) std::abort();
    // A section name must fit between the brackets of a section header.
    if (section.find_first_of("[]") != std::string::npos) std::abort();

    std::string host;
    unsigned port = 70000;
    if (config::SplitHostPort(text, host, port) && port > 65535) std::abort();
    if (!config::SplitHostPort(text, host, port) && port != 70000) std::abort();
    if (host.size() > text.size()) std::abort();

    // First line is the key, the rest the record.
    std::size_t newline = text.find('\n');
    std::string_view key = text.substr(0, newline);
    std::string_view record = newline == std::string_view::npos ? "" : text.substr(newline + 1);
    if (auto value = config::FindRecordValue(record, key)) {
        if (value->size() > record.size() || value->find('\t') != std::string::npos) std::abort();
    }

    std::string file = config::ConnectionFileName(text);
    if (file.find_first_of(":/\\") != std::string::npos) std::abort();
    return 0;
}
