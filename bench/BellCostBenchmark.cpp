// What another local user's system-bus connections cost an idle accounting-agent whose bell
// listens on the bus (agent/ServerBell.h), with a private CUPS server and system bus (run as
// root): each agent named (another build's, to compare side by side) runs at once against the
// same server; their CPU time is read over a quiet window, then over a window of the same length
// in which `nobody` connects to the bus, asks it one thing and hangs up, one connection after
// another at the pace given (0: as fast as the bus answers); then while nobody sends 20,000 of
// the notifier's signals to whoever listens, and 20,000 to each agent. Then one job is printed,
// to show that the bell still rings. Prints one table (bench/README.md).
//
// Usage: BellCostBenchmark SECONDS CONNECTIONS-A-SECOND AGENT...
#include "tests/cups/LpJobs.h"
#include "tests/cups/PrivateCupsServer.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/RunningProgram.h"
#include "tests/support/TemporaryTree.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Milliseconds = std::chrono::duration<double, std::milli>;

constexpr int kSpoofedSignals = 20000;

// The time the process has spent on a CPU so far, from the scheduler (/proc/PID/schedstat).
Milliseconds cpuTime(pid_t pid)
{
    std::ifstream schedstat("/proc/" + std::to_string(pid) + "/schedstat");
    long long nanoseconds = 0;
    schedstat >> nanoseconds;
    return Milliseconds(double(nanoseconds) / 1e6);
}

}

int main(int argc, char** argv)
{
    int seconds = argc > 1 ? atoi(argv[1]) : 0;
    int pace = argc > 2 ? atoi(argv[2]) : -1;
    if (geteuid() != 0 || seconds < 1 || pace < 0 || argc < 4) {
        fprintf(stderr, "usage (as root): BellCostBenchmark SECONDS CONNECTIONS-A-SECOND AGENT...\n");
        return 2;
    }
    std::vector<std::string> agentPaths(argv + 3, argv + argc);
    PrivateCupsServer server;
    std::string error;
    PrivateCupsServer::Setup setup;
    setup.holdingQueues = true;
    setup.systemBus = true;
    if (!server.start(setup, &error)) {
        fprintf(stderr, "BellCostBenchmark: %s\n", error.c_str());
        return 2;
    }
    std::vector<std::unique_ptr<TemporaryTree>> homes;
    std::vector<std::unique_ptr<RunningProgram>> agents;
    for (const std::string& path : agentPaths) {
        homes.push_back(std::make_unique<TemporaryTree>());
        homes.back()->addFolder("settings");
        ProgramOptions options;
        options.environment = { { "DISPLAY", "" }, { "WAYLAND_DISPLAY", "" }, { "XDG_RUNTIME_DIR", homes.back()->root() },
            { "DBUS_SYSTEM_BUS_ADDRESS", server.busAddress() } };
        options.timeout = std::chrono::seconds(2 * seconds + 120);
        agents.push_back(std::make_unique<RunningProgram>(std::vector<std::string> { path, "--server", server.socket(), "--settings-dir",
                                                              homes.back()->path("settings") },
            options));
    }
    // Settled: subscribed, the first (empty) listing done.
    std::this_thread::sleep_for(std::chrono::seconds(2));

    // Each agent's CPU time while what is done is done.
    auto spentWhile = [&](const std::function<void()>& done) {
        std::vector<Milliseconds> before;
        for (const auto& agent : agents)
            before.push_back(cpuTime(agent->pid()));
        done();
        std::vector<Milliseconds> spent;
        for (size_t agent = 0; agent < agents.size(); ++agent)
            spent.push_back(cpuTime(agents[agent]->pid()) - before[agent]);
        return spent;
    };
    std::vector<Milliseconds> quiet = spentWhile([&] { std::this_thread::sleep_for(std::chrono::seconds(seconds)); });
    long connections = 0;
    std::vector<Milliseconds> busy = spentWhile([&] { connections = server.systemBus().connectAs("nobody", std::chrono::seconds(seconds), pace); });
    // Then the notifier's signals from one connection of nobody's, to whoever listens (the bus
    // passes them on to agents that listen to the notifier's interface from anyone), and sent
    // straight to each agent, as anyone may send any connection a signal; a second for each
    // agent to read them.
    bool sent = true;
    std::vector<Milliseconds> spoofed = spentWhile([&] {
        sent = server.systemBus().ringAs("nobody", kSpoofedSignals) && sent;
        std::this_thread::sleep_for(std::chrono::seconds(1));
    });
    std::vector<Milliseconds> spoofedStraight;
    for (size_t agent = 0; agent < agents.size(); ++agent) {
        std::string connection = server.systemBus().connectionOf(agents[agent]->pid());
        spoofedStraight.push_back(spentWhile([&] {
            sent = !connection.empty() && server.systemBus().ringAs("nobody", kSpoofedSignals, connection) && sent;
            std::this_thread::sleep_for(std::chrono::seconds(1));
        })[agent]);
    }
    if (connections < 0 || !sent)
        fprintf(stderr, "BellCostBenchmark: nobody's connections or signals failed; the figures below are not of what they say\n");

    int job = submitWithLp(server.socket(), "movra-hold", server.path("document.txt"));
    std::vector<bool> heard;
    for (const auto& agent : agents)
        heard.push_back(job > 0 && agent->waitForOutput("job " + std::to_string(job) + " movra-hold: "));

    printf("| agent | CPU over %d s, quiet | CPU over %d s, nobody connecting (%ld connections, %.0f a second) | share of a core | CPU for %d of "
           "the notifier's signals from nobody, to whoever listens | the same, sent to the agent | heard the job |\n"
           "|---|---|---|---|---|---|---|\n",
        seconds, seconds, connections, double(connections) / seconds, kSpoofedSignals);
    for (size_t agent = 0; agent < agents.size(); ++agent) {
        printf("| %s | %.1f ms | %.1f ms | %.2f %% | %.1f ms | %.1f ms | %s |\n", agentPaths[agent].c_str(), quiet[agent].count(), busy[agent].count(),
            busy[agent].count() / (10.0 * seconds), spoofed[agent].count(), spoofedStraight[agent].count(), heard[agent] ? "yes" : "no");
        agents[agent]->sendSignal(SIGTERM);
        ProgramRun run = agents[agent]->finish();
        if (!heard[agent])
            fprintf(stderr, "%s said:\n%s%s", agentPaths[agent].c_str(), run.output.c_str(), run.errors.c_str());
    }
    return 0;
}
