// Whose print gets the person's stored codes. On a server that authenticates every job's owner (the
// administrators' guide's policy) no other user can print in the person's name, and stored codes go
// with the person's jobs at once; on one that takes whatever name a request gives (Debian's policy
// as installed), a job in the person's name may be anyone's, so the prompt shows where it came from
// and the stored codes go only with a print the person confirms.
#include "agent/tests/AgentSessionTest.h"
#include "tests/cups/FakeHttpServer.h"
#include "tests/support/RunningProgram.h"
#include "tests/cups/ServerSubscriptions.h"

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

namespace {

class AgentOnAServerThatChecksOwners : public AgentSessionTest {
protected:
    static void SetUpTestSuite() { startHoldingServer(PrivateCupsServer::JobOwners::Authenticated); }
};

class AgentOnAServerThatTakesAnyName : public AgentSessionTest {
protected:
    static void SetUpTestSuite() { startHoldingServer(PrivateCupsServer::JobOwners::NamedInTheRequest); }
};

// A server whose administrator changed the administrators' guide's policy, the test going through
// the changes.
class AgentOnAServerWhosePolicyWasChanged : public AgentSessionTest {
protected:
    static void SetUpTestSuite() { startHoldingServer(PrivateCupsServer::JobOwners::Authenticated); }

    static void changePolicy(std::vector<std::pair<std::string, std::string>> changes)
    {
        PrivateCupsServer::Setup setup = holdingServer(PrivateCupsServer::JobOwners::Authenticated);
        setup.policyChanges = std::move(changes);
        std::string error;
        ASSERT_TRUE(gServer->restart(setup, &error)) << error;
    }
};

// The line of a transcript that starts with start, or empty.
std::string lineStarting(const std::string& text, const std::string& start)
{
    size_t at = text.find(start);
    return at == std::string::npos ? "" : text.substr(at, text.find('\n', at) - at);
}

int occurrences(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

TEST_F(AgentOnAServerThatChecksOwners, NoOtherUserPrintsOrReleasesInThePersonsName)
{
    configure("movra-hold", kSaveDefaultCodes);
    int own = lp("movra-hold");
    ASSERT_GT(own, 0);
    EXPECT_EQ(lp("movra-hold", { "-U", "root" }, "nobody"), 0) << "the server refuses a job in another user's name";
    ProgramOptions asNobody;
    asNobody.user = "nobody";
    ProgramRun resumed = runProgram({ "/usr/bin/lp", "-h", gServer->socket(), "-U", "root", "-i", std::to_string(own), "-H", "resume" }, asNobody);
    EXPECT_NE(resumed.exitStatus, 0) << resumed.output;
    EXPECT_EQ(state(own), "pending-held") << "nor does it let another user release the person's job";

    ProgramRun run = once();
    EXPECT_EQ(run.output, prefix(own, "movra-hold") + "released\n") << "stored codes go at once";
    EXPECT_EQ(run.errors.find("another user's name"), std::string::npos) << run.errors;
    EXPECT_EQ(gServer->jobAttribute(own, "job-accounting-user-id"), "alice-SECRET");
}

// Anyone on the system bus may send what CUPS's notifier sends: only cupsd's own signals make the
// agent ask the server for its events, however many of the others' come. (What they cost the
// agent's CPU is measured in bench/BellCostBenchmark.cpp.)
TEST_F(AgentOnAServerThatChecksOwners, OnlyTheServerRingsTheAgentsBell)
{
    configure("movra-hold", kSaveDefaultCodes);
    RunningProgram agent(agentCommand({}), session());
    for (int tries = 0; tries < 100 && subscriptionsOf(gServer->socket(), "root").size() < 2; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    auto asks = [] { return occurrences(gServer->accessLog(), "Get-Notifications"); };
    int before = asks();
    ASSERT_TRUE(gServer->systemBus().ringAs("nobody", 20000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(asks(), before) << "another user's signals make the agent ask nothing";
    int job = lp("movra-hold");
    EXPECT_TRUE(agent.waitForOutput(prefix(job, "movra-hold") + "released\n")) << "the server's own still do";
    agent.sendSignal(SIGTERM);
    ProgramRun run = checked(agent.finish());
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
}

// Another user's many jobs ring the bell as often as the server makes them: the agent asks for
// the events a burst of 20 times at once, then once in each 50 ms however many rings come.
TEST_F(AgentOnAServerThatChecksOwners, AFloodOfTheServersRingsIsAskedAboutAtAPace)
{
    RunningProgram agent(agentCommand({}), session());
    for (int tries = 0; tries < 100 && subscriptionsOf(gServer->socket(), "root").size() < 2; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    auto asks = [] { return occurrences(gServer->accessLog(), "Get-Notifications"); };
    int before = asks();
    auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(gServer->systemBus().ringAs("root", 50000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    // Counted before the time is taken: a loaded machine makes the bound looser only.
    int asked = asks() - before;
    auto paced = (std::chrono::steady_clock::now() - started) / std::chrono::milliseconds(50);
    EXPECT_GT(asked, 0) << "the server's own rings are heard";
    EXPECT_LE(asked, 20 + paced + 5) << "in " << paced * 50 << " ms";
    agent.sendSignal(SIGTERM);
    EXPECT_EQ(checked(agent.finish()).exitStatus, 0);
}

TEST_F(AgentOnAServerThatTakesAnyName, StoredCodesGoOnlyWithAPrintThePersonConfirms)
{
    configure("movra-hold", kSaveDefaultCodes);
    int foreign = lp("movra-hold",
        { "-U", "root", "-t", "IT notice: your Account ID was reset, type your old one (see C:\\IT\\reset.txt)", "-o",
            "job-originating-host-name=alices-laptop" },
        "nobody");
    int own = lp("movra-hold", { "-t", "report.pdf" });
    ASSERT_GT(foreign * own, 0) << "this server takes a job in any name";
    const std::string told = "accounting-agent: the CUPS server at " + gServer->socket()
        + " accepts jobs in another user's name: stored codes are confirmed on screen; see the administrators' guide, administration.md\n";

    ProgramRun unattended = once();
    EXPECT_EQ(unattended.output,
        prefix(foreign, "movra-hold") + "left held: it needs the prompt, and there is no screen to show it on and no --script to answer it\n"
            + prefix(own, "movra-hold") + "left held: it needs the prompt, and there is no screen to show it on and no --script to answer it\n")
        << "with nobody to confirm them, the stored codes go nowhere";
    EXPECT_EQ(occurrences(unattended.errors, told), 1) << "said once for the server: " << unattended.errors;

    // The person reads where each print came from: the first is not theirs, the second is. The
    // computer named is the sender's word, and this agent did not watch who connected then.
    ProgramRun answered = once("dump\nclick 1001\ndump\nclick 1000\n");
    EXPECT_EQ(occurrences(answered.errors, told), 1) << answered.errors;
    for (int job : { foreign, own }) {
        std::string line = prefix(job, "movra-hold");
        EXPECT_NE(answered.output.find(line + "prompt: Accounting\n"), std::string::npos) << answered.output;
        std::string note = lineStarting(answered.output, line + "control - static-text visible enabled 0 20,20,");
        EXPECT_NE(note.find("This print came to movra-hold in your name: "), std::string::npos) << note;
        EXPECT_NE(note.find(". Sent: "), std::string::npos) << note;
        EXPECT_NE(note.find(". Whether it was sent from this computer is not known. "), std::string::npos) << note;
        EXPECT_NE(lineStarting(answered.output, line + "control 501 ").find("(concealed, 12 characters)"), std::string::npos)
            << "the stored User ID is filled in, concealed: " << answered.output;
        EXPECT_NE(lineStarting(answered.output, line + "control 503 ").find("(concealed, 11 characters)"), std::string::npos) << answered.output;
    }
    // Its words reach the dump escaped once, as in the agent's own lines, and the host it names is
    // only what the sender says.
    std::string foreignNote = lineStarting(answered.output, prefix(foreign, "movra-hold") + "control - static-text visible enabled 0 20,20,");
    EXPECT_NE(foreignNote.find("IT notice: your Account ID was reset, type your old one (see C:\\\\IT\\\\reset.txt)"), std::string::npos)
        << foreignNote;
    EXPECT_NE(foreignNote.find(". From, as the sender says: alices-laptop."), std::string::npos) << foreignNote;
    EXPECT_EQ(foreignNote.find("From: alices-laptop"), std::string::npos) << foreignNote;
    EXPECT_NE(lineStarting(answered.output, prefix(own, "movra-hold") + "control - static-text visible enabled 0 20,20,")
                  .find(". From, as the sender says: localhost."),
        std::string::npos);
    EXPECT_NE(answered.output.find(prefix(foreign, "movra-hold") + "cancelled\n"), std::string::npos) << answered.output;
    EXPECT_NE(answered.output.find(prefix(own, "movra-hold") + "released\n"), std::string::npos) << answered.output;
    EXPECT_EQ(state(foreign), "canceled");
    EXPECT_EQ(gServer->jobAttribute(foreign, "job-accounting-user-id"), "");
    EXPECT_EQ(gServer->jobAttribute(own, "job-accounting-user-id"), "alice-SECRET");
    EXPECT_EQ(gServer->jobAttribute(own, "job-account-id"), "4711-SECRET");
}

// Whether stored codes may go without the person is learnt of every way a job is made in the
// person's name, asked at the queue as lp asks it: a server that checks who asks before one of
// them lets another user make the person's jobs, whatever it says of the others.
TEST_F(AgentOnAServerWhosePolicyWasChanged, StoredCodesGoWithoutThePersonOnlyWhereNoWayOfMakingAJobTakesAnyName)
{
    configure("movra-hold", kSaveDefaultCodes);
    const std::string creating = "<Limit Create-Job Print-Job Print-URI Validate-Job>";
    const std::string told = "accounting-agent: the CUPS server at " + gServer->socket() + " accepts jobs in another user's name";
    const std::string unattended = "left held: it needs the prompt, and there is no screen to show it on and no --script to answer it\n";
    int made = 0;
    const std::vector<std::pair<std::string, std::string>> lies[] = {
        { { creating, "<Limit Create-Job Print-URI Validate-Job>" } },
        { { creating, "<Limit Validate-Job>" } },
        { { creating, "<Limit Validate-Job>" }, { "Require valid-user", "Require user @OWNER @SYSTEM" } },
    };
    for (const auto& changes : lies) {
        changePolicy(changes);
        SCOPED_TRACE(changes.front().second + (changes.size() > 1 ? " as the owner's" : ""));
        int foreign = printedWithoutCredentials(*gServer, "movra-hold", "root", "nobody");
        ASSERT_GT(foreign, 0) << "another user prints in the person's name";
        ++made;
        ProgramRun run = once();
        EXPECT_EQ(run.output, prefix(foreign, "movra-hold") + unattended);
        EXPECT_NE(run.errors.find(told), std::string::npos) << run.errors;
        EXPECT_EQ(gServer->jobAttribute(foreign, "job-accounting-user-id"), "");
        gServer->cancelAllJobs();
    }

    // The opposite lie: jobs are made only by whom the server authenticated, though it answers
    // a Validate-Job of anyone's.
    changePolicy({ { creating, "<Limit Create-Job Print-Job Print-URI>" } });
    int own = lp("movra-hold");
    ASSERT_GT(own, 0);
    ++made;
    ProgramRun run = once();
    EXPECT_EQ(run.output, prefix(own, "movra-hold") + "released\n") << "stored codes go at once";
    EXPECT_EQ(run.errors.find(told), std::string::npos) << run.errors;
    EXPECT_EQ(gServer->jobAttribute(own, "job-accounting-user-id"), "alice-SECRET");

    // Asking made no job.
    ProgramRun jobs = runProgram({ "/usr/bin/lpstat", "-h", gServer->socket(), "-W", "all", "-o" });
    EXPECT_EQ(occurrences(jobs.output, "\n"), made) << jobs.output;
}

// A server that shows a queue's jobs to whoever names their owner would show the codes to anyone:
// no code goes there, from the agent or from printdialog, and the administrator hears which lines
// mend it; a job without codes goes as before.
TEST_F(AgentOnAServerWhosePolicyWasChanged, NoCodeGoesToAServerThatShowsJobsToWhoeverNamesTheirOwner)
{
    configure("movra-hold", kSaveDefaultCodes);
    changePolicy({ { "<Limit Get-Jobs Get-Job-Attributes>\n    AuthType Default\n    Require valid-user\n", "<Limit Get-Jobs Get-Job-Attributes>\n" } });
    const std::string server = "the CUPS server at " + gServer->socket();
    const std::string advice = server
        + " shows the codes of your jobs to anyone who asks in your name, so none are sent there; an administrator adds to each <Policy> of its "
          "cupsd.conf, in place of its JobPrivateAccess and JobPrivateValues lines:\n    JobPrivateAccess default\n    JobPrivateValues all\n"
          "    <Limit Get-Jobs Get-Job-Attributes>\n      AuthType Default\n      Require valid-user\n      Order deny,allow\n    </Limit>\n";
    int held = lp("movra-hold");
    ASSERT_GT(held, 0);
    ProgramRun agent = once();
    EXPECT_EQ(agent.output,
        prefix(held, "movra-hold") + "left held: no code is sent to " + server
            + ", which shows the codes of your jobs to anyone who asks in your name, until an administrator changes its policy (\"printdialog "
              "--list-codes --printer movra-hold\" gives the lines)\n");
    EXPECT_NE(agent.errors.find("accounting-agent: " + advice), std::string::npos) << agent.errors;
    EXPECT_EQ(state(held), "pending-held");
    ProgramRun setup = check();
    EXPECT_NE(setup.output.find("  problem: The server shows the codes of jobs on movra-hold to anyone who names their owner, so none is sent: an administrator "
                                "adds the lines that \u201Cprintdialog --list-codes --printer movra-hold\u201D prints.\n"),
        std::string::npos)
        << setup.output;
    EXPECT_EQ(gServer->jobAttribute(held, "job-accounting-user-id"), "");

    std::vector<std::string> print = gServer->printCommand("movra");
    print.insert(print.end(), { "--settings-dir", folder(), "--script", "-" });
    ProgramRun withCodes = runProgram(print, session(kSaveDefaultCodes));
    EXPECT_EQ(withCodes.exitStatus, 2);
    EXPECT_NE(withCodes.errors.find("printdialog: movra: the job was not sent: " + advice), std::string::npos) << withCodes.errors;
    ProgramRun withoutCodes = runProgram(print, session("show\nchoose 100 1\nprint\n"));
    EXPECT_EQ(withoutCodes.exitStatus, 0) << withoutCodes.errors;
    ProgramRun jobs = runProgram({ "/usr/bin/lpstat", "-h", gServer->socket(), "-W", "all", "-o", "movra" });
    EXPECT_EQ(occurrences(jobs.output, "\n"), 1) << "the job without codes alone: " << jobs.output;
    gServer->cancelAllJobs();
}

// What a server says is shown, never obeyed: a queue's name that holds a terminal's orders, or a
// forged line, reaches the output escaped; a job listed three times is handled once, and one of
// no number not at all.
TEST(AgentAgainstALyingServer, ItsWordsForgeNoLineAndAJobListedTwiceIsHandledOnce)
{
    const std::string forged = "ipp://localhost/printers/movra\x1b]0;owned\x07\r\njob 9 movra: released";
    FakeHttpServer server;
    ASSERT_TRUE(server.startListing({ { 7, forged }, { 7, forged }, { 0, "ipp://localhost/printers/movra" }, { -3, "ipp://localhost/printers/movra" },
                                        { 7, forged } },
        FakeHttpServer::QueueHold::None));
    TemporaryTree home;
    ProgramOptions session;
    session.environment = { { "DISPLAY", "" }, { "WAYLAND_DISPLAY", "" }, { "XDG_RUNTIME_DIR", home.root() } };
    ProgramRun run = runProgram({ AGENT_PATH, "--once", "--server", server.server(), "--settings-dir", home.path("settings") }, session);
    EXPECT_EQ(run.output,
        "job 7 movra\\x1B]0;owned\\x07\\x0D\\x0Ajob 9 movra: released: left alone: it was held on purpose, on a queue that does not hold jobs "
        "for accounting\n");
}

// The printer's refusal of a job's account is told in the server's event, which the agent may
// not have asked for yet when a listing shows the job held for it: the person still reads the
// printer's word.
TEST(AgentAgainstAServerThatTellsLate, ARefusalToldAfterItsJobWasListedIsShownInThePrintersWords)
{
    FakeHttpServer server;
    ASSERT_TRUE(server.startListing({ { 7, "ipp://localhost/printers/movra", "Job held indefinitely - account has been closed." } },
        FakeHttpServer::QueueHold::Indefinite, EXAMPLES_DIR "/Movra-RK7700.ppd"));
    TemporaryTree home;
    ProgramOptions session;
    session.environment = { { "DISPLAY", "" }, { "WAYLAND_DISPLAY", "" }, { "XDG_RUNTIME_DIR", home.root() } };
    RunningProgram agent({ AGENT_PATH, "--server", server.server(), "--settings-dir", home.path("settings") }, session);
    EXPECT_TRUE(agent.waitForOutput("job 7 movra: the printer refused the account: "));
    agent.sendSignal(SIGTERM);
    ProgramRun run = agent.finish();
    EXPECT_NE(run.output.find("job 7 movra: the printer refused the account: the account is closed\n"), std::string::npos) << run.output << run.errors;
}

}
