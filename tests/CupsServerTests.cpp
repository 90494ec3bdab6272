// printdialog and CUPS servers it cannot simply trust: one on another machine, which gets the
// codes only over TLS with the certificate first seen for it; and broken or hostile ones, which
// send an endless PPD, never answer or trickle, and must cost neither memory nor a long wait.
#include "tests/support/ClearError.h"
#include "tests/cups/FakeHttpServer.h"
#include "tests/cups/LpJobs.h"
#include "tests/cups/PrivateCupsServer.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/ReachableCopies.h"
#include "tests/support/RunningProgram.h"
#include "tests/support/TemporaryTree.h"
#include "tests/cups/TestNetwork.h"

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <pwd.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string kDefaultCodes = EXAMPLES_DIR "/settings/default-codes.plist";

// A server on another machine, as far as printdialog can tell: the private CUPS server runs in a
// network namespace of the test's own and listens on an address there; printdialog runs in the
// namespace at the other end of the veth pair, as another local user with a home of its own
// (where CUPS keeps the certificates it has trusted).
class RemoteServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (geteuid() != 0 || access("/usr/sbin/cupsd", X_OK) != 0)
            return;
        std::string error;
        gNetwork = new TestNetwork;
        gServer = new PrivateCupsServer;
        // Users of a server on another machine prove who they are with a password or Kerberos,
        // for which the tests have no account: here anyone prints in any name, and what is tried
        // is the certificate.
        bool created = gNetwork->create(&error);
        if (!created || !gServer->start(serverSetup(), &error)) {
            ADD_FAILURE() << error;
            TearDownTestSuite();
        }
    }

    static void TearDownTestSuite()
    {
        delete gServer;
        gServer = nullptr;
        delete gNetwork;
        gNetwork = nullptr;
    }

    void SetUp() override
    {
        if (!gServer)
            GTEST_SKIP() << "a server in a network namespace needs root and cupsd (scripts/setup installs it; CI runs as root)";
        const passwd* nobody = getpwnam("nobody");
        ASSERT_NE(nobody, nullptr);
        chown(home.root().c_str(), nobody->pw_uid, nobody->pw_gid);
    }

    // Users of a server on another machine prove who they are with a password or Kerberos, for
    // which the tests have no account: here anyone prints in any name, and what is tried is the
    // certificate.
    static PrivateCupsServer::Setup serverSetup()
    {
        PrivateCupsServer::Setup setup;
        setup.network = gNetwork->serverSide();
        setup.listen = serverAddress();
        setup.holdingQueues = true;
        setup.owners = PrivateCupsServer::JobOwners::NamedInTheRequest;
        // It shows jobs to those alone who prove who they are: the person by a password.
        setup.passwords = { { "nobody", kPassword } };
        // The name the client's side knows it by too, as a server's administrator lists it.
        setup.configuration = "ServerAlias printhost\n";
        return setup;
    }

    static constexpr const char* kPassword = "nobody-PASSWORD";
    // The script's line that answers the server's password window.
    static std::string passwordLine() { return std::string("password ") + kPassword + "\n"; }

    // A program of the client's side, as nobody, with a home of its own.
    std::vector<std::string> onTheClientSide(const std::vector<std::string>& command) const
    {
        std::vector<std::string> arguments { "/usr/bin/nsenter", "--net=/run/netns/" + gNetwork->clientSide(), "--setgid=65534", "--setuid=65534", "--",
            "/usr/bin/env", "HOME=" + home.root(), "XDG_RUNTIME_DIR=" + home.root(), "LANGUAGE=", "LC_ALL=", "LC_MESSAGES=", "LANG=C.UTF-8" };
        for (const auto& [name, value] : sanitizerOptionsFor("nobody"))
            arguments.push_back(name + "=" + value);
        // nobody reaches the programs, and the checkout's files, only through copies.
        for (const std::string& part : command)
            arguments.push_back(reachableBy("nobody", part));
        return arguments;
    }

    // printdialog on the client's side printing on the server at server.
    ProgramRun print(const std::string& server, const std::string& script)
    {
        return runProgram(onTheClientSide({ PRINTDIALOG_PATH, "--printer", "movra", "--server", server, "--file", gServer->path("document.txt"),
                              "--settings", kDefaultCodes, "--settings-dir", home.path("settings"), "--script", "-" }),
            withInput(script));
    }

    static std::string serverAddress() { return std::string(TestNetwork::kServerAddress) + ":631"; }

    // The certificates kept in the client's home, by file name.
    std::vector<std::string> keptCertificates() const
    {
        std::vector<std::string> names;
        if (DIR* folder = opendir(home.path(".cups/ssl").c_str())) {
            while (dirent* entry = readdir(folder)) {
                std::string name = entry->d_name;
                if (name.size() > 4 && name.compare(name.size() - 4, 4, ".crt") == 0)
                    names.push_back(name);
            }
            closedir(folder);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // How many jobs the server has had, whatever became of them.
    static size_t jobCount()
    {
        std::string jobs = jobsAsSeenBy(*gServer, "root", 0);
        size_t count = 0;
        for (size_t at = jobs.find("\njob-id="); at != std::string::npos; at = jobs.find("\njob-id=", at + 1))
            ++count;
        return count;
    }

    // Another certificate than the server's, made for its address, as PEM.
    std::string anotherCertificate()
    {
        std::string store = home.path("other-ssl");
        home.addFolder("other-ssl");
        EXPECT_EQ(cupsMakeServerCredentials(store.c_str(), TestNetwork::kServerAddress, 0, nullptr, time(nullptr) + 365 * 86400), 1);
        return fileContents(store + "/" + TestNetwork::kServerAddress + ".crt");
    }

    // The person's agent on the client's side, nobody to answer its prompts, once it has told
    // that the server is on another machine.
    std::unique_ptr<RunningProgram> startAgent()
    {
        auto agent = std::make_unique<RunningProgram>(
            onTheClientSide({ AGENT_PATH, "--server", serverAddress(), "--settings-dir", home.path("settings"), "--script", "-" }),
            ProgramOptions { passwordLine(), { { "DISPLAY", "" }, { "WAYLAND_DISPLAY", "" } }, std::chrono::milliseconds(60000), "" });
        EXPECT_TRUE(agent->waitForErrors(" is on another machine, whose events cannot reach this one"));
        return agent;
    }

    // lp on the client's side, as the person; the job's number.
    int printFromTheClient()
    {
        ProgramRun lp = runProgram(onTheClientSide({ "/usr/bin/lp", "-h", serverAddress(), "-d", "movra-hold", gServer->path("document.txt") }));
        size_t id = lp.output.find("request id is movra-hold-");
        return lp.exitStatus == 0 && id != std::string::npos ? atoi(lp.output.c_str() + id + strlen("request id is movra-hold-")) : 0;
    }

    // A process of user's on the client's side that connects to the server's port and closes
    // the connection after held, again and again for the time given, sending nothing.
    void connectAgainAndAgain(const std::string& user, std::chrono::milliseconds during, std::chrono::milliseconds held)
    {
        const passwd* account = getpwnam(user.c_str());
        ASSERT_NE(account, nullptr);
        pid_t child = fork();
        if (child == 0) {
            if (!TestNetwork::enter(gNetwork->clientSide()) || setgid(account->pw_gid) != 0 || setuid(account->pw_uid) != 0)
                _exit(126);
            sockaddr_in server {};
            server.sin_family = AF_INET;
            server.sin_port = htons(631);
            inet_pton(AF_INET, TestNetwork::kServerAddress, &server.sin_addr);
            for (auto end = std::chrono::steady_clock::now() + during; std::chrono::steady_clock::now() < end;) {
                int connection = socket(AF_INET, SOCK_STREAM, 0);
                connect(connection, reinterpret_cast<sockaddr*>(&server), sizeof server);
                usleep(static_cast<useconds_t>(std::chrono::microseconds(held).count()));
                close(connection);
                usleep(10000);
            }
            _exit(0);
        }
        ASSERT_GT(child, 0);
        waitpid(child, nullptr, 0);
    }

    // The state of every connection to the server in the network of the process pid, as its
    // kernel lists them: ESTABLISHED while open, TIME_WAIT for a minute after closed first here.
    static std::vector<std::string> connectionsToTheServer(pid_t pid, unsigned port = 631)
    {
        char server[32];
        snprintf(server, sizeof server, "%08X:%04X", inet_addr(TestNetwork::kServerAddress), port);
        std::vector<std::string> states;
        std::ifstream table("/proc/" + std::to_string(pid) + "/net/tcp");
        std::string line;
        std::getline(table, line);
        for (std::string slot, local, peer, state; table >> slot >> local >> peer >> state && std::getline(table, line);) {
            if (peer == server)
                states.push_back(state == "01" ? "ESTABLISHED" : state == "06" ? "TIME_WAIT"
                                                                               : state);
        }
        return states;
    }

    static TestNetwork* gNetwork;
    static PrivateCupsServer* gServer;
    TemporaryTree home;
};

TestNetwork* RemoteServerTest::gNetwork = nullptr;
PrivateCupsServer* RemoteServerTest::gServer = nullptr;

TEST_F(RemoteServerTest, TheCodesTravelOnlyOverTLSToTheCertificateFirstSeen)
{
    // Where the person's CUPS settings trust no certificate on first use, the first one shown is
    // refused: nothing is sent and nothing is kept.
    home.addFile(".cups/client.conf", "TrustOnFirstUse No\n");
    const passwd* nobody = getpwnam("nobody");
    ASSERT_EQ(chown(home.path(".cups").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    size_t jobsBefore = jobCount();
    ProgramRun refused = print(serverAddress(), "show\ntype 302 \"-remote\"\nprint\n");
    EXPECT_TRUE(endsInOneClearError(refused, "the CUPS server at " + serverAddress() + " shows a certificate that cannot be trusted: "));
    EXPECT_EQ(jobCount(), jobsBefore) << "no job came";
    EXPECT_TRUE(keptCertificates().empty());
    ASSERT_EQ(unlink(home.path(".cups/client.conf").c_str()), 0);

    ProgramRun run = print(serverAddress(), "show\ntype 302 \"-remote\"\nprint\n");
    ASSERT_EQ(run.exitStatus, 0) << run.errors;
    int job = printedJobNumber(run.output);
    ASSERT_NE(job, 0) << run.output;
    std::string seen = jobsAsSeenBy(*gServer, "root", job);
    EXPECT_NE(seen.find("job-accounting-user-id=alice-remote\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("job-originating-user-name=nobody\n"), std::string::npos) << seen;
    // Another person on another desktop names the job's owner over TLS, and reads nothing.
    std::string naming = jobsReadByNaming(serverAddress(), "daemon", "nobody", job, gNetwork->clientSide());
    EXPECT_NE(naming.find("Get-Job-Attributes: "), std::string::npos) << naming;
    EXPECT_EQ(naming.find("successful-ok"), std::string::npos) << naming;
    EXPECT_EQ(naming.find("alice-remote"), std::string::npos) << naming;
    struct stat kept;
    EXPECT_EQ(stat(home.path(".cups/ssl/" + serverAddress() + ".crt").c_str(), &kept), 0)
        << "the server's certificate is kept, trusted on first use";

    ProgramRun again = print(serverAddress(), "show\nprint\n");
    EXPECT_EQ(again.exitStatus, 0) << "the same certificate is trusted again: " << again.errors;

    // The set-up check names the pinned certificate by its fingerprint, as openssl gives it.
    ProgramRun fingerprint = runProgram({ "/usr/bin/openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in", home.path(".cups/ssl/" + serverAddress() + ".crt") });
    ASSERT_NE(fingerprint.output.find('='), std::string::npos) << fingerprint.errors;
    ProgramRun check = runProgram(onTheClientSide({ AGENT_PATH, "--check", "--server", serverAddress(), "--settings-dir", home.path("settings") }));
    EXPECT_EQ(check.exitStatus, 1) << "no agent runs: " << check.output;
    EXPECT_NE(check.output.find("  Reached over TLS (" + serverAddress() + "); the certificate trusted for it has the SHA-256 fingerprint "
                  + fingerprint.output.substr(fingerprint.output.find('=') + 1, 95) + ": compare it with the one your administrator gives.\n"),
        std::string::npos)
        << check.output;
    EXPECT_NE(check.output.find("  You have no Kerberos ticket; where the server asks for Kerberos, kinit gets one.\n"), std::string::npos) << check.output;
}

TEST_F(RemoteServerTest, AServerWithAnotherCertificateThanTheOneFirstSeenGetsNothingWhateverItsDates)
{
    // The certificate kept from an earlier visit (by libcups, as earlier versions let it) was made
    // for the server's address and expires within a year; the one the server shows now, made for
    // the same address, in ten.
    std::string store = home.path(".cups/ssl");
    std::string kept = store + "/" + TestNetwork::kServerAddress + ".crt";
    home.addFolder(".cups/ssl");
    const passwd* nobody = getpwnam("nobody");
    ASSERT_EQ(chown(store.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    ASSERT_EQ(cupsMakeServerCredentials(store.c_str(), TestNetwork::kServerAddress, 0, nullptr, time(nullptr) + 365 * 86400), 1);
    chmod(kept.c_str(), 0644);
    size_t jobsBefore = jobCount();
    ProgramRun run = print(serverAddress(), "show\nprint\n");
    EXPECT_TRUE(endsInOneClearError(run,
        "the CUPS server at " + serverAddress() + " shows a certificate that cannot be trusted: another one than the one trusted for it (SHA-256 "));
    EXPECT_NE(run.errors.find(" trusted, kept in " + kept + "); when the server's certificate has been renewed, remove that file and print again"),
        std::string::npos)
        << run.errors;
    EXPECT_EQ(jobCount(), jobsBefore) << "no job came";

    // The administrator has renewed the certificate: with the old one removed, the new one is
    // trusted on first use.
    ASSERT_EQ(unlink(kept.c_str()), 0);
    ProgramRun renewed = print(serverAddress(), "show\nprint\n");
    EXPECT_EQ(renewed.exitStatus, 0) << renewed.errors;
}

TEST_F(RemoteServerTest, AKeptCertificateThatCannotBeReadRefusesTheServerAndIsNeverWrittenOver)
{
    ASSERT_EQ(print(serverAddress(), "show\nprint\n").exitStatus, 0);
    std::vector<std::string> names = keptCertificates();
    ASSERT_EQ(names.size(), 1u);
    std::string kept = home.path(".cups/ssl/" + names[0]);
    std::string pem = fileContents(kept);
    ASSERT_NE(pem.find("-----END CERTIFICATE-----"), std::string::npos) << pem;

    // Only a missing file is a first contact: what else lies there leaves the server untrusted.
    struct Damage {
        const char* what;
        std::function<void()> make;
        std::string problem;
    };
    const Damage damages[] = {
        { "garbage", [&] { home.addFile(".cups/ssl/" + names[0], "\x13\x37 not a certificate\n"); }, "it holds no certificate" },
        { "empty", [&] { home.addFile(".cups/ssl/" + names[0], ""); }, "it is empty" },
        { "half its PEM", [&] { home.addFile(".cups/ssl/" + names[0], pem.substr(0, pem.size() / 2)); }, "its certificate is cut short" },
        { "a link to /dev/null", [&] { ASSERT_EQ(symlink("/dev/null", kept.c_str()), 0); }, "it is not a regular file" },
        { "a folder", [&] { home.addFolder(".cups/ssl/" + names[0]); }, "it is a folder" },
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        std::filesystem::remove_all(kept);
        damage.make();
        std::string before = std::filesystem::is_regular_file(kept) ? fileContents(kept) : "";
        size_t jobsBefore = jobCount();
        ProgramRun run = print(serverAddress(), "show\ntype 302 \"-SECRET\"\nprint\n");
        EXPECT_TRUE(endsInOneClearError(run, "the CUPS server at " + serverAddress() + " shows a certificate that cannot be trusted: the one trusted for it, kept in " + kept + ", cannot be read (" + damage.problem + ")"));
        EXPECT_EQ(jobCount(), jobsBefore) << "no job came";
        EXPECT_EQ(keptCertificates(), names);
        EXPECT_EQ(std::filesystem::is_symlink(kept), damage.problem == "it is not a regular file");
        EXPECT_EQ(std::filesystem::is_directory(kept), damage.problem == "it is a folder");
        if (std::filesystem::is_regular_file(kept)) {
            EXPECT_EQ(fileContents(kept), before) << "never written over";
        }
    }
}

TEST_F(RemoteServerTest, TheCertificateIsKeptForTheServerHoweverItsNameIsSpelled)
{
    // The client's side knows the server by the name printhost too, in a hosts file of its own.
    home.addFile("hosts", "127.0.0.1 localhost\n" + std::string(TestNetwork::kServerAddress) + " printhost\n");
    auto printOn = [&](const std::string& server) {
        std::vector<std::string> command = onTheClientSide({ PRINTDIALOG_PATH, "--printer", "movra", "--server", server, "--file",
            gServer->path("document.txt"), "--settings", kDefaultCodes, "--settings-dir", home.path("settings"), "--script", "-" });
        command.insert(command.begin(), { "/usr/bin/unshare", "--mount", "--propagation", "private", "--", "/bin/sh", "-c", "mount --bind \"$0\" /etc/hosts && exec \"$@\"", home.path("hosts") });
        return runProgram(command, withInput("show\nprint\n"));
    };
    const std::string refused = " shows a certificate that cannot be trusted: another one than the one trusted for it";
    std::string other = anotherCertificate();

    // First met as PRINTHOST: one certificate for the server, by its name in lower case and its port.
    ProgramRun first = printOn("PRINTHOST:631");
    ASSERT_EQ(first.exitStatus, 0) << first.errors;
    EXPECT_EQ(keptCertificates(), std::vector<std::string> { "printhost:631.crt" });
    std::string kept = home.path(".cups/ssl/printhost:631.crt");
    std::string pem = fileContents(kept);
    home.addFile(".cups/ssl/printhost:631.crt", other);
    for (const std::string spelling : { "printhost:631", "PrintHost:631" })
        EXPECT_TRUE(endsInOneClearError(printOn(spelling), "the CUPS server at " + spelling + refused)) << spelling;

    // One kept by an earlier version, under the name as it was spelled then and without the port,
    // holds for every spelling until the server's own name has one.
    std::filesystem::remove(kept);
    home.addFile(".cups/ssl/PRINTHOST.crt", other);
    EXPECT_TRUE(endsInOneClearError(printOn("printhost:631"), "the CUPS server at printhost:631" + refused));
    home.addFile(".cups/ssl/PRINTHOST.crt", pem);
    ProgramRun earlier = printOn("printhost:631");
    EXPECT_EQ(earlier.exitStatus, 0) << earlier.errors;
    EXPECT_EQ(fileContents(kept), pem) << "kept under the server's own name from now on";

    // The address is another spelling that names no server: no name is looked up.
    ProgramRun address = printOn(serverAddress());
    EXPECT_EQ(address.exitStatus, 0) << address.errors;
    EXPECT_EQ(keptCertificates(), (std::vector<std::string> { "192.0.2.1:631.crt", "PRINTHOST.crt", "printhost:631.crt" }));
}

TEST_F(RemoteServerTest, AServerSwappedWhileThePromptIsUpGetsNoCodesAndTheRightOneGetsThemBack)
{
    // The person's agent has trusted the server and brought up the prompt of a held job.
    int job = submitWithLp(gServer->socket(), "movra-hold", gServer->path("document.txt"), { "-U", "nobody" });
    ASSERT_GT(job, 0);
    RunningProgram agent(onTheClientSide({ AGENT_PATH, "--server", serverAddress(), "--settings-dir", home.path("settings"), "--script", "-" }),
        ProgramOptions { passwordLine(), { { "DISPLAY", "" }, { "WAYLAND_DISPLAY", "" } }, std::chrono::milliseconds(40000), "" });
    std::string line = "job " + std::to_string(job) + " movra-hold: ";
    ASSERT_TRUE(agent.waitForOutput(line + "prompt: Accounting\n"));

    // Another machine takes the server's address, with a certificate of its own, before the
    // person answers.
    gServer->stop();
    PrivateCupsServer impostor;
    std::string error;
    ASSERT_TRUE(impostor.start(serverSetup(), &error)) << error;
    agent.type("type 501 \"nobody-SECRET\"\ntype 503 \"11-SECRET\"\nclick 1000\n");
    EXPECT_TRUE(agent.waitForOutput(line + "waits for the server: the answer given is carried out once it is back\n"));
    EXPECT_TRUE(agent.waitForErrors(" than the one trusted for it"));
    std::string requests = impostor.accessLog();
    EXPECT_EQ(requests.find("Set-Job-Attributes"), std::string::npos) << "the codes never went to the impostor: " << requests;
    impostor.stop();

    // The server is back: the person's answer releases the job, without asking again.
    ASSERT_TRUE(gServer->restart(&error)) << error;
    EXPECT_TRUE(agent.waitForOutput(line + "released\n"));
    agent.sendSignal(SIGTERM);
    ProgramRun run = agent.finish();
    EXPECT_EQ(run.errors.find("SECRET"), std::string::npos) << run.errors;
    EXPECT_EQ(gServer->jobAttribute(job, "job-accounting-user-id"), "nobody-SECRET");
    EXPECT_EQ(gServer->jobAttribute(job, "job-account-id"), "11-SECRET");
}

// Another machine may take the server's address between two connections of one request: cupsd
// closes the connection on which it asks for the person's password, and the request goes again,
// with the password, on a new one. It goes only where the certificate trusted is shown: the kept
// certificate is compared as each of the agent's connections opens, but libcups makes this one
// again by itself.
TEST_F(RemoteServerTest, AServerSwappedBetweenTwoConnectionsOfOneRequestGetsNothing)
{
    PrivateCupsServer::Setup other = serverSetup();
    other.listen = std::string(TestNetwork::kServerAddress) + ":8631";
    PrivateCupsServer impostor;
    std::string error;
    ASSERT_TRUE(impostor.start(other, &error)) << error;
    FakeHttpServer relay;
    ASSERT_TRUE(relay.startSwitching(TestNetwork::kServerAddress, gNetwork->serverSide(), 631, 8631));
    ProgramRun run = runProgram(onTheClientSide({ AGENT_PATH, "--once", "--server", relay.server(), "--settings-dir", home.path("settings"), "--script", "-" }),
        withInput(passwordLine()));
    EXPECT_NE(run.errors.find(relay.server() + " now shows another certificate (SHA-256 "), std::string::npos) << run.errors;
    EXPECT_EQ(run.exitStatus, 2);
    std::string requests = impostor.accessLog();
    EXPECT_EQ(requests.find("Get-Jobs"), std::string::npos) << "neither the request nor the password reached the other machine: " << requests;
}

TEST_F(RemoteServerTest, AJobSentFromThisComputerIsTakenUpAtOnceThoughTheServersEventsCannotRingHere)
{
    // The person's agent, its prompt answered as soon as it comes.
    RunningProgram agent(onTheClientSide({ AGENT_PATH, "--server", serverAddress(), "--settings-dir", home.path("settings"), "--script", "-" }),
        ProgramOptions { passwordLine() + "type 501 \"nobody-SECRET\"\ntype 503 \"11-SECRET\"\nclick 1000\n", { { "DISPLAY", "" }, { "WAYLAND_DISPLAY", "" } },
            std::chrono::milliseconds(30000), "" });
    ASSERT_TRUE(agent.waitForErrors("accounting-agent: the CUPS server at " + serverAddress()
        + " is on another machine, whose events cannot reach this one: your jobs there are looked for as this computer sends them, and others "
          "are seen within 60 s\n"));

    // A program on the person's computer prints to the server, which holds the job.
    auto sent = std::chrono::steady_clock::now();
    ProgramRun lp = runProgram(onTheClientSide({ "/usr/bin/lp", "-h", serverAddress(), "-d", "movra-hold", gServer->path("document.txt") }));
    ASSERT_EQ(lp.exitStatus, 0) << lp.errors;
    size_t id = lp.output.find("request id is movra-hold-");
    ASSERT_NE(id, std::string::npos) << lp.output;
    int job = atoi(lp.output.c_str() + id + strlen("request id is movra-hold-"));
    ASSERT_TRUE(agent.waitForOutput("job " + std::to_string(job) + " movra-hold: released\n"));
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(20)) << "as this computer sends it, not at the server's pace of a minute, whatever the machine's load";

    // Idle, the agent holds none of the server's clients, and its own connections closed are no
    // news to it: no connection comes while nothing is printed.
    std::vector<std::string> connections;
    for (int tries = 0; tries < 50; ++tries) {
        connections = connectionsToTheServer(agent.pid());
        if (std::count(connections.begin(), connections.end(), "ESTABLISHED") == 0)
            break;
        usleep(20000);
    }
    EXPECT_EQ(std::count(connections.begin(), connections.end(), "ESTABLISHED"), 0);
    usleep(2000000);
    EXPECT_LE(connectionsToTheServer(agent.pid()).size(), connections.size());
    agent.sendSignal(SIGTERM);
    ProgramRun run = agent.finish();
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.errors.find("SECRET"), std::string::npos) << run.errors;
    EXPECT_EQ(gServer->jobAttribute(job, "job-account-id"), "11-SECRET");
}

// The server's policy may have changed since the agent learnt it (the same server, its address
// and certificate, restarted by its administrator): the agent asks again on each connection.
TEST_F(RemoteServerTest, AServerRestartedToTakeAnyNameGetsStoredCodesOnlyWithAPrintThePersonConfirms)
{
    // At first the server makes a job only for whom it authenticated (the administrators' guide's
    // policy, the owner's operations granted to whoever names the owner, as the test has no
    // password to give).
    PrivateCupsServer::Setup checking = serverSetup();
    checking.owners = PrivateCupsServer::JobOwners::Authenticated;
    checking.policyChanges = { { "    AuthType Default\n    Require user @OWNER @SYSTEM\n", "    Require user @OWNER @SYSTEM\n" } };
    std::string error;
    ASSERT_TRUE(gServer->restart(checking, &error)) << error;
    struct Restored {
        ~Restored()
        {
            std::string ignored;
            gServer->restart(serverSetup(), &ignored);
        }
    } restored;
    ProgramRun configured = runProgram(onTheClientSide({ PRINTDIALOG_PATH, "--configure", "--printer", "movra-hold", "--server", serverAddress(),
                                           "--settings-dir", home.path("settings"), "--script", "-" }),
        withInput("show\nchoose 100 3\nclick 300\ntype 302 \"nobody-SECRET\"\ntype 304 \"11-SECRET\"\nprint\n"));
    ASSERT_EQ(configured.exitStatus, 0) << configured.errors;
    int own = submitWithLp(gServer->socket(), "movra-hold", gServer->path("document.txt"), {}, "nobody");
    ASSERT_GT(own, 0);
    auto agent = startAgent();
    ASSERT_TRUE(agent->waitForOutput("job " + std::to_string(own) + " movra-hold: released\n")) << "stored codes go at once";
    // The agent at rest: the connection that fetched the queue's PPD has had its listing.
    usleep(1500000);

    // Restarted to take any name a request gives, it takes a job in the person's name from anyone.
    ASSERT_TRUE(gServer->restart(serverSetup(), &error)) << error;
    int foreign = submitWithLp(gServer->socket(), "movra-hold", gServer->path("document.txt"), { "-U", "nobody" });
    int next = printFromTheClient();
    ASSERT_GT(foreign * next, 0);
    // The first of them brings up the prompt, the other waits its turn; neither goes meanwhile.
    EXPECT_TRUE(agent->waitForOutput("job " + std::to_string(foreign) + " movra-hold: prompt: Accounting\n"));
    usleep(1500000);
    agent->sendSignal(SIGTERM);
    ProgramRun run = agent->finish();
    EXPECT_NE(run.errors.find("the CUPS server at " + serverAddress() + " accepts jobs in another user's name"), std::string::npos) << run.errors;
    EXPECT_EQ(gServer->jobAttribute(foreign, "job-accounting-user-id"), "");
    EXPECT_EQ(gServer->jobAttribute(next, "job-accounting-user-id"), "");
    EXPECT_EQ(gServer->jobAttribute(next, "job-state"), "pending-held");
}

// Only the person's own programs ring: another user's connections to the server make the agent
// ask nothing, and the person's own a listing at most every second. (A connection closed before
// the agent saw it open is no one's as far as the kernel says, and rings too, as a quick print's
// must: at most once a second as well.)
TEST_F(RemoteServerTest, OnlyThePersonsOwnConnectionsHaveTheirJobsLookedFor)
{
    auto agent = startAgent();
    auto listings = [] {
        std::string log = gServer->accessLog();
        int count = 0;
        for (size_t at = log.find("Get-Jobs"); at != std::string::npos; at = log.find("Get-Jobs", at + 1))
            ++count;
        return count;
    };
    // The agent at rest: its first listing is in the server's log, which a loaded machine may
    // write a second late.
    int before = -1;
    for (int tries = 0; tries < 20 && listings() != before; ++tries) {
        before = listings();
        usleep(1000000);
    }
    connectAgainAndAgain("root", std::chrono::seconds(3), std::chrono::milliseconds(400));
    usleep(500000);
    EXPECT_EQ(listings(), before) << "another user's connections ring nothing";
    before = listings();
    connectAgainAndAgain("nobody", std::chrono::seconds(3), std::chrono::milliseconds(10));
    usleep(1500000);
    EXPECT_GE(listings() - before, 1);
    EXPECT_LE(listings() - before, 5) << "at most one listing a second, for three seconds of connections";
    agent->sendSignal(SIGTERM);
    EXPECT_EQ(agent->finish().exitStatus, 0);
}

TEST_F(RemoteServerTest, AServerThatOffersNoEncryptionGetsNothingAndAStopWhileOneStallsSaysSo)
{
    FakeHttpServer plain;
    ASSERT_TRUE(plain.start(FakeHttpServer::Behaviour::Plain, TestNetwork::kServerAddress, gNetwork->serverSide()));
    ProgramRun run = print(plain.server(), "show\nprint\n");
    EXPECT_TRUE(endsInOneClearError(run, "the CUPS server at " + plain.server() + " offers no encryption"));

    // One that never answers the upgrade to TLS says nothing of itself when the agent is stopped.
    FakeHttpServer stalling;
    ASSERT_TRUE(stalling.start(FakeHttpServer::Behaviour::Silent, TestNetwork::kServerAddress, gNetwork->serverSide()));
    RunningProgram agent(onTheClientSide({ AGENT_PATH, "--once", "--server", stalling.server(), "--settings-dir", home.path("settings") }),
        ProgramOptions { "", { { "DISPLAY", "" }, { "WAYLAND_DISPLAY", "" } }, std::chrono::milliseconds(20000), "" });
    // Stopped once it waits on the server, however long a slow build takes to get there.
    unsigned port = static_cast<unsigned>(atoi(stalling.server().c_str() + stalling.server().rfind(':') + 1));
    for (int tries = 0; tries < 200 && connectionsToTheServer(agent.pid(), port).empty(); ++tries)
        usleep(50000);
    usleep(300000);
    auto sent = std::chrono::steady_clock::now();
    agent.sendSignal(SIGTERM);
    ProgramRun stopped = agent.finish();
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(1));
    EXPECT_EQ(stopped.exitStatus, 0) << stopped.errors;
    EXPECT_EQ(stopped.errors, "accounting-agent: the CUPS server at " + stalling.server() + " was left before the connection was encrypted: interrupted\n");
}

// Servers on this machine that misbehave; no CUPS and no privilege needed.
class MisbehavingServerTest : public ::testing::Test {
protected:
    // More than the sockets between printdialog and a server that reads none of it hold: its
    // sending stops midway.
    static constexpr off_t kStuckDocumentBytes = 32 * 1024 * 1024;

    // A page, or a document of that many bytes (zeros, kept on disk alone: a program forked from
    // the test counts the test's memory as its own until it runs).
    void writeDocument(off_t bytes = 0)
    {
        document.addFile("document.txt", bytes ? "" : "A page.\n");
        if (bytes) {
            ASSERT_EQ(truncate(document.path("document.txt").c_str(), bytes), 0);
        }
    }

    ProgramRun print(const std::string& server, const std::vector<std::string>& more = {}, off_t documentBytes = 0)
    {
        writeDocument(documentBytes);
        std::vector<std::string> arguments { PRINTDIALOG_PATH, "--printer", "movra", "--server", server, "--file", document.path("document.txt"),
            "--script", "-" };
        arguments.insert(arguments.end(), more.begin(), more.end());
        return runProgram(arguments, withInput("show\nprint\n"));
    }

    TemporaryTree document;
};

TEST_F(MisbehavingServerTest, AnEndlessPPDIsCutOffAt16MiB)
{
    FakeHttpServer endless;
    ASSERT_TRUE(endless.start(FakeHttpServer::Behaviour::EndlessPPD));
    EXPECT_TRUE(endsInOneClearError(print(endless.server()), "movra: cannot get the printer's PPD: the CUPS server at " + endless.server() + " sends more than 16 MiB"));
}

TEST_F(MisbehavingServerTest, ASilentServerIsGivenUpAtTheTimeout)
{
    FakeHttpServer silent;
    ASSERT_TRUE(silent.start(FakeHttpServer::Behaviour::Silent));
    ProgramRun run = print(silent.server(), { "--timeout", "0.3" });
    EXPECT_TRUE(endsInOneClearError(run, "the CUPS server at " + silent.server() + " did not answer within 0.3 s"));
    EXPECT_GE(run.elapsed.count(), 300) << "it was waited for";
}

TEST_F(MisbehavingServerTest, ATricklingServerIsGivenUpAtTheTimeout)
{
    FakeHttpServer trickling;
    ASSERT_TRUE(trickling.start(FakeHttpServer::Behaviour::Trickling));
    ProgramRun run = print(trickling.server(), { "--timeout", "0.3" });
    EXPECT_TRUE(endsInOneClearError(run, "the CUPS server at " + trickling.server() + " did not answer within 0.3 s"));
}

// Whether the server has the document is known only by its answer: a job whose whole document went
// may print, and stays; one whose document the server stopped taking holds the codes, and goes.
TEST_F(MisbehavingServerTest, AServerSilentAfterTheDocumentLeavesTheJobToPrintAndOneStuckMidwayHasItTakenBack)
{
    struct Case {
        off_t documentBytes;
        std::string said;
        std::string operations;
    };
    FakeHttpServer printer;
    ASSERT_TRUE(printer.startStallingPrinter(EXAMPLES_DIR "/Movra-RK7700.ppd", document.path("operations")));
    const std::string silent = "the CUPS server at " + printer.server() + " did not answer within 0.3 s";
    for (const Case& sent : { Case { 0,
                                  "movra: the server took the document of job 7 but its answer was lost (" + silent
                                      + "): the job may print; check it with lpstat -W all movra-7",
                                  "Get-Jobs\nCreate-Job\nSend-Document\n" },
             Case { kStuckDocumentBytes, "movra: the document could not be sent (" + silent + "); job 7 was cancelled",
                 "Get-Jobs\nCreate-Job\nSend-Document\nCancel-Job 7 purge\n" } }) {
        document.addFile("operations", "");
        ProgramRun run = print(printer.server(), { "--settings", kDefaultCodes, "--settings-dir", document.path("store"), "--timeout", "0.3" }, sent.documentBytes);
        EXPECT_TRUE(endsInOneClearError(run, sent.said));
        EXPECT_EQ(fileContents(document.path("operations")), sent.operations);
    }
}

TEST_F(MisbehavingServerTest, CtrlCWhileTheDocumentGoesTakesTheJobBackBeforeTheProgramEnds)
{
    FakeHttpServer printer;
    ASSERT_TRUE(printer.startStallingPrinter(EXAMPLES_DIR "/Movra-RK7700.ppd", document.path("operations")));
    writeDocument(kStuckDocumentBytes);
    document.addFile("print.txt", "show\nprint\n");
    RunningProgram dialog({ PRINTDIALOG_PATH, "--printer", "movra", "--server", printer.server(), "--file", document.path("document.txt"),
        "--settings", kDefaultCodes, "--settings-dir", document.path("store"), "--script", document.path("print.txt") });
    // A minute at most for the document to start: a loaded machine may take seconds.
    for (int wait = 0; wait < 6000 && fileContents(document.path("operations")).find("Send-Document") == std::string::npos; ++wait)
        usleep(10000);
    ASSERT_NE(fileContents(document.path("operations")).find("Send-Document"), std::string::npos) << "the document never started";
    dialog.sendSignal(SIGINT);
    ProgramRun run = dialog.finish();
    EXPECT_EQ(run.signal, SIGINT) << "it ends as Ctrl-C asks";
    EXPECT_NE(run.errors.find("movra: the document could not be sent (interrupted); job 7 was cancelled"), std::string::npos) << run.errors;
    EXPECT_EQ(fileContents(document.path("operations")), "Get-Jobs\nCreate-Job\nSend-Document\nCancel-Job 7 purge\n");
}

}
