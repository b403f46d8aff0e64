#include <gtest/gtest.h>

#include "platform/dynlib.h"
#include "platform/files.h"

namespace platform {
namespace {

TEST(SharedLibraryNames, LogicalNamesMapToLowerCaseSharedObjects) {
    EXPECT_EQ("libsmpplnk.so", SharedLibraryFileName("SMPPLNK.DLL"));
    EXPECT_EQ("libacctdb.so", SharedLibraryFileName("AcctDB.dll"));
    EXPECT_EQ("libtlslnk.so", SharedLibraryFileName("TLSLNK"));
}

TEST(SharedLibraryNames, DirectoryDefaultsToProgramDirectoryAndCanBeOverridden) {
    EXPECT_EQ(ExecutableDirectory(), LibraryDirectory());
    SetLibraryDirectory("/opt/probe");
    EXPECT_EQ("/opt/probe/", LibraryDirectory());
    SetLibraryDirectory("");
    EXPECT_EQ(ExecutableDirectory(), LibraryDirectory());
}

TEST(DynamicLibraryTest, LoadsByLogicalNameFromTheLibraryDirectory) {
    SetLibraryDirectory(DYNLIB_PROBE_DIR);
    DynamicLibrary lib;
    ASSERT_TRUE(lib.Load("DYNPROBE.DLL")) << lib.Error();
    auto answer = lib.Function<int (*)()>("ProbeAnswer");
    ASSERT_NE(nullptr, answer);
    EXPECT_EQ(42, answer());
    EXPECT_EQ(nullptr, lib.Symbol("NoSuchFunction"));
    DynamicLibrary moved = std::move(lib);
    EXPECT_FALSE(lib.Loaded());
    EXPECT_TRUE(moved.Loaded());
    moved.Free();
    EXPECT_FALSE(moved.Loaded());
    SetLibraryDirectory("");
}

TEST(DynamicLibraryTest, MissingLibraryReportsAnError) {
    SetLibraryDirectory(DYNLIB_PROBE_DIR);
    DynamicLibrary lib;
    EXPECT_FALSE(lib.Load("ABSENT.DLL"));
    EXPECT_FALSE(lib.Loaded());
    EXPECT_NE(std::string::npos, lib.Error().find("libabsent.so")) << lib.Error();
    EXPECT_EQ(nullptr, lib.Symbol("ProbeAnswer"));
    SetLibraryDirectory("");
}

}  // namespace
}  // namespace platform
