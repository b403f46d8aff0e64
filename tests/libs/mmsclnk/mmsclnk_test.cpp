// libmmsclnk.so: its function table as the console looks it up, the MMSC service
// commands against the stand-in, and the VASP account registry.
#include "mmsclnk/mmsclnk.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "platform/dynlib.h"
#include "platform/ini.h"
#include "platform/shared_memory.h"
#include "tests/support/service_fixture.h"

namespace services_test {
namespace {

class MmscLibrary : public ServiceFixture {};

TEST_F(MmscLibrary, ExportsEveryFunctionTheConsoleLooksUp) {
    platform::DynamicLibrary library;
    ASSERT_TRUE(library.LoadPath(std::string(ZELLA_BIN_DIR) + "/libmmsclnk.so")) << library.Error();
    for (const char* name :
         {"MMSConfigAddPropertySheetPages", "MMSConfigGetNumberOfPropertySheetPages",
          "RemoveMMSCService", "InstallMMSCService", "StopMMSCService", "StartMMSCService",
          "RestartMMSCService", "IsMMSCServiceInstalled", "IsMMSCServiceActive",
          "VASPOutAddUser", "VASPOutDeleteUser"}) {
        EXPECT_NE(nullptr, library.Symbol(name)) << name;
    }
}

TEST_F(MmscLibrary, AddsNoPages) {
    EXPECT_EQ(0, MMSConfigGetNumberOfPropertySheetPages());
    int count = 6;
    EXPECT_EQ(0, MMSConfigAddPropertySheetPages(nullptr, &count));
    EXPECT_EQ(6, count);
}

TEST_F(MmscLibrary, ServiceCommandsDriveTheMmscService) {
    EXPECT_EQ(0, IsMMSCServiceInstalled());
    ASSERT_EQ(1, InstallMMSCService(1));
    EXPECT_EQ(1, IsMMSCServiceInstalled());
    EXPECT_TRUE(Eventually([] { return platform::ReadMmscStatus().opened; }));
    EXPECT_EQ(1, IsMMSCServiceActive());
    EXPECT_EQ(1, StopMMSCService(1));
    EXPECT_EQ(0, IsMMSCServiceActive());
    EXPECT_EQ(1, StartMMSCService(1));
    EXPECT_EQ(1, IsMMSCServiceActive());
    EXPECT_EQ(1, RemoveMMSCService(1));
    EXPECT_EQ(0, IsMMSCServiceInstalled());
    EXPECT_FALSE(platform::ReadMmscStatus().opened);
}

TEST_F(MmscLibrary, MmscPortTakenByAnotherProgramIsReportedInItsBlock) {
    // This test process holds the port first.
    int holder = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ASSERT_EQ(0, listen(holder, 1));
    socklen_t length = sizeof address;
    getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
    platform::WritePrivateProfileString(dataDir_ + "MMSC.INI", "MMSC", "SMTPPort",
                                        std::to_string(ntohs(address.sin_port)));
    ASSERT_EQ(1, InstallMMSCService(1));
    // The service creates its block first and marks the ports it could not open after.
    EXPECT_TRUE(Eventually([] { return platform::ReadMmscStatus().smtpPortInUse; }));
    EXPECT_FALSE(platform::ReadMmscStatus().httpPortInUse);
    close(holder);
}

TEST_F(MmscLibrary, CommandLineWithoutRightsFailsWithoutReRunning) {
    setenv("ZELLA_PKEXEC", "/nonexistent/pkexec", 1);
    ASSERT_TRUE(platform::WriteFileAtomic(dataDir_ + "SERVICES", ""));
    EXPECT_EQ(0, InstallMMSCService(1));
    EXPECT_EQ(0, StartMMSCService(1));
    EXPECT_EQ(1, RemoveMMSCService(1));  // nothing installed, nothing to remove
    unsetenv("ZELLA_PKEXEC");
}

TEST_F(MmscLibrary, VaspAccountsAreRecordedUnderTheVaspConfigurationDirectory) {
    ASSERT_EQ(1, VASPOutAddUser("phone1"));
    EXPECT_TRUE(platform::DirectoryExists(dataDir_ + "VASPOUT/phone1/"));
    EXPECT_EQ("Yes", platform::GetPrivateProfileString(dataDir_ + "VASPOUT.INI", "VASPOut",
                                                       "phone1", ""));
    ASSERT_EQ(1, VASPOutDeleteUser("phone1"));
    EXPECT_EQ("", platform::GetPrivateProfileString(dataDir_ + "VASPOUT.INI", "VASPOut",
                                                    "phone1", ""));
}

TEST_F(MmscLibrary, VaspAccountNamesThatLeaveTheirDirectoryAreRefused) {
    for (const char* bad : {"", ".", "..", "../x", "a/b", "a\\b", "a=b", "a\nb"}) {
        EXPECT_EQ(0, VASPOutAddUser(bad)) << bad;
    }
    EXPECT_EQ(0, VASPOutAddUser(nullptr));
    EXPECT_FALSE(platform::PathExists(dataDir_ + "x"));
    EXPECT_FALSE(platform::PathExists(dataDir_ + "VASPOUT.INI"));
}

}  // namespace
}  // namespace services_test
