// How long a job printed with lp waits before the person's agent has released it with the stored
// codes, without a question, where a desktop meets its server (run as root, bench/README.md):
// - an office's server on another machine with the README's policy, over TLS, in a Kerberos
//   realm (the person's ticket proves who they are);
// - the same server taking passwords (Basic, PAM), the person's password remembered in the
//   desktop's keyring;
// - the desktop's own server, reached through its socket, on a system without a system bus.
// Each time is from lp returning to the agent's "released" line; with --agent, the agent measured
// is the one given (the Debian package's, /usr/bin/accounting-agent), not the build's.
//
// Usage: OfficeReleaseBenchmark [--agent PATH] [--only kerberos|password|own] [JOBS]   (default 20 jobs)
#include "tests/cups/LpJobs.h"
#include "tests/cups/OfficeServer.h"
#include "queues/keyring/tests/PrivateSecretService.h"
#include "tests/support/RunningProgram.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <pwd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

std::string gAgent = AGENT_PATH;
// Longer than any run of the jobs.
constexpr std::chrono::minutes kAgentLifetime { 30 };

ProgramOptions longLived(std::vector<std::pair<std::string, std::string>> environment = {})
{
    ProgramOptions options;
    options.environment = std::move(environment);
    options.timeout = kAgentLifetime;
    return options;
}

// Says why a measurement cannot be made; false.
bool failed(const std::string& why)
{
    fprintf(stderr, "OfficeReleaseBenchmark: %s\n", why.c_str());
    return false;
}

// The value below which share of the sorted times lie (0.5: the median).
double quantile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    size_t at = std::min(values.size() - 1, static_cast<size_t>(share * static_cast<double>(values.size())));
    return values[at];
}

// The number lp printed ("request id is movra-hold-N"), or 0.
int jobNumber(const ProgramRun& run)
{
    size_t id = run.output.find("request id is movra-hold-");
    return run.exitStatus == 0 && id != std::string::npos ? atoi(run.output.c_str() + id + strlen("request id is movra-hold-")) : 0;
}

// jobs prints, each by print() (the job's number), released by the watching agent.
bool measure(const char* what, RunningProgram& agent, int jobs, const std::function<int()>& print)
{
    std::vector<double> times;
    for (int i = 0; i < jobs; ++i) {
        int job = print();
        auto printed = Clock::now();
        if (job <= 0 || !agent.waitForOutput("job " + std::to_string(job) + " movra-hold: released\n")) {
            agent.sendSignal(SIGTERM);
            ProgramRun run = agent.finish();
            fprintf(stderr, "OfficeReleaseBenchmark: %s: job %d was not released: %s\n", what, job, run.errors.c_str());
            return false;
        }
        times.push_back(Milliseconds(Clock::now() - printed).count());
        // A person's prints come seconds apart: the agent looks for the jobs of this computer's
        // prints at most once a second.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    }
    agent.sendSignal(SIGTERM);
    agent.finish();
    printf("| %s | %.0f ms | %.0f ms | %.0f ms | %.0f ms |\n", what, quantile(times, 0.5), quantile(times, 0.99),
        *std::min_element(times.begin(), times.end()), *std::max_element(times.begin(), times.end()));
    fflush(stdout);
    return true;
}

// The queue's default codes in the person's settings folder, theirs alone.
void storeCodes(TemporaryTree& home, const passwd* person)
{
    home.addFile("settings/movra-hold.plist", fileContents(EXAMPLES_DIR "/settings/default-codes.plist"));
    for (const std::string& path : { home.root(), home.path("settings"), home.path("settings/movra-hold.plist") }) {
        chown(path.c_str(), person->pw_uid, person->pw_gid);
        chmod(path.c_str(), path == home.root() ? 0711 : 0700);
    }
}

bool kerberos(int jobs)
{
    OfficeServer office;
    std::string error;
    if (!office.start(OfficeServer::Proof::Kerberos, &error))
        return failed(error);
    const passwd* nobody = getpwnam("nobody");
    TemporaryTree home;
    storeCodes(home, nobody);
    std::string ticket = office.ticketFor("nobody", nobody->pw_uid);
    RunningProgram agent(office.onTheDesktop({ gAgent, "--settings-dir", home.path("settings") }, "nobody", home.root(), ticket), longLived());
    std::this_thread::sleep_for(std::chrono::seconds(1));
    return measure("another machine, Kerberos", agent, jobs, [&] {
        return jobNumber(runProgram(office.onTheDesktop({ "/usr/bin/lp", "-d", "movra-hold", office.server().path("document.txt") }, "nobody",
            home.root(), ticket)));
    });
}

bool password(int jobs)
{
    OfficeServer office;
    std::string error;
    if (!office.start(OfficeServer::Proof::Password, &error))
        return failed(error);
    TemporaryTree home;
    storeCodes(home, getpwnam("root"));
    PrivateSecretService keyring(home);
    if (!keyring.startBus(&error) || !keyring.startKeyring(&error))
        return failed(error);
    auto [name, value] = keyring.busVariable();
    std::vector<std::string> session { name + "=" + value };
    // The person gives the password once and has it remembered.
    ProgramRun remembered = runProgram(office.onTheDesktop({ gAgent, "--once", "--settings-dir", home.path("settings"), "--script", "-" }, "root",
                                           home.root(), "", session),
        withInput(std::string("password ") + OfficeServer::kPassword + " remember\n"));
    if (remembered.exitStatus != 0)
        return failed("the password was not remembered: " + remembered.errors);
    RunningProgram agent(office.onTheDesktop({ gAgent, "--settings-dir", home.path("settings") }, "root", home.root(), "", session), longLived());
    std::this_thread::sleep_for(std::chrono::seconds(1));
    // lp asks for the password on its terminal, which script(1) gives it; the password is typed
    // once the question is up, since the terminal drops what was typed before.
    std::string lp = std::string("(sleep 0.5; echo ") + OfficeServer::kPassword + ") | script -qec 'lp -d movra-hold "
        + office.server().path("document.txt") + "' /dev/null";
    return measure("another machine, password remembered", agent, jobs, [&] {
        ProgramRun run = runProgram(office.onTheDesktop({ "/bin/sh", "-c", lp }, "root", home.root()));
        if (jobNumber(run) <= 0)
            fprintf(stderr, "OfficeReleaseBenchmark: lp: %s%s\n", run.output.c_str(), run.errors.c_str());
        return jobNumber(run);
    });
}

bool ownServerWithoutBus(int jobs)
{
    PrivateCupsServer server;
    std::string error;
    PrivateCupsServer::Setup setup;
    setup.holdingQueues = true;
    if (!server.start(setup, &error))
        return failed(error);
    TemporaryTree home;
    storeCodes(home, getpwnam("root"));
    ProgramOptions options = longLived({ { "DISPLAY", "" }, { "WAYLAND_DISPLAY", "" }, { "XDG_RUNTIME_DIR", home.root() },
        { "DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + home.path("no-system-bus") } });
    RunningProgram agent({ gAgent, "--server", server.socket(), "--settings-dir", home.path("settings") }, options);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    return measure("this machine's server, no system bus", agent, jobs,
        [&] { return submitWithLp(server.socket(), "movra-hold", server.path("document.txt")); });
}

}

int main(int argc, char** argv)
{
    int jobs = 20;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--agent") && i + 1 < argc)
            gAgent = argv[++i];
        else if (!strcmp(argv[i], "--only") && i + 1 < argc)
            only = argv[++i];
        else
            jobs = atoi(argv[i]);
    }
    if (geteuid() != 0 || jobs < 1) {
        fprintf(stderr, "usage (as root): OfficeReleaseBenchmark [--agent PATH] [--only kerberos|password|own] [JOBS]\n");
        return 2;
    }
    printf("%s, %d jobs each\n\n| where | p50 | p99 | min | max |\n|---|---|---|---|---|\n", gAgent.c_str(), jobs);
    bool measured = true;
    if (only.empty() || only == "kerberos")
        measured = kerberos(jobs) && measured;
    if (only.empty() || only == "password")
        measured = password(jobs) && measured;
    if (only.empty() || only == "own")
        measured = ownServerWithoutBus(jobs) && measured;
    return measured ? 0 : 1;
}
