// The agent with a person's prompt up, against a private CUPS server: the prompt holds up no job
// that needs nobody, the jobs that need the person come up one after another, a prompt whose job
// went meanwhile closes with a line, and a job whose account the printer refused asks the person
// again until it prints. The person is a script typed into the agent's standard input as the test
// goes.
#include "tests/cups/AccountCheckingPrinter.h"
#include "agent/tests/AgentSessionTest.h"
#include "tests/support/RunningProgram.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

using namespace std::chrono_literals;

// The agent watching, its prompts answered by what the test types.
class AgentWithAPerson : public AgentSessionTest {
protected:
    RunningProgram watch() const { return RunningProgram(agentCommand({ "--script", "-" }), session()); }

    static ProgramRun stop(RunningProgram& agent)
    {
        agent.sendSignal(SIGTERM);
        ProgramRun run = checked(agent.finish());
        EXPECT_EQ(run.exitStatus, 0) << run.errors;
        return run;
    }
};

class AgentWithAPromptUp : public AgentWithAPerson {
protected:
    static void SetUpTestSuite()
    {
        startHoldingServer(PrivateCupsServer::JobOwners::Authenticated);
        addHoldingQueue("movra-stored");
    }
};

TEST_F(AgentWithAPromptUp, JobsThatNeedNobodyGoAtOnceAndTheOthersComeUpOneAfterAnother)
{
    configure("movra-stored", kSaveDefaultCodes);
    RunningProgram agent = watch();
    int first = lp("movra-hold", { "-t", "first.pdf" });
    ASSERT_TRUE(agent.waitForOutput(prefix(first, "movra-hold") + "prompt: Accounting\n"));

    int waiting = lp("movra-hold", { "-t", "second.pdf" });
    auto submitted = std::chrono::steady_clock::now();
    int stored = lp("movra-stored");
    ASSERT_TRUE(agent.waitForOutput(prefix(stored, "movra-stored") + "released\n"));
    EXPECT_LT(std::chrono::steady_clock::now() - submitted, 1s) << "the prompt up holds up no job that needs nobody";
    EXPECT_EQ(state(waiting), "pending-held");

    agent.type(kAnswerPrompt);
    ASSERT_TRUE(agent.waitForOutput(prefix(waiting, "movra-hold") + "prompt: Accounting\n")) << "the next prompt once the first is answered";
    agent.type(kAnswerPrompt);
    ASSERT_TRUE(agent.waitForOutput(prefix(waiting, "movra-hold") + "released\n"));
    ProgramRun run = stop(agent);
    EXPECT_EQ(run.output,
        prefix(first, "movra-hold") + "prompt: Accounting\n" + prefix(stored, "movra-stored") + "released\n" + prefix(first, "movra-hold")
            + "released\n" + prefix(waiting, "movra-hold") + "prompt: Accounting\n" + prefix(waiting, "movra-hold") + "released\n");
    for (int job : { first, waiting })
        EXPECT_EQ(gServer->jobAttribute(job, "job-accounting-user-id"), "bob-SECRET");
}

TEST_F(AgentWithAPromptUp, PromptsWhoseJobsWereCancelledElsewhereCloseOrNeverComeUpAndTheNextJobGetsTheAnswer)
{
    configure("movra-stored", kSaveDefaultCodes);
    RunningProgram agent = watch();
    int cancelled = lp("movra-hold");
    ASSERT_TRUE(agent.waitForOutput(prefix(cancelled, "movra-hold") + "prompt: Accounting\n"));
    // A second job waits for its prompt: the agent has seen it once a job printed after it is
    // released.
    int waiting = lp("movra-hold");
    int stored = lp("movra-stored");
    ASSERT_TRUE(agent.waitForOutput(prefix(stored, "movra-stored") + "released\n"));
    for (int job : { waiting, cancelled }) {
        ProgramRun cancel = runProgram({ "/usr/bin/cancel", "-h", gServer->socket(), std::to_string(job) });
        ASSERT_EQ(cancel.exitStatus, 0) << cancel.errors;
    }
    EXPECT_TRUE(agent.waitForOutput(
        prefix(cancelled, "movra-hold") + "its prompt closed: the job was printed, cancelled or released elsewhere meanwhile\n"));

    int next = lp("movra-hold");
    ASSERT_TRUE(agent.waitForOutput(prefix(next, "movra-hold") + "prompt: Accounting\n"));
    agent.type(kAnswerPrompt);
    EXPECT_TRUE(agent.waitForOutput(prefix(next, "movra-hold") + "released\n"));
    ProgramRun run = stop(agent);
    EXPECT_EQ(run.output.find(prefix(waiting, "movra-hold")), std::string::npos) << "the job cancelled while it waited is never asked for: " << run.output;
    EXPECT_EQ(gServer->jobAttribute(next, "job-account-id"), "77-SECRET");
}

// A Movra printer on the network, reached through CUPS's ipp backend, that takes one account.
const AccountCheckingPrinter::Codes kGoodCodes { "dana-SECRET", "K-17-SECRET" };
const std::string kAnswerWithGoodCodes = "dump\ntype 501 \"dana-SECRET\"\ntype 503 \"K-17-SECRET\"\nclick 1000\n";

struct Refusal {
    const char* name;
    ipp_status_t status;
    // What the person reads of it.
    const char* reason;
};

void PrintTo(const Refusal& refusal, std::ostream* out)
{
    *out << refusal.name;
}

class AgentWithARefusingPrinter : public AgentWithAPerson, public ::testing::WithParamInterface<Refusal> {
protected:
    static void SetUpTestSuite() { startHoldingServer(PrivateCupsServer::JobOwners::Authenticated); }

    void SetUp() override
    {
        AgentWithAPerson::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(m_printer.start(kGoodCodes, GetParam().status));
        ASSERT_TRUE(gServer->addNetworkQueue("movra-network", m_printer.device(), PrivateCupsServer::JobHold::Indefinite));
    }

    void TearDown() override
    {
        AgentWithAPerson::TearDown();
        if (gServer)
            gServer->removeQueue("movra-network");
    }

    // The second prompt's look: the printer's words above the codes, which are left empty.
    static void expectAskedAgain(const std::string& output, int job)
    {
        std::string line = prefix(job, "movra-network");
        EXPECT_NE(output.find(line + "the printer refused the account: " + GetParam().reason + "\n"), std::string::npos) << output;
        EXPECT_NE(output.find("The printer refused the codes this print went with: " + std::string(GetParam().reason) + "."), std::string::npos)
            << output;
        for (const char* field : { "control 501 edit-text", "control 503 edit-text" }) {
            size_t shown = output.find(line + field);
            ASSERT_NE(shown, std::string::npos) << output;
            EXPECT_NE(output.substr(shown, output.find('\n', shown) - shown).find("(concealed, 0 characters)"), std::string::npos)
                << "the refused code is not filled in: " << output;
        }
    }

    AccountCheckingPrinter m_printer;
};

TEST_P(AgentWithARefusingPrinter, TheRefusedJobIsAskedForAgainInThePrintersWordsAndPrintsWithTheNewCodes)
{
    configure("movra-hold", kSaveDefaultCodes);
    RunningProgram agent = watch();
    int job = lp("movra-network", { "-t", "report.pdf" });
    ASSERT_TRUE(agent.waitForOutput(prefix(job, "movra-network") + "prompt: Accounting\n"));
    agent.type(kAnswerPrompt);
    ASSERT_TRUE(agent.waitForOutput(prefix(job, "movra-network") + "the printer refused the account: ")) << "asked again";
    // Another job comes while the refused one's prompt is up: the refused job is still the
    // person's to answer.
    int other = lp("movra-hold");
    ASSERT_TRUE(agent.waitForOutput(prefix(other, "movra-hold") + "released\n"));
    agent.type(kAnswerWithGoodCodes);
    EXPECT_TRUE(gServer->awaitJobState(job, "completed")) << gServer->jobAttribute(job, "job-state");
    ProgramRun run = stop(agent);
    expectAskedAgain(run.output, job);
    using ReceivedJob = AccountCheckingPrinter::ReceivedJob;
    EXPECT_EQ(m_printer.receivedJobs(), (std::vector<ReceivedJob> { { { "bob-SECRET", "77-SECRET" }, false }, { kGoodCodes, true } }));
}

TEST_P(AgentWithARefusingPrinter, RefusedStoredCodesAreNotSentAgainButTheNewOnesAreAskedFor)
{
    configure("movra-network", kSaveDefaultCodes);
    RunningProgram agent = watch();
    int job = lp("movra-network");
    ASSERT_TRUE(agent.waitForOutput(prefix(job, "movra-network") + "prompt: Accounting\n")) << "asked, not sent again";
    agent.type(kAnswerWithGoodCodes);
    EXPECT_TRUE(gServer->awaitJobState(job, "completed")) << gServer->jobAttribute(job, "job-state");
    ProgramRun run = stop(agent);
    EXPECT_EQ(run.output.rfind(prefix(job, "movra-network") + "prompt: Accounting\n"), run.output.find(prefix(job, "movra-network") + "prompt: Accounting\n"))
        << "asked once, after the refusal: " << run.output;
    expectAskedAgain(run.output, job);
    using ReceivedJob = AccountCheckingPrinter::ReceivedJob;
    EXPECT_EQ(m_printer.receivedJobs(), (std::vector<ReceivedJob> { { { "alice-SECRET", "4711-SECRET" }, false }, { kGoodCodes, true } }));
}

INSTANTIATE_TEST_SUITE_P(AccountStatuses, AgentWithARefusingPrinter,
    ::testing::Values(Refusal { "AuthorizationFailed", IPP_STATUS_ERROR_CUPS_ACCOUNT_AUTHORIZATION_FAILED, "the account was not authorized" },
        Refusal { "InfoNeeded", IPP_STATUS_ERROR_CUPS_ACCOUNT_INFO_NEEDED, "account information is needed" },
        Refusal { "Closed", IPP_STATUS_ERROR_CUPS_ACCOUNT_CLOSED, "the account is closed" },
        Refusal { "LimitReached", IPP_STATUS_ERROR_CUPS_ACCOUNT_LIMIT_REACHED, "the account's limit is reached" }),
    [](const auto& info) { return std::string(info.param.name); });

}
