// Dynamic libraries by their logical Windows names: "SMPPLNK.DLL" is "libsmpplnk.so" in
// the program directory (lower case, extension replaced).
#pragma once

#include <string>

namespace platform {

// "SMPPLNK.DLL" -> "libsmpplnk.so"; a name without ".DLL" gets "lib" and ".so" too.
std::string SharedLibraryFileName(const std::string& logicalName);

// The library directory used by LoadLibrary below: the program directory unless
// overridden (tests point it at a temporary program directory).
std::string LibraryDirectory();
void SetLibraryDirectory(const std::string& dirWithSlash);  // "" restores the default

// An owned library handle; frees on destruction.
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads the logical name from LibraryDirectory(); false (with Error()) on failure.
    bool Load(const std::string& logicalName);
    // Loads an exact file path.
    bool LoadPath(const std::string& path);
    bool Loaded() const { return handle_ != nullptr; }
    // Address of an exported function, or nullptr.
    void* Symbol(const char* name) const;
    template <typename Fn>
    Fn Function(const char* name) const { return reinterpret_cast<Fn>(Symbol(name)); }
    void Free();
    const std::string& Error() const { return error_; }

private:
    void* handle_ = nullptr;
    std::string error_;
};

}  // namespace platform
