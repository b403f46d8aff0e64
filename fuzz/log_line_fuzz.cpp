// The daily logs the test message dialog reads back: the line reader and the field match.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "smsc/test_message_log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    smsc::LogLineReader reader([&](std::uint64_t offset, char* buffer, std::size_t want) -> std::size_t {
        if (offset >= size) return 0;
        const std::size_t n = std::min<std::size_t>(want, size - offset);
        std::memcpy(buffer, data + offset, n);
        return n;
    });
    std::string line;
    std::size_t lines = 0;
    while (reader.Next(line)) {
        if (line.size() > 4095) __builtin_trap();
        if (++lines > size + 1) __builtin_trap();  // every line consumes at least one byte
    }
    return 0;
}
