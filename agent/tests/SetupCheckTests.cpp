// accounting-agent --check, and the word a desktop gets of a job left waiting, against a private CUPS server of the README's policy, as a person or an
// administrator runs it on a desktop: each problem is a line that says what to do, facts say how
// things stand, nothing secret is said, and the exit status says whether anything is wrong.
#include "agent/tests/AgentSessionTest.h"
#include "tests/cups/NotificationService.h"
#include "tests/support/RunningProgram.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

class SetupCheck : public AgentSessionTest {
protected:
    static void SetUpTestSuite() { startHoldingServer(PrivateCupsServer::JobOwners::Authenticated); }

    static void expectSays(const ProgramRun& run, const std::vector<std::string>& lines)
    {
        for (const std::string& line : lines)
            EXPECT_NE(run.output.find(line + "\n"), std::string::npos) << "says \"" << line << "\" in:\n"
                                                                       << run.output;
    }
};

TEST_F(SetupCheck, EachProblemIsALineThatSaysWhatToDoUntilNothingIsWrong)
{
    const std::string server = "Server: the CUPS server at " + gServer->socket();
    int held = lp("movra-hold", { "-t", "report.pdf" });
    ASSERT_GT(held, 0);
    const std::string heldLine = "  Job " + std::to_string(held) + " on movra-hold, \u201Creport.pdf\u201D: ";

    configure("movra", "show\nchoose 100 3\nprint\n");
    ProgramRun nothingSetUp = check();
    EXPECT_EQ(nothingSetUp.exitStatus, 1) << nothingSetUp.errors;
    expectSays(nothingSetUp,
        { server, "  Reached through its socket " + gServer->socket() + " on this computer: it knows you by your login.",
            "  problem: No accounting agent runs for you on this server, so your held jobs wait: log in again, or run \u201Csystemctl --user start "
            "accounting-agent\u201D.",
            "Queue movra-hold", "  A Movra printer: the Accounting pane asks for a User ID and an Account ID.",
            "  It holds new jobs until the agent releases them.", "  It makes and shows jobs only for those who prove who they are.",
            "  Nothing stored: the codes are asked for with each print.", "Queue movra",
            "  problem: The queue movra does not hold new jobs, so they print without codes: an administrator runs \u201Clpadmin -p movra -o "
            "job-hold-until-default=indefinite\u201D.",
            "  Your settings (" + storedFile("movra") + "): the codes are asked for with each print.",
            heldLine + "it waits for an accounting agent", "Problems found: 2." });

    // The agent runs in a desktop session whose notification service tells the person of the job
    // it leaves waiting.
    configure("movra-hold", kSaveNoCodes);
    NotificationService desktop;
    std::string error;
    ASSERT_TRUE(desktop.start(gServer->busAddress(), &error)) << error;
    ProgramOptions onTheDesktop = session();
    onTheDesktop.environment.push_back({ "DBUS_SESSION_BUS_ADDRESS", gServer->busAddress() });
    RunningProgram agent(agentCommand({}), onTheDesktop);
    ASSERT_TRUE(agent.waitForOutput(prefix(held, "movra-hold") + "left held: a default code is missing"));
    std::vector<NotificationService::Notice> told = desktop.notices(1);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].application, "accounting-agent");
    EXPECT_EQ(told[0].summary, "\u201Creport.pdf\u201D waits on movra-hold");
    EXPECT_EQ(told[0].body,
        "The accounting agent left it held: a default code is missing; it is offered again when the queue's settings change. \u201Caccounting-agent "
        "--check\u201D tells more.");
    ProgramRun codeMissing = check();
    EXPECT_EQ(codeMissing.exitStatus, 1);
    expectSays(codeMissing,
        { "  An accounting agent runs for you on this server (process " + std::to_string(agent.pid()) + ").",
            "  Your settings (" + storedFile("movra-hold") + "): your default codes go with each print, kept in that file.",
            "  problem: A default code for movra-hold is missing, so its jobs wait: \u201Cprintdialog --configure --printer movra-hold\u201D sets it.",
            heldLine + "the agent says \u201Cleft held: a default code is missing; it is offered again when the queue's settings change\u201D",
            "Problems found: 2." });

    configure("movra-hold", kSaveDefaultCodes);
    ASSERT_TRUE(agent.waitForOutput(prefix(held, "movra-hold") + "released\n"));
    ASSERT_TRUE(gServer->removeQueue("movra"));
    ProgramRun fine = check();
    EXPECT_EQ(fine.exitStatus, 0) << fine.output;
    expectSays(fine, { "  None of your jobs is held.", "Nothing is wrong." });
    EXPECT_EQ(fine.output.find("problem:"), std::string::npos) << fine.output;
    agent.sendSignal(SIGTERM);
    EXPECT_EQ(checked(agent.finish()).exitStatus, 0);
}

// A queue's name is the server's word: one that would break the report's lines is shown
// escaped wherever the report names it.
TEST_F(SetupCheck, AQueueNameThatWouldBreakALineIsShownEscaped)
{
    const std::string queue = "movra\u2028hold";
    ASSERT_TRUE(gServer->addQueue(queue, "movra", "", PrivateCupsServer::JobHold::Indefinite));
    configure(queue, kSaveNoCodes);
    ProgramRun run = check();
    expectSays(run, { "Queue movra\\u{2028}hold" });
    EXPECT_NE(run.output.find("\n  problem: A default code for movra\\u{2028}hold is missing, so its jobs wait: "), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("\u2028"), std::string::npos) << run.output;
    EXPECT_TRUE(gServer->removeQueue(queue));
}

TEST_F(SetupCheck, AnUnreachableServerIsAProblemWithWhatToCheck)
{
    ProgramRun run = checked(runProgram({ AGENT_PATH, "--check", "--server", m_home.path("no-server.sock"), "--settings-dir", folder() }, session()));
    EXPECT_EQ(run.exitStatus, 1);
    expectSays(run, { "Server: the CUPS server at " + m_home.path("no-server.sock") });
    EXPECT_NE(run.output.find("  problem: the CUPS server at " + m_home.path("no-server.sock") + " cannot be reached: "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Check that it runs, and that ServerName in ~/.cups/client.conf or /etc/cups/client.conf names it.\n"), std::string::npos)
        << run.output;
}

}
