// The link-library loader against real shared objects installed under their real file
// names in a temporary program directory.
#include "shell/core/link_libraries.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/dynlib.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"

namespace {

class LinkLibrariesTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = temp_.Path();
        ASSERT_FALSE(dir_.empty());
        log_ = dir_ + "calls.log";
        setenv("ZELLA_TEST_LINK_LOG", log_.c_str(), 1);
        for (const char* name : {"ZELLA_TEST_TLS_INIT", "ZELLA_TEST_TLS_CERT",
                                 "ZELLA_TEST_MMSC_INSTALLED", "ZELLA_TEST_MMSC_ACTIVE"}) {
            unsetenv(name);
        }
        platform::SetLibraryDirectory(dir_);
    }
    void TearDown() override {
        shell::FreeLinkLibraries();
        platform::SetLibraryDirectory("");
        unsetenv("ZELLA_TEST_LINK_LOG");
    }
    // Copies a built test library to its real file name in the program directory.
    std::string Install(const char* built, const char* logicalName) {
        std::string content;
        EXPECT_TRUE(platform::ReadFile(built, content)) << built;
        std::string path = dir_ + platform::SharedLibraryFileName(logicalName);
        EXPECT_TRUE(platform::WriteFileAtomic(path, content)) << path;
        return path;
    }
    std::vector<std::string> Calls() {
        std::string text;
        platform::ReadFile(log_, text);
        std::vector<std::string> lines;
        for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
             start = end + 1) {
            lines.push_back(text.substr(start, end - start));
        }
        return lines;
    }
    // Whether the dynamic loader still holds the file mapped.
    static bool IsMapped(const std::string& path) {
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (handle) dlclose(handle);
        return handle != nullptr;
    }

    zella_test::TempDir temp_{"linklibs"};
    std::string dir_;
    std::string log_;
};

TEST_F(LinkLibrariesTest, NoLibrariesMeansEverythingAbsentAndNoError) {
    shell::LoadLinkLibraries();
    EXPECT_EQ(shell::SmppLink(), nullptr);
    EXPECT_EQ(shell::UcpLink(), nullptr);
    EXPECT_EQ(shell::CimdLink(), nullptr);
    EXPECT_EQ(shell::MmscLink(), nullptr);
    EXPECT_EQ(shell::TlsLink(), nullptr);
    EXPECT_EQ(shell::WapLink(), nullptr);
    EXPECT_FALSE(shell::TlsAvailable());
    EXPECT_FALSE(shell::ServerCertificatePresent());
}

TEST_F(LinkLibrariesTest, CompleteLibrariesLoadAndGetTheirStartUpCalls) {
    Install(ZT_SMPP_COMPLETE, "SMPPLNK.DLL");
    Install(ZT_UCP_CIMD, "UCPLNK.DLL");
    Install(ZT_UCP_CIMD, "CIMDLNK.DLL");
    shell::LoadLinkLibraries();
    const shell::SmppLinkTable* smpp = shell::SmppLink();
    ASSERT_NE(smpp, nullptr);
    ASSERT_NE(shell::UcpLink(), nullptr);
    ASSERT_NE(shell::CimdLink(), nullptr);
    char text[32];
    EXPECT_EQ(smpp->SMPPErrorText(5, text, sizeof text), 12);
    EXPECT_STREQ(text, "test error 5");
    // UCP gets no debug-mode call at start-up.
    EXPECT_EQ(Calls(), (std::vector<std::string>{"SMPPSetDebugMode(1)", "CIMDSetDebugMode(1)"}));
}

TEST_F(LinkLibrariesTest, LibraryMissingARequiredFunctionIsFreedAndAbsent) {
    std::string path = Install(ZT_SMPP_INCOMPLETE, "SMPPLNK.DLL");
    shell::LoadLinkLibraries();
    EXPECT_EQ(shell::SmppLink(), nullptr);
    EXPECT_FALSE(IsMapped(path));
    EXPECT_TRUE(Calls().empty());
}

TEST_F(LinkLibrariesTest, LibraryOfTheWrongKindIsAbsent) {
    std::string path = Install(ZT_SMPP_COMPLETE, "TLSLNK.DLL");
    shell::LoadLinkLibraries();
    EXPECT_EQ(shell::TlsLink(), nullptr);
    EXPECT_FALSE(shell::TlsAvailable());
    EXPECT_FALSE(IsMapped(path));
}

TEST_F(LinkLibrariesTest, TlsInitThenCertificateQuerySetBothFlags) {
    Install(ZT_TLS, "TLSLNK.DLL");
    setenv("ZELLA_TEST_TLS_CERT", "1", 1);
    shell::LoadLinkLibraries();
    EXPECT_TRUE(shell::TlsAvailable());
    EXPECT_TRUE(shell::ServerCertificatePresent());
    EXPECT_EQ(Calls(), (std::vector<std::string>{"sslInitLib", "sslServerCertExists"}));
}

TEST_F(LinkLibrariesTest, TlsWithoutCertificateIsAvailableOnly) {
    Install(ZT_TLS, "TLSLNK.DLL");
    shell::LoadLinkLibraries();
    EXPECT_TRUE(shell::TlsAvailable());
    EXPECT_FALSE(shell::ServerCertificatePresent());
    shell::SetServerCertificatePresent(true);
    EXPECT_TRUE(shell::ServerCertificatePresent());
}

TEST_F(LinkLibrariesTest, FailedTlsInitLeavesTlsUnavailableAndSkipsCertificateQuery) {
    Install(ZT_TLS, "TLSLNK.DLL");
    setenv("ZELLA_TEST_TLS_INIT", "0", 1);
    setenv("ZELLA_TEST_TLS_CERT", "1", 1);
    shell::LoadLinkLibraries();
    EXPECT_NE(shell::TlsLink(), nullptr);
    EXPECT_FALSE(shell::TlsAvailable());
    EXPECT_FALSE(shell::ServerCertificatePresent());
    EXPECT_EQ(Calls(), std::vector<std::string>{"sslInitLib"});
    shell::FreeLinkLibraries();
    // No sslTermLib for a library that never initialised.
    EXPECT_EQ(Calls(), std::vector<std::string>{"sslInitLib"});
}

TEST_F(LinkLibrariesTest, LazyLibraryIsTriedOnlyOncePerRun) {
    EXPECT_EQ(shell::WapLink(), nullptr);
    Install(ZT_WAP, "WAPLNK.DLL");
    EXPECT_EQ(shell::WapLink(), nullptr) << "a second request must not load again";
    shell::FreeLinkLibraries();
    const shell::WapLinkTable* wap = shell::WapLink();
    ASSERT_NE(wap, nullptr);
    EXPECT_EQ(shell::WapLink(), wap);
}

TEST_F(LinkLibrariesTest, WapLibraryThatReportsItselfUnavailableIsFreedAndAbsent) {
    std::string path = Install(ZT_WAP, "WAPLNK.DLL");
    setenv("ZELLA_TEST_WAP_UNAVAILABLE", "1", 1);
    EXPECT_EQ(shell::WapLink(), nullptr);
    unsetenv("ZELLA_TEST_WAP_UNAVAILABLE");
    EXPECT_FALSE(IsMapped(path));
    EXPECT_EQ(shell::WapLink(), nullptr) << "tried once per run";
    shell::FreeLinkLibraries();
    EXPECT_NE(shell::WapLink(), nullptr);
}

TEST_F(LinkLibrariesTest, LazyLibraryLoadedOnceStaysAfterItsFileIsGone) {
    std::string path = Install(ZT_WAP, "WAPLNK.DLL");
    const shell::WapLinkTable* wap = shell::WapLink();
    ASSERT_NE(wap, nullptr);
    ASSERT_TRUE(platform::DeleteFileChecked(path));
    EXPECT_EQ(shell::WapLink(), wap);
    EXPECT_EQ(wap->ModemAllocate("Test Modem", 30, nullptr), 7);
}

TEST_F(LinkLibrariesTest, OptionalFunctionsAreFilledWhenPresentAndNullOtherwise) {
    Install(ZT_WAP, "WAPLNK.DLL");
    const shell::WapLinkTable* wap = shell::WapLink();
    ASSERT_NE(wap, nullptr);
    EXPECT_NE(wap->ModemReset, nullptr);
    EXPECT_EQ(wap->ModemGetCIDForAPN, nullptr);
    EXPECT_EQ(wap->ModemDriverUpdateInitStrings, nullptr);
    EXPECT_EQ(wap->WSPRasGetErrorString, nullptr);
    std::vector<std::string> items;
    wap->RasLoadListOrComboBox(&items, 3, [](void* context, int, const char* text) {
        static_cast<std::vector<std::string>*>(context)->push_back(text);
    });
    EXPECT_EQ(items, std::vector<std::string>{"Modem: Test Modem"});
}

TEST_F(LinkLibrariesTest, FreeUnmapsEveryLibraryAndTerminatesTls) {
    std::string smpp = Install(ZT_SMPP_COMPLETE, "SMPPLNK.DLL");
    std::string tls = Install(ZT_TLS, "TLSLNK.DLL");
    std::string mmsc = Install(ZT_MMSC, "MMSCLNK.DLL");
    shell::LoadLinkLibraries();
    ASSERT_NE(shell::MmscLink(), nullptr);
    EXPECT_TRUE(IsMapped(smpp));
    EXPECT_TRUE(IsMapped(tls));
    EXPECT_TRUE(IsMapped(mmsc));
    shell::FreeLinkLibraries();
    EXPECT_FALSE(IsMapped(smpp));
    EXPECT_FALSE(IsMapped(tls));
    EXPECT_FALSE(IsMapped(mmsc));
    EXPECT_EQ(shell::SmppLink(), nullptr);
    EXPECT_FALSE(shell::TlsAvailable());
    EXPECT_EQ(Calls().back(), "sslTermLib");
}

TEST_F(LinkLibrariesTest, MmscQueriesLoadTheirOwnCopyAndFreeIt) {
    std::string path = Install(ZT_MMSC, "MMSCLNK.DLL");
    setenv("ZELLA_TEST_MMSC_INSTALLED", "1", 1);
    setenv("ZELLA_TEST_MMSC_ACTIVE", "0", 1);
    shell::MmscServiceState state = shell::QueryMmscService();
    EXPECT_TRUE(state.available);
    EXPECT_TRUE(state.installed);
    EXPECT_FALSE(state.active);
    EXPECT_FALSE(IsMapped(path));
    EXPECT_EQ(shell::CallMmscServiceQuery("IsMMSCServiceInstalled"), 1);
    EXPECT_EQ(shell::CallMmscServiceQuery("IsMMSCServiceActive"), 0);
    EXPECT_EQ(shell::CallMmscServiceQuery("NoSuchQuery"), -1);
    EXPECT_FALSE(IsMapped(path));
}

TEST_F(LinkLibrariesTest, MmscQueryOnStartUpCopyLeavesThatCopyLoaded) {
    std::string path = Install(ZT_MMSC, "MMSCLNK.DLL");
    shell::LoadLinkLibraries();
    ASSERT_NE(shell::MmscLink(), nullptr);
    setenv("ZELLA_TEST_MMSC_ACTIVE", "1", 1);
    EXPECT_EQ(shell::CallMmscServiceQuery("IsMMSCServiceActive"), 1);
    EXPECT_TRUE(IsMapped(path));
    EXPECT_EQ(shell::MmscLink()->InstallMMSCService(1), 1);
}

TEST_F(LinkLibrariesTest, MmscQueriesWithoutTheLibraryAreUnavailable) {
    shell::MmscServiceState state = shell::QueryMmscService();
    EXPECT_FALSE(state.available);
    EXPECT_FALSE(state.installed);
    EXPECT_EQ(shell::CallMmscServiceQuery("IsMMSCServiceInstalled"), -1);
    Install(ZT_SMPP_COMPLETE, "MMSCLNK.DLL");
    EXPECT_FALSE(shell::QueryMmscService().available);
}

TEST_F(LinkLibrariesTest, MmscCommandRunsOnlyWhenEveryNamedFunctionIsPresent) {
    Install(ZT_MMSC, "MMSCLNK.DLL");
    const char* const present[] = {"InstallMMSCService", "RemoveMMSCService", nullptr};
    const char* const missing[] = {"InstallMMSCService", "NoSuchFunction", nullptr};
    EXPECT_EQ(shell::CallMmscServiceCommand("StartMMSCService", 0, present), 1);
    EXPECT_EQ(shell::CallMmscServiceCommand("StopMMSCService", 0, missing), -1);
    EXPECT_EQ(Calls(), std::vector<std::string>{"StartMMSCService(0)"});
}

TEST_F(LinkLibrariesTest, SecondStartUpLoadKeepsTheTablesAndRepeatsNoCalls) {
    Install(ZT_SMPP_COMPLETE, "SMPPLNK.DLL");
    shell::LoadLinkLibraries();
    const shell::SmppLinkTable* first = shell::SmppLink();
    shell::LoadLinkLibraries();
    EXPECT_EQ(shell::SmppLink(), first);
    EXPECT_EQ(Calls(), std::vector<std::string>{"SMPPSetDebugMode(1)"});
}

}  // namespace
