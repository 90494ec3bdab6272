// The agent's IPP against a private CUPS server of the tests' own: what it lists of the user's
// jobs, a release that carries every option, and the life of its subscriptions, renewed by the
// agent before their lease ends and cancelled when it stops.
#include "agent/Agent.h"
#include "agent/ConnectionsToServer.h"
#include "tests/cups/FakeHttpServer.h"
#include "tests/cups/LpJobs.h"
#include "tests/cups/PrivateCupsServer.h"
#include "tests/cups/SharedCupsServerTest.h"
#include "tests/cups/TestNetwork.h"
#include "agent/ServerJobs.h"
#include "tests/cups/ServerSubscriptions.h"

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

class ServerJobsTest : public SharedCupsServerTest {
protected:
    static void SetUpTestSuite()
    {
        PrivateCupsServer::Setup setup;
        setup.holdingQueues = true;
        setup.systemBus = true;
        startServer(setup);
    }

    static int submit(const std::vector<std::string>& arguments = {}, const std::string& user = "")
    {
        return submitWithLp(gServer->socket(), "movra-hold", gServer->path("document.txt"), arguments, user);
    }

    static const ServerJob* find(const std::vector<ServerJob>& jobs, int id)
    {
        for (const ServerJob& job : jobs) {
            if (job.id == id)
                return &job;
        }
        return nullptr;
    }
};

TEST_F(ServerJobsTest, TheUsersOwnJobsAreListedWithWhatTheAgentDecidesBy)
{
    int plain = submit({ "-t", "report.pdf" });
    int accounted = submit({ "-o", "job-accounting-user-id=carol" });
    int others = submit({}, "nobody");
    ASSERT_GT(plain * accounted * others, 0);
    ServerJobs server(gServer->socket());
    std::string error;
    ASSERT_EQ(server.connect(&error), Reply::Done) << error;
    EXPECT_TRUE(server.isLocal());
    EXPECT_EQ(server.serverName(), "the CUPS server at " + gServer->socket());
    std::vector<ServerJob> jobs;
    ASSERT_EQ(server.listJobs(&jobs, &error), Reply::Done) << error;
    const ServerJob* job = find(jobs, plain);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->queue, "movra-hold");
    EXPECT_EQ(job->name, "report.pdf");
    EXPECT_TRUE(job->heldIndefinitely);
    EXPECT_TRUE(job->documentArrived);
    EXPECT_FALSE(job->carriesAccounting);
    ASSERT_TRUE(find(jobs, accounted));
    EXPECT_TRUE(find(jobs, accounted)->carriesAccounting);
    EXPECT_FALSE(find(jobs, others)) << "another user's job is not the agent's to see";
    for (int id : { plain, accounted })
        EXPECT_EQ(server.cancel(id, &error), Reply::Done) << error;
    system(("cancel -h '" + gServer->socket() + "' " + std::to_string(others)).c_str());
}

TEST_F(ServerJobsTest, AReleaseCarriesEveryOptionAndTheCodesInOneRequest)
{
    int job = submit();
    ASSERT_GT(job, 0);
    ServerJobs server(gServer->socket());
    std::string error;
    ASSERT_EQ(server.connect(&error), Reply::Done) << error;
    constexpr const char* kClient = "com.pmvendor.printingmanager";
    std::vector<StandIn::TicketItem> items = { { "com.movra.Act.trel.On", kClient, false, 3, "", false },
        { "com.movra.Act.trel.UID", kClient, true, 0, "uid-7", false }, { "com.movra.Act.trel.AID", kClient, true, 0, "aid-7", false } };
    ASSERT_EQ(server.release(job, items, &error), Reply::Done) << error;
    std::string seen = jobsAsSeenBy(*gServer, "root", job);
    EXPECT_NE(seen.find("job-accounting-user-id=uid-7"), std::string::npos) << seen;
    EXPECT_NE(seen.find("job-account-id=aid-7"), std::string::npos) << seen;
    EXPECT_NE(seen.find("job-hold-until=no-hold"), std::string::npos) << seen;
    std::string refused;
    EXPECT_EQ(server.release(987654, items, &refused), Reply::Refused);
    EXPECT_EQ(refused.find("uid-7"), std::string::npos) << refused;
}

TEST_F(ServerJobsTest, ARefusalThatQuotesTheCodesIsReportedWithoutThem)
{
    FakeHttpServer refusing;
    ASSERT_TRUE(refusing.startRefusing("job-accounting-user-id=uid-7 and job-account-id=aid-7 are not possible here"));
    ServerJobs server(refusing.server());
    std::string error;
    ASSERT_EQ(server.connect(&error), Reply::Done) << error;
    constexpr const char* kClient = "com.pmvendor.printingmanager";
    std::vector<StandIn::TicketItem> items = { { "com.movra.Act.trel.UID", kClient, true, 0, "uid-7", false },
        { "com.movra.Act.trel.AID", kClient, true, 0, "aid-7", false } };
    EXPECT_EQ(server.release(7, items, &error), Reply::Refused);
    EXPECT_EQ(error, "job-accounting-user-id=(code) and job-account-id=(code) are not possible here");
}

TEST_F(ServerJobsTest, ASubscriptionTellsOfHeldJobsUntilItIsCancelled)
{
    ServerJobs server(gServer->socket());
    std::string error;
    ASSERT_EQ(server.connect(&error), Reply::Done) << error;
    int subscription = 0;
    ASSERT_EQ(server.subscribe(Delivery::Pull, 60s, &subscription, &error), Reply::Done) << error;
    int job = submit();
    ASSERT_GT(job, 0);
    Notifications news;
    bool gone = true;
    ASSERT_EQ(server.notifications(subscription, 1, &news, &gone, &error), Reply::Done) << error;
    EXPECT_FALSE(gone);
    EXPECT_TRUE(news.heldJobSeen);
    EXPECT_GT(news.nextSequence, 1);
    EXPECT_EQ(news.askAgainIn, 60s) << "CUPS answers at once, and asks to be asked again in a minute";
    Notifications quiet;
    ASSERT_EQ(server.notifications(subscription, news.nextSequence, &quiet, &gone, &error), Reply::Done) << error;
    EXPECT_FALSE(quiet.heldJobSeen) << "an event is told once";

    EXPECT_EQ(server.renew(subscription, 120s, &error), Reply::Done) << error;
    EXPECT_EQ(server.unsubscribe(subscription, &error), Reply::Done) << error;
    EXPECT_EQ(server.notifications(subscription, 1, &quiet, &gone, &error), Reply::Refused);
    EXPECT_TRUE(gone);
    EXPECT_EQ(server.renew(subscription, 120s, &error), Reply::Refused);
    EXPECT_EQ(server.cancel(job, &error), Reply::Done) << error;
}

TEST_F(ServerJobsTest, AServerThatIsNotThereIsLost)
{
    ServerJobs nowhere(gServer->path("nosuch.sock"));
    std::string error;
    EXPECT_EQ(nowhere.connect(&error), Reply::Lost);
    EXPECT_EQ(error, "the CUPS server at " + gServer->path("nosuch.sock") + " cannot be reached: there is no such socket");
    std::vector<ServerJob> jobs;
    EXPECT_EQ(nowhere.listJobs(&jobs, &error), Reply::Lost);
    EXPECT_EQ(nowhere.socket(), -1);
}

TEST_F(ServerJobsTest, TheAgentRenewsItsSubscriptionsBeforeTheirLeaseEndsAndCancelsThemAtTheEnd)
{
    ASSERT_TRUE(subscriptionsOf(gServer->socket(), "root").empty());
    TemporaryTree home;
    pid_t agent = fork();
    if (agent == 0) {
        setenv("DBUS_SYSTEM_BUS_ADDRESS", gServer->busAddress().c_str(), 1);
        setenv("XDG_RUNTIME_DIR", home.root().c_str(), 1);
        AgentOptions options;
        options.server = gServer->socket();
        options.settingsFolder = home.path("settings");
        std::ostringstream out;
        std::ostringstream err;
        AgentTiming timing;
        // The server keeps a lease's end in whole seconds, so that one of 4 s may end 3 s after
        // it began; renewed at half of it, that leaves a second for a loaded machine.
        timing.lease = 4s;
        _exit(runAgent(options, out, err, timing));
    }
    std::vector<ServerSubscription> first;
    for (int tries = 0; tries < 100 && first.size() < 2; ++tries) {
        std::this_thread::sleep_for(20ms);
        first = subscriptionsOf(gServer->socket(), "root");
    }
    ASSERT_EQ(first.size(), 2u) << "one to pull events from, one that rings the bus";
    std::this_thread::sleep_for(5s);
    std::vector<ServerSubscription> later = subscriptionsOf(gServer->socket(), "root");
    ASSERT_EQ(later.size(), 2u) << "a lease of four seconds has passed: only renewals keep them";
    for (size_t i = 0; i < later.size(); ++i)
        EXPECT_EQ(later[i].id, first[i].id) << "renewed, not made anew";
    EXPECT_EQ(first[0].delivery, "ippget");
    EXPECT_EQ(first[1].delivery, "dbus://");
    kill(agent, SIGTERM);
    int status = 0;
    waitpid(agent, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(subscriptionsOf(gServer->socket(), "root").empty()) << "cancelled as the agent ended";
}

// A server that is down is tried again after 1 s, then 2 s, 4 s, ...: in 11 s, four tries where
// one each second would make eleven. Its port takes each try's connection and drops it: before
// the encryption that the person's settings ask for has begun, or, with none asked for, before
// it answers the first request (a server that takes connections is not back until it answers).
class AgentOnAServerThatIsDown : public ::testing::TestWithParam<bool> { };

INSTANTIATE_TEST_SUITE_P(Encryption, AgentOnAServerThatIsDown, ::testing::Values(true, false),
    [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "AlwaysAsked" : "NotAsked"; });

TEST_P(AgentOnAServerThatIsDown, TriesItAgainLessAndLessOften)
{
    TemporaryTree home;
    int port = 0;
    int listener = TestNetwork::loopbackListener(&port);
    ASSERT_GE(listener, 0);
    pid_t agent = fork();
    if (agent == 0) {
        setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + home.path("no-bus")).c_str(), 1);
        setenv("XDG_RUNTIME_DIR", home.root().c_str(), 1);
        // As "Encryption Always" in the person's client.conf says.
        if (GetParam())
            cupsSetEncryption(HTTP_ENCRYPTION_ALWAYS);
        AgentOptions options;
        options.server = "127.0.0.1:" + std::to_string(port);
        options.settingsFolder = home.path("settings");
        std::ostringstream out;
        std::ostringstream err;
        _exit(runAgent(options, out, err));
    }
    // A try takes more than one connection (a plain one follows to learn why it failed): those
    // that come within half a second of the one before belong to the same try.
    int tries = 0;
    std::string connected;
    auto started = std::chrono::steady_clock::now();
    auto last = std::chrono::steady_clock::time_point {};
    for (auto end = started + 11s; std::chrono::steady_clock::now() < end;) {
        pollfd waiting { listener, POLLIN, 0 };
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (poll(&waiting, 1, static_cast<int>(std::max<long>(left.count(), 0))) != 1)
            continue;
        close(accept(listener, nullptr, nullptr));
        auto now = std::chrono::steady_clock::now();
        connected += " " + std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(now - started).count()) + " ms";
        if (now - last > 500ms)
            ++tries;
        last = now;
    }
    kill(agent, SIGTERM);
    int status = 0;
    waitpid(agent, &status, 0);
    close(listener);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_GE(tries, 3) << "tried again; connected at" << connected;
    EXPECT_LE(tries, 6) << "connected at" << connected;
}

// What a held job's prompt says the agent saw: whether one of the person's programs on this
// computer was connected to the server as the job was made, which is known only while it looks.
TEST(ConnectionsToAServer, TellWhetherOneOfThePersonsProgramsWasConnectedWhenAJobWasMade)
{
    int port = 0;
    int listener = TestNetwork::loopbackListener(&port);
    ASSERT_GE(listener, 0);
    sockaddr_in server {};
    server.sin_family = AF_INET;
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    server.sin_port = htons(static_cast<uint16_t>(port));
    auto connection = [&server] {
        int made = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        EXPECT_EQ(connect(made, reinterpret_cast<sockaddr*>(&server), sizeof server), 0);
        return made;
    };
    int agents = connection();
    ConnectionsToServer connections;
    connections.follow(agents);
    EXPECT_EQ(connections.programConnectedAt(time(nullptr)), ConnectionsToServer::Seen::NotWatched) << "nothing looked at yet";
    EXPECT_FALSE(connections.changed()) << "the agent's own connection is no news";
    EXPECT_EQ(connections.programConnectedAt(time(nullptr)), ConnectionsToServer::Seen::NoneSeen);
    int program = connection();
    EXPECT_TRUE(connections.changed());
    EXPECT_EQ(connections.programConnectedAt(time(nullptr)), ConnectionsToServer::Seen::Connected);
    EXPECT_EQ(connections.programConnectedAt(time(nullptr) + 3600), ConnectionsToServer::Seen::NotWatched) << "not yet looked at then";
    for (int descriptor : { program, agents, listener })
        close(descriptor);
}

}
