// The agent asked to stop (SIGTERM as the session ends, Ctrl-C at a terminal) ends within a
// second whatever it is doing: between the jobs of a long list, waiting for a server that stalls,
// or with a prompt that waits for its person. The job it was working on stays held for the next
// agent.
#include "agent/tests/AgentSessionTest.h"
#include "tests/cups/FakeHttpServer.h"
#include "tests/support/RunningProgram.h"

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Sends the signal, and waits for the agent's end: how long it took after the signal.
Clock::duration stopWith(RunningProgram& agent, int signal, ProgramRun* run)
{
    auto sent = Clock::now();
    agent.sendSignal(signal);
    *run = agent.finish();
    return Clock::now() - sent;
}

class AgentStops : public AgentSessionTest {
protected:
    static void SetUpTestSuite() { startHoldingServer(PrivateCupsServer::JobOwners::Authenticated); }
};

TEST_F(AgentStops, BetweenTheJobsOfALongList)
{
    configure("movra-hold", kSaveDefaultCodes);
    std::vector<int> jobs = submitMany(gServer->socket(), "movra-hold", gServer->path("document.txt"), 400);
    ASSERT_EQ(jobs.size(), 400u);
    RunningProgram agent(agentCommand({}), session());
    ASSERT_TRUE(agent.waitForOutput(prefix(jobs.front(), "movra-hold") + "released\n"));
    ProgramRun run;
    EXPECT_LT(stopWith(agent, SIGTERM, &run), 1s);
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(state(jobs.back()), "pending-held") << "the rest waits for the next agent";
}

TEST_F(AgentStops, WhileThePromptWaitsForItsPerson)
{
    int typed = lp("movra-hold");
    RunningProgram agent(agentCommand({ "--script", "-" }), session());
    ASSERT_TRUE(agent.waitForOutput(prefix(typed, "movra-hold") + "prompt: Accounting\n"));
    ProgramRun run;
    EXPECT_LT(stopWith(agent, SIGTERM, &run), 1s);
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, prefix(typed, "movra-hold") + "prompt: Accounting\n") << "the job is neither cancelled nor left with a reason";
    EXPECT_EQ(state(typed), "pending-held");

    // On screen, Ctrl-C closes the prompt's window as well.
    ProgramOptions onScreen = session();
    onScreen.environment.insert(onScreen.environment.end(), { { "DISPLAY", ":99" }, { "QT_QPA_PLATFORM", "offscreen" } });
    RunningProgram screenAgent(agentCommand({}), onScreen);
    ASSERT_TRUE(screenAgent.waitForOutput(prefix(typed, "movra-hold") + "prompt: Accounting\n"));
    EXPECT_LT(stopWith(screenAgent, SIGINT, &run), 1s);
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(state(typed), "pending-held");
}

TEST(AgentStopsWaiting, ForAServerThatStallsThePrintersPPD)
{
    FakeHttpServer stalling;
    ASSERT_TRUE(stalling.startListing({ { 5, "ipp://localhost/printers/movra" } }, FakeHttpServer::QueueHold::Indefinite));
    TemporaryTree home;
    ProgramOptions session;
    session.environment = { { "DISPLAY", "" }, { "WAYLAND_DISPLAY", "" }, { "XDG_RUNTIME_DIR", home.root() } };
    session.timeout = 30s;
    RunningProgram agent({ AGENT_PATH, "--server", stalling.server(), "--settings-dir", home.path("settings") }, session);
    // Long enough to list the job and ask for its printer's PPD, which never comes.
    std::this_thread::sleep_for(500ms);
    ProgramRun run;
    EXPECT_LT(stopWith(agent, SIGTERM, &run), 1s);
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, "");
}

}
