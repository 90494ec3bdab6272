// The agent with the queues' default codes in the desktop's keyring, a Secret Service of the
// test's own (GNOME Keyring on a session bus of its own) so that nothing touches the machine's:
// a job printed with lp is released with the codes the keyring keeps, a locked keyring whose
// unlock prompt the person dismisses leaves the jobs held saying why, and a keyring that does not
// answer keeps the agent from ending no longer than any other wait.
#include "agent/tests/AgentSessionTest.h"
#include "queues/keyring/tests/PrivateSecretService.h"
#include "tests/support/RunningProgram.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class AgentWithKeyring : public AgentSessionTest {
protected:
    static void SetUpTestSuite()
    {
        startHoldingServer(PrivateCupsServer::JobOwners::Authenticated);
        addHoldingQueue("lumio-codes-hold", "lumio-codes");
    }

    void SetUp() override
    {
        AgentSessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        if (std::string why = PrivateSecretService::unavailable(); !why.empty())
            GTEST_SKIP() << why;
        std::string error;
        ASSERT_TRUE(m_keyring.startBus(&error) && m_keyring.startKeyring(&error)) << error;
        // The person stores the queue's default codes, which go to the keyring.
        configure("movra-hold", kSaveDefaultCodes, { m_keyring.busVariable() });
        ASSERT_EQ(fileContents(storedFile("movra-hold")).find("SECRET"), std::string::npos);
    }

    ProgramOptions keyringSession() const
    {
        ProgramOptions options = session();
        options.environment.push_back(m_keyring.busVariable());
        return options;
    }

    PrivateSecretService m_keyring { m_home };
};

TEST_F(AgentWithKeyring, AJobFromLpIsReleasedWithTheCodesTheKeyringKeeps)
{
    int job = lp("movra-hold", { "-t", "report.pdf" });
    ASSERT_GT(job, 0);
    ProgramRun run = checked(runProgram(agentCommand({ "--once" }), keyringSession()));
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, prefix(job, "movra-hold") + "released\n");
    EXPECT_EQ(run.errors, "");
    EXPECT_EQ(gServer->jobAttribute(job, "job-accounting-user-id"), "alice-SECRET");
    EXPECT_EQ(gServer->jobAttribute(job, "job-account-id"), "4711-SECRET");
    for (const char* code : { "alice-SECRET", "4711-SECRET" })
        EXPECT_EQ(m_home.filesHolding(code), std::vector<std::string> {}) << code;

    // A queue whose printer asks for a code of its own keeps it in the keyring too.
    configure("lumio-codes-hold", "check prompt off\ntype UserCode \"97531\"\nclick Save\n", { m_keyring.busVariable() });
    int coded = lp("lumio-codes-hold");
    ProgramRun codedRun = runProgram(agentCommand({ "--once" }), keyringSession());
    EXPECT_EQ(codedRun.output, prefix(coded, "lumio-codes-hold") + "released\n") << codedRun.errors;
    EXPECT_NE(gServer->driverOptions(coded).find("UserCode=Custom.97531"), std::string::npos) << gServer->driverOptions(coded);
    EXPECT_EQ(m_home.filesHolding("97531"), std::vector<std::string> {});
}

TEST_F(AgentWithKeyring, ALockedKeyringWhoseUnlockIsDismissedLeavesTheJobsHeldSayingWhy)
{
    ASSERT_TRUE(m_keyring.lockDefaultKeyring());
    int job = lp("movra-hold");
    int next = lp("movra-hold");
    ASSERT_GT(job, 0);
    ASSERT_GT(next, 0);
    ProgramRun run = checked(runProgram(agentCommand({ "--once" }), keyringSession()));
    EXPECT_EQ(run.exitStatus, 2) << run.errors;
    const std::string why = "left held: its queue's stored settings cannot be read\n";
    EXPECT_EQ(run.output, prefix(job, "movra-hold") + why + prefix(next, "movra-hold") + why);
    char server[PATH_MAX];
    ASSERT_TRUE(realpath(gServer->socket().c_str(), server));
    EXPECT_EQ(run.errors, "accounting-agent: the codes for movra-hold on " + std::string(server) + " could not be read from the keyring: the keyring that holds them is locked, and the unlock prompt was dismissed\n")
        << "the unlock prompt comes up once, not for every job";
    EXPECT_EQ(state(job), "pending-held");
    EXPECT_EQ(state(next), "pending-held");
    EXPECT_EQ(gServer->jobAttribute(job, "job-accounting-user-id"), "");
}

TEST_F(AgentWithKeyring, SIGTERMEndsTheAgentWithinASecondWhileTheKeyringDoesNotAnswer)
{
    m_keyring.pauseKeyring();
    int job = lp("movra-hold");
    ASSERT_GT(job, 0);
    RunningProgram agent(agentCommand({}), keyringSession());
    // Long enough to list the job, fetch its printer's PPD and ask the keyring, which never answers.
    std::this_thread::sleep_for(700ms);
    auto sent = Clock::now();
    agent.sendSignal(SIGTERM);
    ProgramRun run = checked(agent.finish());
    EXPECT_LT(Clock::now() - sent, 1s);
    m_keyring.resumeKeyring();
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, "") << "the job is neither released nor left with a reason";
    EXPECT_EQ(state(job), "pending-held");
}

}
