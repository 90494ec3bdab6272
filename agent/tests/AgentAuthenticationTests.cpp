// The agent proves who the person is wherever the server asks, as CUPS's own clients do: on a
// server that asks on every request, on the person's own machine's server reached by its
// address, which knows the person only through its socket, and on an office's server in a
// Kerberos realm, which knows them by their ticket; and a password goes to nothing else.
#include "agent/tests/AgentSessionTest.h"
#include "tests/cups/FakeHttpServer.h"
#include "tests/cups/KerberosRealm.h"
#include "tests/cups/LpJobs.h"
#include "tests/cups/OfficeServer.h"
#include "queues/keyring/tests/PrivateSecretService.h"
#include "tests/support/RunningProgram.h"
#include "tests/cups/TestNetwork.h"

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstring>
#include <sstream>
#include <sys/stat.h>
#include <pwd.h>
#include <unistd.h>

namespace {

// A server of this machine, with the administrators' guide's policy, that also listens on a
// loopback address; configuration: cupsd.conf lines of the suite's own.
class AgentOnThisMachinesServer : public AgentSessionTest {
protected:
    static void startListeningServer(const std::string& configuration)
    {
        PrivateCupsServer::Setup setup;
        setup.holdingQueues = true;
        setup.systemBus = true;
        gAddress = "127.0.0.1:" + std::to_string(TestNetwork::freeLoopbackPort());
        setup.listen = gAddress;
        setup.configuration = configuration;
        startServer(setup);
    }

    // The session of nobody, an ordinary local user, with default codes stored for movra-hold.
    void SetUp() override
    {
        AgentSessionTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        chmod(m_home.root().c_str(), 0711);
        m_home.addFolder("nobody");
        const passwd* nobody = getpwnam("nobody");
        ASSERT_TRUE(nobody);
        ASSERT_EQ(chown(m_home.path("nobody").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
        configureAsNobody(gServer->socket());
    }

    // nobody's default codes stored for movra-hold on the server as server names it.
    void configureAsNobody(const std::string& server) const
    {
        ProgramOptions asNobody = withInput(kSaveDefaultCodes);
        asNobody.user = "nobody";
        ProgramRun configured = checked(runProgram(
            { PRINTDIALOG_PATH, "--configure", "--printer", "movra-hold", "--server", server, "--settings-dir", settings(), "--script", "-" }, asNobody));
        ASSERT_EQ(configured.exitStatus, 0) << configured.errors;
    }

    std::string settings() const { return m_home.path("nobody/settings"); }

    // The agent of nobody's session watching the server at server, or, with --once, handling
    // what is held now.
    std::vector<std::string> nobodysAgent(const std::string& server, bool once) const
    {
        std::vector<std::string> command { AGENT_PATH, "--server", server, "--settings-dir", settings() };
        if (once)
            command.push_back("--once");
        return command;
    }

    ProgramOptions nobodysSession() const
    {
        ProgramOptions options = session();
        options.user = "nobody";
        options.environment.push_back({ "XDG_RUNTIME_DIR", m_home.path("nobody") });
        return options;
    }

    static inline std::string gAddress;
};

class AgentOnAServerThatAsksEveryoneWhoTheyAre : public AgentOnThisMachinesServer {
protected:
    static void SetUpTestSuite()
    {
        startListeningServer("<Location />\n  AuthType Default\n  Require valid-user\n  Order allow,deny\n  Allow all\n</Location>\n");
    }
};

class AgentOnTheServerOfItsOwnMachine : public AgentOnThisMachinesServer {
protected:
    static void SetUpTestSuite() { startListeningServer(""); }
};

TEST_F(AgentOnAServerThatAsksEveryoneWhoTheyAre, EveryRequestIsAnsweredAfterTheServerClosedOnItsDemand)
{
    // cupsd answers every request without credentials with 401 and closes the connection before
    // it reads the request's body: each time, the request goes again with the person's.
    for (int run = 0; run < 8; ++run) {
        int job = lp("movra-hold", {}, "nobody");
        ASSERT_GT(job, 0);
        ProgramRun once = checked(runProgram(nobodysAgent(gServer->socket(), true), nobodysSession()));
        EXPECT_EQ(once.exitStatus, 0) << once.errors;
        EXPECT_EQ(once.output, prefix(job, "movra-hold") + "released\n") << once.errors;
        EXPECT_EQ(gServer->jobAttribute(job, "job-accounting-user-id"), "alice-SECRET");
    }
}

TEST_F(AgentOnAServerThatAsksEveryoneWhoTheyAre, ByItsAddressItsDemandThatCannotBeAnsweredIsOneLineAndTheJobStaysHeld)
{
    // Over TCP it takes no peer's credentials, and it lists nothing to anyone, so that its socket
    // cannot be told from another server's.
    int job = lp("movra-hold", {}, "nobody");
    ASSERT_GT(job, 0);
    ProgramRun once = checked(runProgram(nobodysAgent(gAddress, true), nobodysSession()));
    EXPECT_EQ(once.exitStatus, 2);
    EXPECT_EQ(once.errors,
        "accounting-agent: cannot list your jobs: the CUPS server at " + gAddress
            + " asks for your password, and none was given: on this machine its socket tells it who you are without one, and none of the same "
              "server was found\n");
    EXPECT_EQ(state(job), "pending-held");
}

TEST_F(AgentOnTheServerOfItsOwnMachine, ReachedByItsAddressItKnowsThePersonThroughItsSocket)
{
    configureAsNobody(gAddress);
    RunningProgram agent(nobodysAgent(gAddress, false), nobodysSession());
    int job = lp("movra-hold", {}, "nobody");
    ASSERT_GT(job, 0);
    EXPECT_TRUE(agent.waitForOutput(prefix(job, "movra-hold") + "released\n"));
    agent.sendSignal(SIGTERM);
    ProgramRun run = checked(agent.finish());
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.errors, "") << "no demand for credentials is left unanswered";
    EXPECT_EQ(gServer->jobAttribute(job, "job-accounting-user-id"), "alice-SECRET");
}

// Anyone may make a socket named cups.sock that answers as a copy of the server would: reached by
// its address, the server is known through a socket of root's alone, and through another user's
// the person's jobs are neither listed nor released.
TEST_F(AgentOnTheServerOfItsOwnMachine, AnotherUsersSocketIsNotTakenForTheServers)
{
    configureAsNobody(gAddress);
    int job = lp("movra-hold", {}, "nobody");
    ASSERT_GT(job, 0);
    const passwd* nobody = getpwnam("nobody");
    ASSERT_TRUE(nobody);
    struct stat owner;
    ASSERT_EQ(stat(gServer->socket().c_str(), &owner), 0);
    ASSERT_EQ(chown(gServer->socket().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    ProgramRun once = checked(runProgram(nobodysAgent(gAddress, true), nobodysSession()));
    ASSERT_EQ(chown(gServer->socket().c_str(), owner.st_uid, owner.st_gid), 0);
    EXPECT_EQ(once.exitStatus, 2) << once.output;
    EXPECT_EQ(once.output, "");
    EXPECT_EQ(once.errors, "accounting-agent: cannot list your jobs: the CUPS server at " + gAddress + " asks who you are in a way that cannot be answered (it names none)\n");
    EXPECT_EQ(state(job), "pending-held");
    EXPECT_EQ(gServer->jobAttribute(job, "job-accounting-user-id"), "");
}

// The agent on the person's desktop, against an office's server on another machine
// (OfficeServer): the person is nobody, who holds a Kerberos ticket where the server asks for one.
class AgentOnAnOfficeServer : public ::testing::Test {
protected:
    using Proof = OfficeServer::Proof;
    static constexpr const char* kServerName = OfficeServer::kServerName;
    static constexpr const char* kPassword = OfficeServer::kPassword;

    static void startOffice(Proof proof)
    {
        if (geteuid() != 0 || access("/usr/sbin/cupsd", X_OK) != 0)
            return;
        gOffice = new OfficeServer;
        std::string error;
        if (gOffice->start(proof, &error)) {
            gServer = &gOffice->server();
            gKerberos = proof == Proof::Kerberos;
        } else {
            gFailure = error;
            TearDownTestSuite();
        }
    }

    static void TearDownTestSuite()
    {
        delete gOffice;
        gOffice = nullptr;
        gServer = nullptr;
    }

    void SetUp() override
    {
        if (!gServer && !gFailure.empty())
            FAIL() << gFailure;
        if (!gServer)
            GTEST_SKIP() << "an office's server needs root and cupsd (scripts/setup installs it; CI runs as root)";
        if (!gKerberos)
            return;
        const passwd* nobody = getpwnam("nobody");
        ASSERT_NE(nobody, nullptr);
        ASSERT_EQ(chown(m_home.root().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
        m_ticket = gOffice->ticketFor("nobody", nobody->pw_uid);
        ASSERT_FALSE(m_ticket.empty()) << "kinit gets the person's ticket";
    }

    void TearDown() override
    {
        if (gServer)
            gServer->cancelAllJobs();
    }

    // A program on the person's desktop, as user (by default the person, with their ticket).
    std::vector<std::string> onTheDesktop(const std::vector<std::string>& command, std::string user = "") const
    {
        if (user.empty())
            user = m_person;
        return gOffice->onTheDesktop(command, user, m_home.root(), user == m_person ? m_ticket : "", m_desktopEnvironment);
    }

    // lp on the desktop printing the server's test document; the job's number, or 0.
    int lp(const std::string& user = "", const std::vector<std::string>& more = {}) const
    {
        std::vector<std::string> command { "/usr/bin/lp", "-d", "movra-hold" };
        command.insert(command.end(), more.begin(), more.end());
        command.push_back(gServer->path("document.txt"));
        ProgramRun run = runProgram(onTheDesktop(command, user));
        size_t id = run.output.find("request id is movra-hold-");
        return run.exitStatus == 0 && id != std::string::npos ? atoi(run.output.c_str() + id + strlen("request id is movra-hold-")) : 0;
    }

    ProgramRun agentOnce(const std::string& script = "") const
    {
        std::vector<std::string> command { AGENT_PATH, "--once", "--settings-dir", m_home.path("settings") };
        if (!script.empty())
            command.insert(command.end(), { "--script", "-" });
        return runProgram(onTheDesktop(command), withInput(script));
    }

    static std::string state(int job) { return gServer->jobAttribute(job, "job-state"); }
    static std::string prefix(int job) { return "job " + std::to_string(job) + " movra-hold: "; }

    static inline OfficeServer* gOffice = nullptr;
    static inline PrivateCupsServer* gServer = nullptr;
    static inline bool gKerberos = false;
    static inline std::string gFailure;
    TemporaryTree m_home;
    std::string m_ticket;
    // NAME=VALUE for every program on the desktop.
    std::vector<std::string> m_desktopEnvironment;
    std::string m_person { "nobody" };
};

class AgentInAKerberosRealm : public AgentOnAnOfficeServer {
protected:
    static void SetUpTestSuite() { startOffice(Proof::Kerberos); }
};

TEST_F(AgentInAKerberosRealm, StoredCodesGoWithThePersonsOwnJobsWithoutAQuestionAndNoOneElsePrintsInTheirName)
{
    // printdialog fetches the queue's PPD and stores the codes, and prints, as the person.
    ProgramRun configured = runProgram(onTheDesktop({ PRINTDIALOG_PATH, "--configure", "--printer", "movra-hold",
                                           "--settings-dir", m_home.path("settings"), "--script", "-" }),
        withInput(kSaveDefaultCodes));
    ASSERT_EQ(configured.exitStatus, 0) << configured.errors;
    ProgramRun printed = runProgram(onTheDesktop({ PRINTDIALOG_PATH, "--printer", "movra", "--file", gServer->path("document.txt"),
                                        "--settings-dir", m_home.path("settings"), "--script", "-" }),
        withInput("show\nchoose 100 3\nclick 300\ntype 302 \"carol-SECRET\"\ntype 304 \"5-SECRET\"\nprint\n"));
    ASSERT_EQ(printed.exitStatus, 0) << printed.errors;
    int direct = printedJobNumber(printed.output);
    ASSERT_GT(direct, 0) << printed.output;
    EXPECT_EQ(gServer->jobAttribute(direct, "job-originating-user-name"), std::string("nobody@") + KerberosRealm::kRealm);

    // Another user of the desktop, without the person's ticket, cannot print in their name.
    EXPECT_EQ(lp("daemon", { "-U", "nobody" }), 0);
    int job = lp();
    ASSERT_GT(job, 0);
    EXPECT_EQ(job, direct + 1) << "no job came in between";
    ProgramRun run = agentOnce();
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, prefix(job) + "released\n") << run.errors;
    EXPECT_EQ(run.errors.find("another user's name"), std::string::npos) << run.errors;
    EXPECT_EQ(gServer->jobAttribute(job, "job-accounting-user-id"), "alice-SECRET");
}

TEST_F(AgentInAKerberosRealm, TypedCodesAreReleasedAndCancelCancels)
{
    int typed = lp();
    int cancelled = lp();
    ASSERT_GT(typed * cancelled, 0);
    ProgramRun run = agentOnce(kAnswerPrompt + "click 1001\n");
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_NE(run.output.find(prefix(typed) + "released\n"), std::string::npos) << run.output << run.errors;
    EXPECT_NE(run.output.find(prefix(cancelled) + "cancelled\n"), std::string::npos) << run.output << run.errors;
    EXPECT_EQ(gServer->jobAttribute(typed, "job-account-id"), "77-SECRET");
    EXPECT_EQ(state(cancelled), "canceled");
}

TEST_F(AgentInAKerberosRealm, AWatchingAgentReleasesWhatWasHeldBeforeItAndWhatThePersonPrintsSince)
{
    // Each request carries a token of its own: the server takes a token once, and lists the
    // person's jobs only to a request that proves who they are.
    ProgramRun configured = runProgram(onTheDesktop({ PRINTDIALOG_PATH, "--configure", "--printer", "movra-hold", "--settings-dir",
                                           m_home.path("settings"), "--script", "-" }),
        withInput(kSaveDefaultCodes));
    ASSERT_EQ(configured.exitStatus, 0) << configured.errors;
    int before = lp();
    ASSERT_GT(before, 0);
    RunningProgram agent(onTheDesktop({ AGENT_PATH, "--settings-dir", m_home.path("settings") }));
    EXPECT_TRUE(agent.waitForOutput(prefix(before) + "released\n"));
    for (int print = 0; print < 3; ++print) {
        int job = lp();
        ASSERT_GT(job, 0);
        auto sent = std::chrono::steady_clock::now();
        EXPECT_TRUE(agent.waitForOutput(prefix(job) + "released\n"));
        EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(2));
    }
    agent.sendSignal(SIGTERM);
    ProgramRun run = agent.finish();
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    std::istringstream requests(gServer->accessLog());
    for (std::string line; std::getline(requests, line);)
        EXPECT_FALSE(line.find("Set-Job-Attributes") != std::string::npos && line.find("\" 401 ") != std::string::npos)
            << "no release had to be asked for credentials: " << line;
}

// The office's server knows people by their passwords (Basic over TLS, checked through PAM). The
// person (root, whose session keyring the test holds) is asked once, in the agent's password
// window, answered here by its script; the jobs come in the person's name through the server's
// socket, as from another of their computers.
class AgentOnAnOfficeServerWithPasswords : public AgentOnAnOfficeServer {
protected:
    static void SetUpTestSuite() { startOffice(Proof::Password); }

    void SetUp() override
    {
        m_person = "root";
        AgentOnAnOfficeServer::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        if (std::string why = PrivateSecretService::unavailable(); !why.empty())
            GTEST_SKIP() << why;
        std::string error;
        ASSERT_TRUE(m_keyring.startBus(&error) && m_keyring.startKeyring(&error)) << error;
        auto [name, value] = m_keyring.busVariable();
        m_desktopEnvironment.push_back(name + "=" + value);
    }

    static int heldJob() { return submitWithLp(gServer->socket(), "movra-hold", gServer->path("document.txt")); }

    // The desktop's requests that the server refused for want of credentials since the access
    // log had from bytes, besides the anonymous probes of who may print in the person's name and
    // of whom the queue shows its jobs to.
    static int refusalsSince(size_t from)
    {
        std::istringstream requests(gServer->accessLog().substr(from));
        int refused = 0;
        for (std::string line; std::getline(requests, line);) {
            bool probe = line.find(" Print-Job ") != std::string::npos || line.find(" Create-Job ") != std::string::npos
                || (line.find("POST /printers/") != std::string::npos && line.find(" Get-Job") != std::string::npos);
            refused += line.rfind(TestNetwork::kClientAddress, 0) == 0 && line.find("\" 401 ") != std::string::npos && !probe;
        }
        return refused;
    }

    std::vector<KeyringEntry> passwordItems() const
    {
        std::vector<KeyringEntry> items;
        for (const KeyringEntry& entry : m_keyring.entries()) {
            if (entry.attributes.count("user"))
                items.push_back(entry);
        }
        return items;
    }

    static std::string asked(bool refused = false)
    {
        return std::string("password: the CUPS server at ") + kServerName + ":631 asks for the password of root"
            + (refused ? ", as it refused the one given" : "") + "\n";
    }

    PrivateSecretService m_keyring { m_home };
};

TEST_F(AgentOnAnOfficeServerWithPasswords, APasswordRefusedIsAskedForAgainAndOneRememberedServesTheNextAgentWithoutAQuestion)
{
    ProgramRun configured = runProgram(onTheDesktop({ PRINTDIALOG_PATH, "--configure", "--printer", "movra-hold", "--settings-dir",
                                           m_home.path("settings"), "--script", "-" }),
        withInput(kSaveDefaultCodes));
    ASSERT_EQ(configured.exitStatus, 0) << configured.errors;
    // printdialog asks before it shows the dialog, and the job goes as the person's.
    ProgramRun printed = runProgram(onTheDesktop({ PRINTDIALOG_PATH, "--printer", "movra", "--file", gServer->path("document.txt"),
                                        "--settings-dir", m_home.path("settings"), "--script", "-" }),
        withInput(std::string("password ") + kPassword + "\nshow\nchoose 100 3\nclick 300\ntype 302 \"carol-SECRET\"\ntype 304 \"5-SECRET\"\nprint\n"));
    ASSERT_EQ(printed.exitStatus, 0) << printed.errors;
    EXPECT_EQ(printed.output.find(asked() + "password: given\n"), 0u) << printed.output;
    EXPECT_EQ(gServer->jobAttribute(printedJobNumber(printed.output), "job-originating-user-name"), "root");
    EXPECT_TRUE(passwordItems().empty()) << "only a password the person chose to remember is kept";

    int job = heldJob();
    ASSERT_GT(job, 0);
    // Refused three times, the person is not asked a fourth.
    size_t before = gServer->accessLog().size();
    ProgramRun refused = agentOnce("password wrong-1\npassword wrong-2\npassword wrong-3\npassword wrong-4\n");
    EXPECT_EQ(refusalsSince(before), 3);
    EXPECT_NE(refused.errors.find(" refuses the password given for you"), std::string::npos) << refused.errors;

    before = gServer->accessLog().size();
    ProgramRun first = agentOnce(std::string("password wrong-PASSWORD\npassword ") + kPassword + " remember\n");
    EXPECT_EQ(refusalsSince(before), 1) << "the wrong password went once, and was never sent again";
    EXPECT_EQ(first.exitStatus, 0) << first.errors;
    EXPECT_EQ(first.output, asked() + "password: given\n" + asked(true) + "password: given, to be remembered\n" + prefix(job) + "released\n")
        << first.errors;
    EXPECT_EQ(gServer->jobAttribute(job, "job-accounting-user-id"), "alice-SECRET");
    std::vector<KeyringEntry> items = passwordItems();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].secret, kPassword);
    EXPECT_EQ(items[0].attributes["server"], std::string(kServerName) + ":631");
    EXPECT_NE(system(("grep -rqF " + std::string(kPassword) + " " + m_home.root()).c_str()), 0) << "no file of the person's holds it";

    before = gServer->accessLog().size();
    int next = heldJob();
    ProgramRun second = agentOnce();
    EXPECT_EQ(second.exitStatus, 0) << second.errors;
    EXPECT_EQ(second.output, prefix(next) + "released\n") << second.errors;
    EXPECT_EQ(refusalsSince(before), 0) << "the remembered password goes from the first request on";
}

TEST_F(AgentOnAnOfficeServerWithPasswords, APasswordChangedOnTheServerIsAskedForAgainAndTheOldOneLeavesTheKeyring)
{
    int job = heldJob();
    ProgramRun remembered = agentOnce(std::string("password ") + kPassword + " remember\n" + kAnswerPrompt);
    ASSERT_EQ(remembered.exitStatus, 0) << remembered.errors;
    ASSERT_EQ(passwordItems().size(), 1u);
    // The person's password is changed on the server, as an administrator would.
    gServer->changePasswords({ { "root", "new-PASSWORD" } });
    int next = heldJob();
    ProgramRun run = agentOnce("password new-PASSWORD\n" + kAnswerPrompt);
    gServer->changePasswords({ { "root", kPassword } });
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, asked(true) + "password: given\n" + prefix(next) + "prompt: Accounting\n" + prefix(next) + "released\n") << run.errors;
    EXPECT_TRUE(passwordItems().empty()) << "the refused password is gone from the keyring, and the new one was not to be remembered";
    EXPECT_NE(state(job), "pending-held");
}

TEST_F(AgentOnAnOfficeServerWithPasswords, CancelInThePasswordWindowLeavesTheJobHeldWithOneLineAndNoOneElsePrintsInTheirName)
{
    int job = heldJob();
    ASSERT_GT(job, 0);
    ProgramRun run = agentOnce("cancel\n");
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_EQ(run.output, asked() + "password: cancelled\n");
    EXPECT_EQ(run.errors, std::string("accounting-agent: the CUPS server at ") + kServerName + ":631 asks for your password, and none was given (the password window was cancelled)\n");
    EXPECT_EQ(state(job), "pending-held");
    EXPECT_TRUE(passwordItems().empty());
    EXPECT_EQ(lp("daemon", { "-U", "root" }), 0) << "another user of the desktop, without the password";

    // A watching agent says when the window comes back, and does not put it up at each of its
    // tries to reach the server meanwhile.
    RunningProgram agent(onTheDesktop({ AGENT_PATH, "--settings-dir", m_home.path("settings"), "--script", "-" }), withInput("cancel\n"));
    std::string told = std::string("accounting-agent: the CUPS server at ") + kServerName
        + ":631 asks for your password, and none was given (the password window was cancelled); the password is asked for again in 300 s\n";
    EXPECT_TRUE(agent.waitForErrors(told));
    // Long enough for two tries of the server.
    usleep(3500000);
    agent.sendSignal(SIGTERM);
    ProgramRun watched = agent.finish();
    EXPECT_EQ(watched.exitStatus, 0) << watched.errors;
    EXPECT_EQ(watched.output, asked() + "password: cancelled\n");
    EXPECT_EQ(watched.errors, told);
    EXPECT_EQ(state(job), "pending-held");
}

// A CUPS server of this machine that asked for passwords on a loopback port has stopped, and
// another user listens there now, answering as the server would: a password, remembered in the
// person's keyring or typed, goes only to a program of root's or lp's. The person is root.
class APasswordOnALoopbackPort : public ::testing::TestWithParam<const char*> {
protected:
    static constexpr const char* kRemembered = "remembered-PASSWORD";
    static constexpr const char* kTyped = "typed-PASSWORD";

    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "a listener of another user needs root";
        if (std::string why = PrivateSecretService::unavailable(); !why.empty())
            GTEST_SKIP() << why;
        std::string error;
        ASSERT_TRUE(m_keyring.startBus(&error) && m_keyring.startKeyring(&error)) << error;
        m_home.addFile("document.txt", "A page.\n");
    }

    // A program on the person's desktop, with the keyring or without it.
    enum class Keyring {
        Reached,
        None,
    };
    ProgramOptions desktop(const std::string& script, Keyring keyring) const
    {
        ProgramOptions options = withInput(script);
        options.environment = englishLanguageSettings();
        options.environment.insert(options.environment.end(), { { "DISPLAY", "" }, { "WAYLAND_DISPLAY", "" } });
        if (keyring == Keyring::Reached)
            options.environment.push_back(m_keyring.busVariable());
        return options;
    }

    // How the request carries user:password, as the server reads it (in lower case).
    static std::string basic(const std::string& password)
    {
        std::string userPassword = "root:" + password;
        char encoded[256];
        httpEncode64_2(encoded, sizeof encoded, userPassword.data(), static_cast<int>(userPassword.size()));
        std::string lower = std::string("authorization: basic ") + encoded;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
        return lower;
    }

    bool rememberedInTheKeyring(const std::string& server) const
    {
        const std::vector<KeyringEntry> entries = m_keyring.entries();
        return std::any_of(entries.begin(), entries.end(), [&](const KeyringEntry& entry) {
            return entry.secret == kRemembered && entry.attributes.count("server") && entry.attributes.at("server") == server;
        });
    }

    TemporaryTree m_home;
    PrivateSecretService m_keyring { m_home };
};

TEST_P(APasswordOnALoopbackPort, GoesOnlyToAListenerOfTheServersUsers)
{
    FakeHttpServer server;
    ASSERT_TRUE(server.startAskingForPasswords(GetParam(), m_home.path("requests")));
    ASSERT_TRUE(m_keyring.addItem("Print server password",
        { { "xdg:schema", "com.movra.accounting-pane.ServerPassword" }, { "server", server.server() }, { "user", "root" } }, kRemembered));
    // The agent with the password remembered, printdialog with the keyring out of reach and the
    // password typed.
    ProgramRun agent = runProgram({ AGENT_PATH, "--once", "--server", server.server(), "--settings-dir", m_home.path("settings"), "--script", "-" },
        desktop(std::string("password ") + kTyped + "\n", Keyring::Reached));
    ProgramRun dialog = runProgram({ PRINTDIALOG_PATH, "--printer", "movra", "--server", server.server(), "--file", m_home.path("document.txt"),
                                       "--settings-dir", m_home.path("settings"), "--script", "-" },
        desktop(std::string("password ") + kTyped + "\nshow\nprint\n", Keyring::None));
    std::string requests = fileContents(m_home.path("requests"));
    EXPECT_TRUE(rememberedInTheKeyring(server.server())) << "the server refused nothing";
    if (std::string(GetParam()) == "root") {
        EXPECT_NE(requests.find(basic(kRemembered)), std::string::npos) << requests << agent.errors;
        EXPECT_NE(requests.find(basic(kTyped)), std::string::npos) << requests << dialog.output << dialog.errors;
        return;
    }
    ASSERT_NE(requests, "") << "the programs reached the listener";
    EXPECT_EQ(requests.find("authorization"), std::string::npos) << requests;
    std::string withheld = "the CUPS server at " + server.server()
        + " asks for your password, and it was not given: the program listening there runs as nobody, and a CUPS server runs as root or lp\n";
    EXPECT_EQ(agent.exitStatus, 2);
    EXPECT_EQ(agent.output, "") << "no password window";
    EXPECT_EQ(agent.errors, "accounting-agent: cannot list your jobs: " + withheld);
    EXPECT_EQ(dialog.exitStatus, 2);
    EXPECT_EQ(dialog.output.find("password"), std::string::npos) << dialog.output;
    EXPECT_EQ(dialog.errors, "printdialog: movra: cannot get the printer's PPD: " + withheld);
}

INSTANTIATE_TEST_SUITE_P(Listeners, APasswordOnALoopbackPort, ::testing::Values("root", "nobody"));

}
