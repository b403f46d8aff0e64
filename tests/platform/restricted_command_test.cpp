// Programs run for the configuration: exactly the environment given, their input fed, the
// error stream kept out when asked, output beyond the bound reported, and never as root.
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/restricted_command.h"

namespace platform {
namespace {

TEST(RestrictedCommand, GetsExactlyTheEnvironmentAndInputGivenAndErrorsOnlyWhenMerged) {
    RestrictedRun run;
    run.argv = {"/usr/bin/env"};
    run.env = {"A=1", "PATH=/bin"};
    RestrictedResult r = RunRestricted(run);
    ASSERT_TRUE(r.started) << r.error;
    EXPECT_EQ("A=1\nPATH=/bin\n", r.output);

    run.argv = {"/bin/cat"};
    run.input = std::string(300'000, 'x') + "end";  // more than a pipe holds
    run.maxOutput = 1'000'000;
    r = RunRestricted(run);
    EXPECT_EQ(run.input, r.output);
    EXPECT_FALSE(r.truncated);

    run.argv = {"/bin/sh", "-c", "echo out; echo err >&2"};
    run.input.clear();
    EXPECT_EQ("out\nerr\n", RunRestricted(run).output);
    run.mergeErrors = false;
    EXPECT_EQ("out\n", RunRestricted(run).output);

    run.argv = {"/usr/bin/yes"};
    run.maxOutput = 10'000;
    run.timeoutMs = 2'000;
    r = RunRestricted(run);
    EXPECT_TRUE(r.truncated);
    EXPECT_EQ(10'000u, r.output.size());
}

TEST(RestrictedCommand, ProgramsNeverRunAsRoot) {
    RestrictedRun run;
    run.argv = {"/usr/bin/id", "-u"};
    run.runAsUser = GatewayProgramAccount();
    const RestrictedResult r = RunRestricted(run);
    ASSERT_TRUE(r.started) << r.error;
    EXPECT_NE("0\n", r.output);
    run.runAsUser = "no-such-account-here";
    if (geteuid() == 0) {
        EXPECT_FALSE(RunRestricted(run).started);
    }
}

}  // namespace
}  // namespace platform
