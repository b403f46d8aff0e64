#include "platform/dynlib.h"

#include <dlfcn.h>

#include <mutex>
#include <utility>

#include "platform/files.h"

namespace platform {

namespace {

std::mutex directoryMutex;
std::string directoryOverride;

}  // namespace

std::string SharedLibraryFileName(const std::string& logicalName) {
    std::string name;
    name.reserve(logicalName.size() + 6);
    for (char c : logicalName) {
        name += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dll") == 0) {
        name.resize(name.size() - 4);
    }
    return "lib" + name + ".so";
}

std::string LibraryDirectory() {
    {
        std::lock_guard<std::mutex> lock(directoryMutex);
        if (!directoryOverride.empty()) return directoryOverride;
    }
    return ExecutableDirectory();
}

void SetLibraryDirectory(const std::string& dirWithSlash) {
    std::lock_guard<std::mutex> lock(directoryMutex);
    directoryOverride = WithSlash(dirWithSlash);
}

DynamicLibrary::~DynamicLibrary() { Free(); }

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        Free();
        handle_ = std::exchange(other.handle_, nullptr);
        error_ = std::move(other.error_);
    }
    return *this;
}

bool DynamicLibrary::Load(const std::string& logicalName) {
    return LoadPath(LibraryDirectory() + SharedLibraryFileName(logicalName));
}

bool DynamicLibrary::LoadPath(const std::string& path) {
    Free();
    error_.clear();
    // RTLD_LOCAL: the link libraries export the same function names and must not
    // resolve against each other.
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* err = dlerror();
        error_ = err != nullptr ? err : ("cannot load " + path);
        return false;
    }
    return true;
}

void* DynamicLibrary::Symbol(const char* name) const {
    if (handle_ == nullptr || name == nullptr) return nullptr;
    return dlsym(handle_, name);
}

void DynamicLibrary::Free() {
    if (handle_ != nullptr) dlclose(handle_);
    handle_ = nullptr;
}

}  // namespace platform
