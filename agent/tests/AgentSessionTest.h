// The session an agent runs in, as the tests of its process set it up: a private CUPS server
// with holding queues, the person's settings stored with printdialog, jobs printed with lp, and
// the agent run in a session of the test's own. No code ever reaches what either program writes.
#pragma once

#include "tests/cups/LpJobs.h"
#include "tests/cups/PrivateCupsServer.h"
#include "tests/support/SettingsFileValues.h"
#include "tests/support/ProgramRun.h"
#include "tests/cups/ServerSubscriptions.h"
#include "tests/cups/SharedCupsServerTest.h"
#include "tests/support/TemporaryTree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

// Default codes typed into the pane and saved for a queue, the prompt off.
inline const std::string kSaveDefaultCodes = "show\nchoose 100 3\nclick 300\ntype 302 \"alice-SECRET\"\ntype 304 \"4711-SECRET\"\nprint\n";
// The prompt off and no default codes.
inline const std::string kSaveNoCodes = "show\nchoose 100 3\nclick 300\nprint\n";
inline const std::string kSaveAccountingOff = "show\nchoose 100 1\nprint\n";
// The prompt answered.
inline const std::string kAnswerPrompt = "type 501 \"bob-SECRET\"\ntype 503 \"77-SECRET\"\nclick 1000\n";

// The suites of the agent's process share one private server each, with queues that hold every
// new job and a system bus of its own; a suite chooses who the server takes for a job's owner.
class AgentSessionTest : public SharedCupsServerTest {
protected:
    // configuration: cupsd.conf lines of the suite's own.
    static void startHoldingServer(PrivateCupsServer::JobOwners owners, const std::string& configuration = "")
    {
        startServer(holdingServer(owners, configuration));
    }

    static PrivateCupsServer::Setup holdingServer(PrivateCupsServer::JobOwners owners, const std::string& configuration = "")
    {
        PrivateCupsServer::Setup setup;
        setup.holdingQueues = true;
        setup.systemBus = true;
        setup.owners = owners;
        setup.configuration = configuration;
        return setup;
    }

    // A further queue that holds every new job, on the suite's server: a Movra one, or one of
    // the PPD given ("" for none).
    static void addHoldingQueue(const std::string& name, const std::string& ppd = "movra")
    {
        if (gServer && !gServer->addQueue(name, ppd, "", PrivateCupsServer::JobHold::Indefinite)) {
            TearDownTestSuite();
            gFailure = "the private server took no queue " + name;
        }
    }

    void SetUp() override
    {
        SharedCupsServerTest::SetUp();
        if (gServer) {
            for (const ServerSubscription& subscription : serverSubscriptions(gServer->socket()))
                m_subscriptionsBefore.push_back(subscription.id);
        }
    }

    // Each test meets only its own jobs, and leaves the server's subscriptions as it found them
    // whatever became of its agents: one killed when a test failed leaves its own behind, and
    // the next test would count them.
    void TearDown() override
    {
        if (!gServer)
            return;
        gServer->cancelAllJobs();
        cancelSubscriptionsBut(gServer->socket(), m_subscriptionsBefore);
    }

    // The session the agent runs in: no display, a runtime folder of the test's own, the
    // server's bus as the system bus.
    ProgramOptions session(const std::string& script = "") const
    {
        ProgramOptions options = withInput(script);
        options.environment = englishLanguageSettings();
        options.environment.insert(options.environment.end(),
            { { "DISPLAY", "" }, { "WAYLAND_DISPLAY", "" }, { "XDG_RUNTIME_DIR", m_home.root() },
                { "DBUS_SYSTEM_BUS_ADDRESS", gServer->busAddress() } });
        options.timeout = std::chrono::seconds(30);
        return options;
    }

    std::vector<std::string> agentCommand(const std::vector<std::string>& more) const
    {
        std::vector<std::string> command { AGENT_PATH, "--server", gServer->socket(), "--settings-dir", folder() };
        command.insert(command.end(), more.begin(), more.end());
        return command;
    }

    // The agent handling the jobs held now, its prompts answered by script when one is given.
    ProgramRun once(const std::string& script = "") const
    {
        std::vector<std::string> more { "--once" };
        if (!script.empty())
            more.insert(more.end(), { "--script", "-" });
        return checked(runProgram(agentCommand(more), session(script)));
    }

    // What accounting-agent --check says of the set-up, in English.
    ProgramRun check() const { return checked(runProgram(agentCommand({ "--check" }), session())); }

    // printdialog saving a queue's settings, as a person sets the agent up, in the session given
    // (by default none: no session bus, so the codes go into the queue's file), for the server as
    // the agent will name it (by default its socket): the settings are kept per server.
    void configure(const std::string& queue, const std::string& script, std::vector<std::pair<std::string, std::string>> environment = {},
        const std::string& server = "") const
    {
        ProgramOptions options = withInput(script);
        options.environment = std::move(environment);
        ProgramRun run = checked(runProgram({ PRINTDIALOG_PATH, "--configure", "--printer", queue, "--server", server.empty() ? gServer->socket() : server,
                                                "--settings-dir", folder(), "--script", "-" },
            options));
        ASSERT_EQ(run.exitStatus, 0) << run.errors;
    }

    static int lp(const std::string& queue, const std::vector<std::string>& arguments = {}, const std::string& user = "")
    {
        return submitWithLp(gServer->socket(), queue, gServer->path("document.txt"), arguments, user);
    }

    // No code ever reaches what a program writes.
    static ProgramRun checked(ProgramRun run)
    {
        EXPECT_EQ(run.output.find("SECRET"), std::string::npos) << run.output;
        EXPECT_EQ(run.errors.find("SECRET"), std::string::npos) << run.errors;
        return run;
    }

    static std::string state(int job) { return gServer->jobAttribute(job, "job-state"); }
    static std::string prefix(int job, const std::string& queue) { return "job " + std::to_string(job) + " " + queue + ": "; }

    std::string folder() const { return m_home.path("settings"); }
    std::string storedFile(const std::string& queue) const { return queueSettingsFile(folder(), queue, gServer->socket()); }

    TemporaryTree m_home;
    std::vector<int> m_subscriptionsBefore;
};
