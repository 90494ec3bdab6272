// What another local user's system-bus connections cost an idle accounting-agent whose bell
// listens on the bus (agent/ServerBell.h), with a private CUPS server and system bus (run as
// root): each agent named (another build's, to compare side by side) runs at once against the
// same server; their CPU time is read over a quiet window, then over a window of the same length
// in which `nobody` runs dbus-send on the bus, one connection after another. Then one job is
// printed, to show that the bell still rings. Prints one table (bench/README.md).
//
// Usage: BellCostBenchmark SECONDS AGENT...
#include "LpJobs.h"
#include "PrivateCupsServer.h"
#include "ProgramRun.h"
#include "RunningProgram.h"
#include "TemporaryTree.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Milliseconds = std::chrono::duration<double, std::milli>;

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
    if (geteuid() != 0 || seconds < 1 || argc < 3) {
        fprintf(stderr, "usage (as root): BellCostBenchmark SECONDS AGENT...\n");
        return 2;
    }
    std::vector<std::string> agentPaths(argv + 2, argv + argc);
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

    auto window = [&](bool connecting, long* connections) {
        std::vector<Milliseconds> before;
        for (const auto& agent : agents)
            before.push_back(cpuTime(agent->pid()));
        if (connecting) {
            ProgramOptions options;
            options.user = "nobody";
            options.environment = { { "DBUS_SYSTEM_BUS_ADDRESS", server.busAddress() } };
            options.timeout = std::chrono::seconds(seconds + 30);
            std::string loop = "end=$(($(date +%s) + " + std::to_string(seconds)
                + "))\ncount=0\nwhile [ \"$(date +%s)\" -lt \"$end\" ]; do\n"
                  "    dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus.GetId >/dev/null\n"
                  "    count=$((count + 1))\ndone\necho \"$count\"\n";
            ProgramRun run = runProgram({ "/bin/sh", "-c", loop }, options);
            *connections = atol(run.output.c_str());
        } else {
            std::this_thread::sleep_for(std::chrono::seconds(seconds));
        }
        std::vector<Milliseconds> spent;
        for (size_t agent = 0; agent < agents.size(); ++agent)
            spent.push_back(cpuTime(agents[agent]->pid()) - before[agent]);
        return spent;
    };
    long connections = 0;
    std::vector<Milliseconds> quiet = window(false, nullptr);
    std::vector<Milliseconds> busy = window(true, &connections);

    int job = submitWithLp(server.socket(), "movra-hold", server.path("document.txt"));
    std::vector<bool> heard;
    for (const auto& agent : agents)
        heard.push_back(job > 0 && agent->waitForOutput("job " + std::to_string(job) + " movra-hold: "));

    printf("| agent | CPU over %d s, quiet | CPU over %d s, nobody connecting (%ld connections, %.0f a second) | share of a core | heard the job |\n"
           "|---|---|---|---|---|\n",
        seconds, seconds, connections, double(connections) / seconds);
    for (size_t agent = 0; agent < agents.size(); ++agent) {
        printf("| %s | %.1f ms | %.1f ms | %.2f %% | %s |\n", agentPaths[agent].c_str(), quiet[agent].count(), busy[agent].count(),
            busy[agent].count() / (10.0 * seconds), heard[agent] ? "yes" : "no");
        agents[agent]->sendSignal(SIGTERM);
        agents[agent]->finish();
    }
    return 0;
}
