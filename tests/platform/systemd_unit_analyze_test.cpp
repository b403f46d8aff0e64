// The unit the console writes, checked by systemd's own analyser: it must load without a
// complaint, even for paths systemd would otherwise split or expand, and its sandbox must
// keep the exposure systemd reports low.
#include <sys/stat.h>

#include <cstdlib>
#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/process.h"
#include "platform/service_manager.h"
#include "tests/support/temp_dir.h"

namespace {

// The exposure systemd reports for a unit without any sandbox is about 9.6; the
// template's must stay well below.
constexpr double kHighestExposure = 2.5;

class UnitAnalysis : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = temp_.Path();
        ASSERT_FALSE(dir_.empty());
        // An ExecStart= that does not exist is an error of its own for the analyser.
        programDir_ = dir_ + "Quv SMS 100%/";
        ASSERT_TRUE(platform::CreateDirectories(programDir_));
        ASSERT_TRUE(platform::WriteFileAtomic(programDir_ + "zellant", "#!/bin/sh\nexit 0\n"));
        chmod((programDir_ + "zellant").c_str(), 0755);
    }

    std::string WriteUnit(const platform::UnitEnvironment& environment) {
        std::string path = dir_ + "QuvSMS.service";
        std::string text = platform::SystemdUnitText(
            {"QuvSMS", "Quv SMS/MMS Gateway", programDir_ + "zellant"}, environment);
        EXPECT_TRUE(platform::WriteFileAtomic(path, text));
        return path;
    }

    zella_test::TempDir temp_{"unit"};
    std::string dir_;
    std::string programDir_;
};

TEST_F(UnitAnalysis, SystemdLoadsTheUnitWithoutAComplaint) {
    std::string unit = WriteUnit({dir_ + "data 50%/", "test.ns"});
    std::string output;
    int rc = platform::RunAndWait({"systemd-analyze", "verify", "--man=no", unit}, 60000, &output);
    EXPECT_EQ(0, rc) << output;
    EXPECT_EQ("", output) << "systemd-analyze verify printed warnings";
}

TEST_F(UnitAnalysis, SandboxKeepsTheExposureLowAndTheServiceOffRoot) {
    std::string unit = WriteUnit({"/var/lib/quvsms/", ""});
    std::string output;
    int rc = platform::RunAndWait({"systemd-analyze", "security", "--offline=yes", "--no-pager", unit},
                                  60000, &output);
    ASSERT_EQ(0, rc) << output;
    const std::string mark = "Overall exposure level for QuvSMS.service: ";
    std::size_t at = output.find(mark);
    ASSERT_NE(std::string::npos, at) << output;
    double exposure = std::strtod(output.c_str() + at + mark.size(), nullptr);
    EXPECT_GT(exposure, 0.0) << output;
    EXPECT_LE(exposure, kHighestExposure) << output;
    // Lines of settings that are fine start with a check mark.
    EXPECT_NE(std::string::npos, output.find("\u2713 User=/DynamicUser=")) << output;
    EXPECT_NE(std::string::npos, output.find("\u2713 NoNewPrivileges=")) << output;
    EXPECT_NE(std::string::npos, output.find("\u2713 PrivateTmp=")) << output;
}

}  // namespace
