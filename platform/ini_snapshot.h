// One INI file read once for many lookups. A page refresh or a connection walk asks for
// hundreds of keys; reading the file for each would cost hundreds of file reads. Lookups
// follow the same rules as GetPrivateProfileString: names compare ignoring ASCII case,
// the first section of a name and the first key of a name in it win, one pair of quotes
// is stripped, and the result is cut to a buffer of `size` characters.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

class IniSnapshot {
public:
    // A missing or unreadable file gives a snapshot in which every lookup gives `def`.
    explicit IniSnapshot(const std::string& path);
    // A snapshot of INI text already in memory (a spool record read through a locked
    // descriptor); Loaded() is true.
    static IniSnapshot FromText(std::string content);
    IniSnapshot(IniSnapshot&&) noexcept;
    IniSnapshot& operator=(IniSnapshot&&) noexcept;
    // Whether the first section of that name exists.
    bool HasSection(std::string_view section) const;
    ~IniSnapshot();
    IniSnapshot(const IniSnapshot&) = delete;
    IniSnapshot& operator=(const IniSnapshot&) = delete;

    bool Loaded() const { return loaded_; }
    std::string Get(std::string_view section, std::string_view key, std::string_view def = {},
                    std::size_t size = 500) const;

private:
    IniSnapshot();
    void BuildIndex();
    struct Index;
    std::string content_;  // the index views into it
    bool loaded_ = false;
    std::unique_ptr<Index> index_;
};

}  // namespace platform
