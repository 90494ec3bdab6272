// accounting-agent as a whole process, with a private CUPS server (run as root): how long a job
// printed with lp waits on a holding Movra queue before the agent has released it with the stored
// default codes, and on a holding queue of another maker's printer that asks for a user code
// (examples/Lumio-LP300.ppd) with its stored code, the two taking turns, beside the time of lp
// itself in the same run; then the agent's CPU time over a
// minute with nothing to do, and its resident memory. Prints one table (bench/README.md).
//
// Usage: AgentBenchmark [JOBS [IDLE_SECONDS]]   (default 20 jobs, 60 s)
#include "tests/cups/LpJobs.h"
#include "tests/cups/PrivateCupsServer.h"
#include "tests/support/RunningProgram.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The time the process has spent on a CPU so far, in nanoseconds from the scheduler
// (/proc/PID/schedstat), finer than the clock ticks of /proc/PID/stat.
Milliseconds cpuTime(pid_t pid)
{
    std::ifstream schedstat("/proc/" + std::to_string(pid) + "/schedstat");
    long long nanoseconds = 0;
    schedstat >> nanoseconds;
    return Milliseconds(double(nanoseconds) / 1e6);
}

// A line of /proc/PID/status, in KiB.
long statusKiB(pid_t pid, const std::string& name)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(name + ":", 0) == 0)
            return atol(line.c_str() + name.size() + 1);
    }
    return 0;
}

}

int main(int argc, char** argv)
{
    int jobs = argc > 1 ? atoi(argv[1]) : 20;
    int idleSeconds = argc > 2 ? atoi(argv[2]) : 60;
    if (geteuid() != 0 || jobs < 1 || idleSeconds < 0) {
        fprintf(stderr, "usage (as root): AgentBenchmark [JOBS [IDLE_SECONDS]]\n");
        return 2;
    }
    PrivateCupsServer server;
    std::string error;
    PrivateCupsServer::Setup setup;
    setup.holdingQueues = true;
    setup.systemBus = true;
    if (!server.start(setup, &error)) {
        fprintf(stderr, "AgentBenchmark: %s\n", error.c_str());
        return 2;
    }
    if (!server.addQueue("codes-hold", "lumio-codes", "", PrivateCupsServer::JobHold::Indefinite)) {
        fprintf(stderr, "AgentBenchmark: the server took no queue codes-hold\n");
        return 2;
    }
    TemporaryTree home;
    home.addFile("settings/movra-hold.plist", fileContents(EXAMPLES_DIR "/settings/default-codes.plist"));
    home.addFile("settings/codes-hold.plist", fileContents(EXAMPLES_DIR "/settings/user-code.plist"));
    ProgramOptions options;
    options.environment = { { "DISPLAY", "" }, { "WAYLAND_DISPLAY", "" }, { "XDG_RUNTIME_DIR", home.root() },
        { "DBUS_SYSTEM_BUS_ADDRESS", server.busAddress() } };
    options.timeout = std::chrono::seconds(idleSeconds + 120);
    RunningProgram agent({ AGENT_PATH, "--server", server.socket(), "--settings-dir", home.path("settings") }, options);
    // Settled: subscribed, and the first (empty) listing done.
    std::this_thread::sleep_for(std::chrono::seconds(1));

    std::vector<double> lpTimes;
    std::vector<double> releaseTimes[2];
    const char* queues[2] = { "movra-hold", "codes-hold" };
    for (int i = 0; i < 2 * jobs; ++i) {
        const char* queue = queues[i % 2];
        auto start = Clock::now();
        int job = submitWithLp(server.socket(), queue, server.path("document.txt"));
        auto submitted = Clock::now();
        if (job <= 0 || !agent.waitForOutput("job " + std::to_string(job) + " " + queue + ": released\n")) {
            fprintf(stderr, "AgentBenchmark: job %d was not released\n", job);
            return 1;
        }
        lpTimes.push_back(Milliseconds(submitted - start).count());
        releaseTimes[i % 2].push_back(Milliseconds(Clock::now() - submitted).count());
    }
    long afterJobsKiB = statusKiB(agent.pid(), "VmRSS");

    Milliseconds idleStart = cpuTime(agent.pid());
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    Milliseconds idle = cpuTime(agent.pid()) - idleStart;
    long idleKiB = statusKiB(agent.pid(), "VmRSS");
    long peakKiB = statusKiB(agent.pid(), "VmHWM");
    agent.sendSignal(SIGTERM);
    ProgramRun run = agent.finish();

    printf("| what | median | min | max |\n|---|---|---|---|\n");
    printf("| lp, submitting one job (whole process) | %.1f ms | %.1f ms | %.1f ms |\n", median(lpTimes),
        *std::min_element(lpTimes.begin(), lpTimes.end()), *std::max_element(lpTimes.begin(), lpTimes.end()));
    const char* rows[2] = { "a Movra queue", "a queue whose printer asks for a user code" };
    for (int queue = 0; queue < 2; ++queue) {
        const std::vector<double>& times = releaseTimes[queue];
        printf("| from lp returning to the job released by the agent, %s | %.1f ms | %.1f ms | %.1f ms |\n", rows[queue], median(times),
            *std::min_element(times.begin(), times.end()), *std::max_element(times.begin(), times.end()));
    }
    printf("\n%d jobs on each queue; agent CPU over %d s idle: %.2f ms; resident memory: %ld KiB after the jobs, %ld KiB idle, peak %ld KiB; "
           "agent exit status %d\n",
        jobs, idleSeconds, idle.count(), afterJobsKiB, idleKiB, peakKiB, run.exitStatus);
    return run.exitStatus == 0 ? 0 : 1;
}
