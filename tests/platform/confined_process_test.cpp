// Programs run for the configuration: exactly the environment given, their input fed and
// their output collected within bounds, and never as root.
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/confined_process.h"

namespace platform {
namespace {

TEST(ConfinedProcess, GetsExactlyTheEnvironmentAndInputGiven) {
    ConfinedRun run;
    run.argv = {"/usr/bin/env"};
    run.environment = {"A=1", "PATH=/bin"};
    ConfinedResult r = RunConfined(run);
    ASSERT_TRUE(r.started) << r.error;
    EXPECT_EQ(0, r.exitCode);
    EXPECT_EQ("A=1\nPATH=/bin\n", r.output);

    run.argv = {"/bin/cat"};
    run.input = std::string(300'000, 'x') + "end";  // more than a pipe holds
    r = RunConfined(run);
    EXPECT_EQ(run.input, r.output);
    EXPECT_FALSE(r.truncated);
}

TEST(ConfinedProcess, EndlessOutputAndEndlessRunsAreCutOff) {
    ConfinedRun run;
    run.argv = {"/usr/bin/yes"};
    run.outputLimit = 10'000;
    ConfinedResult r = RunConfined(run);
    EXPECT_TRUE(r.truncated);
    EXPECT_EQ(10'000u, r.output.size());
    run.argv = {"/bin/sleep", "30"};
    run.timeoutMs = 200;
    r = RunConfined(run);
    EXPECT_TRUE(r.timedOut);
    EXPECT_NE(0, r.exitCode);
}

TEST(ConfinedProcess, ProgramsNeverRunAsRootAndARelativePathIsRefused) {
    ConfinedRun run;
    run.argv = {"/usr/bin/id", "-u"};
    const ConfinedResult r = RunConfined(run);
    ASSERT_TRUE(r.started) << r.error;
    EXPECT_NE("0\n", r.output);
    if (geteuid() == 0) {
        EXPECT_FALSE(ConfinedAccountName().empty());
    }
    run.argv = {"id"};
    EXPECT_FALSE(RunConfined(run).started);
}

}  // namespace
}  // namespace platform
