// What many idle accounting agents cost one CUPS server whose D-Bus signals cannot reach them (a
// server on another machine), and how soon one of them releases a job printed among them. N
// agents are simulated in one process of their own, run as a user (nobody), each a login of its
// own doing the agent's idle conversation through the agent's own ServerJobs and JobBook, their
// polls spread evenly over the period. The server is a private cupsd (tests/cups/PrivateCupsServer.h) with a queue that
// holds every new job, in a network namespace of the benchmark's own: reached over TCP at its
// loopback address, or, with --tls, from a second namespace at an address of another host, which
// CupsConnection reaches only over TLS, to the certificate first seen. Run as root; prints one
// line of the table in bench/README.md, and what it measured around it.
//
// Usage: ServerLoadBenchmark --agents N --period SECONDS --learn notifications|jobs
//            --connection kept|anew [--tls] [--hint] [--jobs J] [--windows W] [--window-seconds S]
//            [--threads T] [--max-clients M] [--max-subscriptions M] [--access-log LEVEL]
#include "agent/JobBook.h"
#include "tests/cups/LpJobs.h"
#include "tests/cups/PrivateCupsServer.h"
#include "queues/QueueSettings.h"
#include "agent/ServerJobs.h"
#include "tests/cups/TestNetwork.h"

#include <cups/cups.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <grp.h>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <pwd.h>
#include <random>
#include <set>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;
using Milliseconds = std::chrono::duration<double, std::milli>;

// How an agent learns of a new job: the events of a pull subscription of its own (Get-Notifications,
// and Get-Jobs when one tells of a held job), or its jobs listed every time (Get-Jobs, my-jobs,
// not-completed). An agent that the server grants no subscription lists its jobs, as the
// agent would have to.
enum class Learning {
    Notifications,
    Jobs,
};

// Whether an agent holds its connection open between polls, or connects anew for each one.
enum class Connection {
    Kept,
    Anew,
};

struct Options {
    int agents { 50 };
    Seconds period { 1.0 };
    Learning learning { Learning::Jobs };
    Connection connection { Connection::Kept };
    bool tls { false };
    bool hint { false };
    int jobs { 20 };
    int windows { 5 };
    Seconds window { 3.0 };
    int threads { 1 };
    int maxClients { 0 }; // 0: cupsd's default
    int maxSubscriptions { 0 };
    std::string accessLog { "actions" }; // cupsd's default AccessLogLevel
};

// A poll that gets no answer within this is a server that is not serving.
constexpr std::chrono::milliseconds kRequestTimeout { 5000 };
constexpr std::chrono::seconds kReleaseTimeout { 15 };
// How often the machine's connections are looked at for a hint, and how long a simulated agent
// sleeps at most before it looks for one.
constexpr std::chrono::milliseconds kHintLookInterval { 250 };
constexpr std::chrono::milliseconds kHintWait { 5 };
constexpr std::chrono::seconds kOwnPortMemory { 2 };

bool parseOptions(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--tls" || name == "--hint") {
            (name == "--tls" ? options->tls : options->hint) = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;
        std::string value = argv[++i];
        if (name == "--agents")
            options->agents = atoi(value.c_str());
        else if (name == "--period")
            options->period = Seconds(atof(value.c_str()));
        else if (name == "--learn" && (value == "notifications" || value == "jobs"))
            options->learning = value == "notifications" ? Learning::Notifications : Learning::Jobs;
        else if (name == "--connection" && (value == "kept" || value == "anew"))
            options->connection = value == "kept" ? Connection::Kept : Connection::Anew;
        else if (name == "--jobs")
            options->jobs = atoi(value.c_str());
        else if (name == "--windows")
            options->windows = atoi(value.c_str());
        else if (name == "--window-seconds")
            options->window = Seconds(atof(value.c_str()));
        else if (name == "--threads")
            options->threads = atoi(value.c_str());
        else if (name == "--max-clients")
            options->maxClients = atoi(value.c_str());
        else if (name == "--max-subscriptions")
            options->maxSubscriptions = atoi(value.c_str());
        else if (name == "--access-log")
            options->accessLog = value;
        else
            return false;
    }
    return options->agents >= 0 && options->period.count() > 0 && options->jobs >= 0 && options->windows >= 1 && options->window.count() > 0
        && options->threads >= 1;
}

// The time the process's threads have spent on a CPU so far, from the scheduler
// (/proc/PID/task/TID/schedstat, nanoseconds), finer than the clock ticks of /proc/PID/stat.
Milliseconds cpuTime(pid_t pid)
{
    long long nanoseconds = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        std::ifstream schedstat(task.path() / "schedstat");
        long long spent = 0;
        schedstat >> spent;
        nanoseconds += spent;
    }
    return Milliseconds(double(nanoseconds) / 1e6);
}

long residentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return atol(line.c_str() + 6);
    }
    return 0;
}

Milliseconds ownCpuTime()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    auto milliseconds = [](const timeval& time) { return double(time.tv_sec) * 1e3 + double(time.tv_usec) / 1e3; };
    return Milliseconds(milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime));
}

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    size_t rank = static_cast<size_t>(std::ceil(fraction * double(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

// The codes a person stored for the queue: the agent releases with them without a prompt.
std::vector<StandIn::TicketItem> storedCodes()
{
    QueueSettings settings = QueueSettings::unstored();
    settings.set(QueueSettings::Entry::Prompt, 0);
    std::vector<StandIn::TicketItem> items = settings.items();
    for (auto [entry, code] : { std::pair { QueueSettings::Entry::UserID, "bench-user" }, std::pair { QueueSettings::Entry::AccountID, "4711" } })
        items.push_back({ QueueSettings::key(entry), QueueSettings::client(), true, 0, code, false });
    return items;
}

struct SimulatedAgent {
    SimulatedAgent(std::string name, const std::string& address)
        : user(std::move(name))
        , server(address, kRequestTimeout, StopRequest::IsIgnored)
    {
    }

    std::string user;
    ServerJobs server;
    int subscription { 0 };
    int sequence { 1 };
    JobBook book;
};

// What the simulated agents did, read by the measuring thread while they go on.
struct Tally {
    std::atomic<long> requests { 0 };
    std::atomic<long> connections { 0 };
    std::atomic<long> failures { 0 };
    std::atomic<long> polls { 0 };
    std::atomic<long> latePolls { 0 };
    std::atomic<long> hintedPolls { 0 };
    std::atomic<long> listsOnEvents { 0 };
    std::atomic<long long> longestLagMicroseconds { 0 };
    std::mutex mutex;
    std::condition_variable releasedOne;
    std::map<int, Clock::time_point> released;
    std::string firstFailure;
};

class Simulation {
public:
    Simulation(const Options& options, const std::vector<std::string>& users, const std::string& address, Tally& tally)
        : m_options(options)
        , m_tally(tally)
        , m_codes(storedCodes())
    {
        for (const std::string& user : users)
            m_agents.push_back(std::make_unique<SimulatedAgent>(user, address));
    }

    const std::string& user(size_t agent) const { return m_agents[agent]->user; }

    // Each agent as it starts: connected, subscribed (when it learns so and the server grants
    // it), and its jobs listed once. How many hold a subscription.
    int start()
    {
        int subscribed = 0;
        for (auto& agent : m_agents) {
            cupsSetUser(agent->user.c_str());
            if (!connect(*agent))
                continue;
            std::string error;
            if (m_options.learning == Learning::Notifications) {
                count(agent->server.subscribe(Delivery::Pull, std::chrono::seconds(600), &agent->subscription, &error), error);
                subscribed += agent->subscription != 0;
            }
            listAndRelease(*agent);
            if (m_options.connection == Connection::Anew)
                agent->server.rest();
        }
        return subscribed;
    }

    // Polls until stopped, for the agents i of one of threads (i % threads == thread): agent i at
    // begin + (k + i / N) periods, for k = 0, 1, ...
    void run(const std::atomic<bool>& stop, Clock::time_point begin, size_t thread, size_t threads)
    {
        auto period = std::chrono::duration_cast<Clock::duration>(m_options.period);
        auto count = static_cast<long long>(m_agents.size());
        std::vector<size_t> mine;
        for (size_t index = thread; index < m_agents.size(); index += threads)
            mine.push_back(index);
        auto share = static_cast<long long>(mine.size());
        for (long long turn = 0; share && !stop; ++turn) {
            size_t index = mine[static_cast<size_t>(turn % share)];
            Clock::time_point due = begin + period * (turn / share) + period * static_cast<long long>(index) / count;
            while (Clock::now() < due && !stop) {
                std::this_thread::sleep_until(m_options.hint ? std::min(due, Clock::now() + kHintWait) : due);
                takeHint(thread, threads);
            }
            long long lag = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - due).count();
            for (long long longest = m_tally.longestLagMicroseconds; lag > longest && !m_tally.longestLagMicroseconds.compare_exchange_weak(longest, lag);) {
            }
            if (Clock::now() - due > period / 4)
                ++m_tally.latePolls;
            poll(*m_agents[index]);
            ++m_tally.polls;
        }
    }

    // The agent of the desktop that prints next, or -1: the simulated desktops share one
    // network namespace, and only that desktop's own agent would see its connection.
    void printingFrom(long agent) { m_printingAgent = agent; }

    // The hint: this machine's connections to the server's address and port, from
    // /proc/net/tcp and tcp6, looked at every kHintLookInterval until stopped. A connection that
    // is not an agent's own, new or in a new state, is a program printing, or about to: the
    // printing desktop's agent lists its jobs at once, and again at the next change, since the
    // job exists only once the program has sent it.
    void watchConnections(const std::atomic<bool>& stop, const std::string& address)
    {
        std::set<std::string> before;
        std::set<unsigned> own;
        while (!stop) {
            std::set<std::string> now = foreignConnections(address, &own);
            bool changed = std::any_of(now.begin(), now.end(), [&](const std::string& entry) { return !before.count(entry); });
            if (changed && m_printingAgent >= 0)
                m_hintedAgent = m_printingAgent.load();
            before = std::move(now);
            std::this_thread::sleep_for(kHintLookInterval);
        }
    }

private:
    // "PORT STATE" of each connection to address ("HOST:PORT") that no agent made. *own holds the
    // local ports of the agents' connections still listed: an agent knows the port of a
    // connection it has just made, and that connection stays its own through every state it
    // passes (TIME_WAIT lasts a minute after it is closed), while the port may serve another
    // program's connection once it is gone.
    std::set<std::string> foreignConnections(const std::string& address, std::set<unsigned>* own)
    {
        std::string host = address.substr(0, address.rfind(':'));
        unsigned port = static_cast<unsigned>(atoi(address.c_str() + address.rfind(':') + 1));
        in_addr ip {};
        inet_pton(AF_INET, host.c_str(), &ip);
        // As the kernel writes them: the address's four bytes as one number in this machine's
        // order, and the port, in hexadecimal.
        char remote[32];
        snprintf(remote, sizeof remote, "%08X:%04X", ip.s_addr, port);
        char mapped[64];
        snprintf(mapped, sizeof mapped, "0000000000000000FFFF0000%08X:%04X", ip.s_addr, port);
        std::set<std::string> connections;
        std::set<unsigned> listed;
        std::lock_guard lock(m_portsMutex);
        std::erase_if(m_newPorts, [](const auto& port) { return Clock::now() - port.second > kOwnPortMemory; });
        for (const char* table : { "/proc/net/tcp", "/proc/net/tcp6" }) {
            std::ifstream lines(table);
            std::string line;
            std::getline(lines, line);
            for (std::string slot, local, peer, state; lines >> slot >> local >> peer >> state && std::getline(lines, line);) {
                unsigned localPort = static_cast<unsigned>(strtoul(local.c_str() + local.rfind(':') + 1, nullptr, 16));
                if (peer != remote && peer != mapped)
                    continue;
                listed.insert(localPort);
                if (own->count(localPort) || m_newPorts.count(localPort))
                    own->insert(localPort);
                else
                    connections.insert(std::to_string(localPort) + " " + state);
            }
        }
        std::erase_if(*own, [&](unsigned port) { return !listed.count(port); });
        return connections;
    }

    void takeHint(size_t thread, size_t threads)
    {
        long hinted = m_hintedAgent;
        if (hinted < 0 || static_cast<size_t>(hinted) % threads != thread || !m_hintedAgent.compare_exchange_strong(hinted, -1))
            return;
        ++m_tally.hintedPolls;
        poll(*m_agents[static_cast<size_t>(hinted)]);
    }

    bool connect(SimulatedAgent& agent)
    {
        std::string error;
        ++m_tally.connections;
        if (!count(agent.server.connect(&error), error))
            return false;
        sockaddr_storage local {};
        socklen_t size = sizeof local;
        if (m_options.hint && getsockname(agent.server.socket(), reinterpret_cast<sockaddr*>(&local), &size) == 0) {
            std::lock_guard lock(m_portsMutex);
            m_newPorts[ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port : reinterpret_cast<sockaddr_in*>(&local)->sin_port)] = Clock::now();
        }
        return true;
    }

    bool count(Reply reply, const std::string& error)
    {
        if (reply == Reply::Done)
            return true;
        std::lock_guard lock(m_tally.mutex);
        if (m_tally.firstFailure.empty())
            m_tally.firstFailure = error;
        ++m_tally.failures;
        return false;
    }

    void poll(SimulatedAgent& agent)
    {
        cupsSetUser(agent.user.c_str());
        if (agent.server.socket() < 0 && !connect(agent))
            return;
        bool listAgain = agent.subscription == 0;
        if (agent.subscription) {
            Notifications news;
            bool gone = false;
            std::string error;
            ++m_tally.requests;
            if (count(agent.server.notifications(agent.subscription, agent.sequence, &news, &gone, &error), error)) {
                agent.sequence = news.nextSequence;
                listAgain = news.heldJobSeen;
                m_tally.listsOnEvents += listAgain;
            }
        }
        if (listAgain)
            listAndRelease(agent);
        if (m_options.connection == Connection::Anew)
            agent.server.rest();
    }

    // As the agent handles a listing: each held job it has not handled yet is released with the
    // stored codes (the Print dialog that decides so is not what is measured here).
    void listAndRelease(SimulatedAgent& agent)
    {
        std::vector<ServerJob> listed;
        std::string error;
        ++m_tally.requests;
        if (!count(agent.server.listJobs(&listed, &error), error))
            return;
        for (const ServerJob& job : agent.book.due(listed, Clock::now())) {
            ++m_tally.requests;
            bool released = count(agent.server.release(job.id, m_codes, &error), error);
            agent.book.record(job, released ? JobFate::Released : JobFate::LeftHeld);
            if (!released)
                continue;
            std::lock_guard lock(m_tally.mutex);
            m_tally.released[job.id] = Clock::now();
            m_tally.releasedOne.notify_all();
        }
    }

    const Options& m_options;
    Tally& m_tally;
    std::vector<StandIn::TicketItem> m_codes;
    std::vector<std::unique_ptr<SimulatedAgent>> m_agents;
    std::atomic<long> m_printingAgent { -1 };
    std::atomic<long> m_hintedAgent { -1 };
    std::mutex m_portsMutex;
    // The local ports of the agents' newest connections, until the watcher has surely seen them.
    std::map<unsigned, Clock::time_point> m_newPorts;
};

std::string serverConfiguration(const Options& options)
{
    std::string lines = "AccessLogLevel " + options.accessLog + "\n";
    if (options.maxClients)
        lines += "MaxClients " + std::to_string(options.maxClients) + "\n";
    if (options.maxSubscriptions)
        lines += "MaxSubscriptions " + std::to_string(options.maxSubscriptions) + "\n";
    return lines;
}

struct Window {
    double serverCpuPercent;
    double clientCpuPercent;
    double requestsPerSecond;
    double connectionsPerSecond;
};

// Starts the agents, measures the server while they are idle, then times the jobs' releases;
// prints what it found. The exit status: 0, or 1 when a job was not taken or not released.
int measure(const Options& options, const PrivateCupsServer& server, const std::string& address, const std::vector<std::string>& users)
{
    std::string loadAverage;
    std::getline(std::ifstream("/proc/loadavg"), loadAverage);
    loadAverage.resize(std::min(loadAverage.size(), loadAverage.find(' ', loadAverage.find(' ', loadAverage.find(' ') + 1) + 1)));

    Tally tally;
    Simulation simulation(options, users, address, tally);
    auto startBegin = Clock::now();
    int subscribed = simulation.start();
    Seconds startTime = Clock::now() - startBegin;
    long startRequests = tally.requests;
    std::atomic<bool> stop { false };
    // One thread waits for the server's every answer: a thousand polls a second need more.
    std::vector<std::thread> agents;
    auto begin = Clock::now();
    for (int thread = 0; thread < options.threads; ++thread)
        agents.emplace_back([&, thread] { simulation.run(stop, begin, static_cast<size_t>(thread), static_cast<size_t>(options.threads)); });
    if (options.hint)
        agents.emplace_back([&] { simulation.watchConnections(stop, address); });
    // Every agent polled as it started, and then at its turn: what is measured is how they go on.
    std::this_thread::sleep_for(std::min<Seconds>(options.period, std::chrono::seconds(2)));
    long serverKiB = residentKiB(server.pid());

    std::vector<Window> windows;
    for (int i = 0; i < options.windows; ++i) {
        auto begin = Clock::now();
        Milliseconds serverBegin = cpuTime(server.pid());
        Milliseconds clientBegin = ownCpuTime();
        long requestsBegin = tally.requests;
        long connectionsBegin = tally.connections;
        std::this_thread::sleep_for(options.window);
        double wall = Milliseconds(Clock::now() - begin).count();
        windows.push_back({ 100 * (cpuTime(server.pid()) - serverBegin).count() / wall, 100 * (ownCpuTime() - clientBegin).count() / wall,
            1000 * double(tally.requests - requestsBegin) / wall, 1000 * double(tally.connections - connectionsBegin) / wall });
    }

    // One job at a time, each printed by one of the agents' users chosen at random (each agent
    // has its own turn within the period), after a random wait of up to a period: where a job
    // falls within its agent's period is what a poll's latency depends on. The wait is 2 s at
    // most, which is many looks for a hint, whatever the period.
    std::mt19937 random(20261209);
    std::uniform_int_distribution<size_t> anyAgent(0, std::max<size_t>(1, static_cast<size_t>(options.agents)) - 1);
    std::uniform_real_distribution<double> withinPeriod(0, std::min(options.period.count(), 2.0));
    std::vector<double> latencies;
    std::string jobProblem;
    long listsOnEventsBefore = tally.listsOnEvents;
    for (int i = 0; i < options.jobs && options.agents > 0 && jobProblem.empty(); ++i) {
        std::this_thread::sleep_for(Seconds(withinPeriod(random)));
        // As a program on the user's desktop prints: over the network. lp gives up after 10 s: a
        // server whose every connection is taken does not answer a print until one is free.
        size_t printing = anyAgent(random);
        simulation.printingFrom(static_cast<long>(printing));
        int job = submitWithLp(address, "movra-hold", server.path("document.txt"), { "-U", simulation.user(printing) });
        auto submitted = Clock::now();
        if (job <= 0) {
            jobProblem = "lp got no job taken within 10 s";
            break;
        }
        std::unique_lock lock(tally.mutex);
        if (!tally.releasedOne.wait_for(lock, kReleaseTimeout, [&] { return tally.released.count(job) > 0; })) {
            jobProblem = "job " + std::to_string(job) + " was not released within " + std::to_string(kReleaseTimeout.count()) + " s";
            break;
        }
        // The agent may list the job before lp has read the server's answer and ended.
        latencies.push_back(std::max(0.0, Milliseconds(tally.released[job] - submitted).count()));
    }
    stop = true;
    for (std::thread& thread : agents)
        thread.join();

    auto median = [&](double Window::*field) {
        std::vector<double> values;
        for (const Window& window : windows)
            values.push_back(window.*field);
        return percentile(values, 0.5);
    };
    auto [least, most] = std::minmax_element(windows.begin(), windows.end(),
        [](const Window& a, const Window& b) { return a.serverCpuPercent < b.serverCpuPercent; });
    double requestsPerSecond = median(&Window::requestsPerSecond);
    double serverPercent = median(&Window::serverCpuPercent);
    printf("load average at start: %s; %d agents started in %.2f s (%ld requests); cupsd resident memory %ld KiB; %ld polls, %ld late by over "
           "a quarter period, longest lag %.1f ms; %ld failed requests%s%s\n",
        loadAverage.c_str(), options.agents, startTime.count(), startRequests, serverKiB, tally.polls.load(), tally.latePolls.load(),
        double(tally.longestLagMicroseconds) / 1000, tally.failures.load(), tally.firstFailure.empty() ? "" : ", the first: ",
        tally.firstFailure.c_str());
    printf("cupsd CPU in each %.0f s window, %% of a core:", options.window.count());
    for (const Window& window : windows)
        printf(" %.2f", window.serverCpuPercent);
    printf("; the simulated agents' own CPU, median: %.1f %%\n", median(&Window::clientCpuPercent));
    if (!latencies.empty())
        printf("%zu jobs released; lists of jobs after an event told of a held job: %.1f a job\n", latencies.size(),
            double(tally.listsOnEvents - listsOnEventsBefore) / double(latencies.size()));
    if (!jobProblem.empty())
        printf("%s\n", jobProblem.c_str());
    if (options.hint)
        printf("%ld polls on a hint\n", tally.hintedPolls.load());
    printf("release latencies, ms:");
    for (double latency : latencies)
        printf(" %.0f", latency);
    printf("\n");
    std::string learnsBy = options.learning == Learning::Notifications ? "Get-Notifications" : "Get-Jobs";
    if (options.hint)
        learnsBy += " on a hint";
    printf("| learns by | connection | TLS | N | P | subscribed | cupsd CPU, %% of a core | requests/s | connections/s | cupsd CPU a request | cupsd memory "
           "| release p50 | p99 | max |\n");
    printf("| %s | %s | %s | %d | %.2g s | %d | %.2f (%.2f-%.2f) | %.0f | %.0f | %.0f us | %.1f MB | ",
        learnsBy.c_str(), options.connection == Connection::Kept ? "kept" : "anew",
        options.tls ? "yes" : "no", options.agents, options.period.count(), subscribed, serverPercent, least->serverCpuPercent,
        most->serverCpuPercent, requestsPerSecond, median(&Window::connectionsPerSecond),
        requestsPerSecond > 0 ? 1e4 * serverPercent / requestsPerSecond : 0.0, double(serverKiB) / 1024);
    if (latencies.empty())
        printf("- | - | - |\n");
    else
        printf("%.0f ms | %.0f ms | %.0f ms |\n", percentile(latencies, 0.5), percentile(latencies, 0.99), percentile(latencies, 1.0));
    return jobProblem.empty() ? 0 : 1;
}

}

int main(int argc, char** argv)
{
    Options options;
    if (geteuid() != 0 || !parseOptions(argc, argv, &options)) {
        fprintf(stderr, "usage (as root): ServerLoadBenchmark --agents N --period SECONDS --learn notifications|jobs --connection kept|anew [--tls] [--hint]\n"
                        "    [--jobs J] [--windows W] [--window-seconds S] [--threads T] [--max-clients M] [--max-subscriptions M]\n"
                        "    [--access-log LEVEL]\n");
        return 2;
    }
    // A thousand kept connections are a thousand descriptors.
    rlimit files {};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    std::string error;
    TestNetwork network;
    if (!network.create(&error)) {
        fprintf(stderr, "ServerLoadBenchmark: %s\n", error.c_str());
        return 2;
    }
    PrivateCupsServer server;
    PrivateCupsServer::Setup setup;
    setup.network = network.serverSide();
    std::string address = std::string(options.tls ? TestNetwork::kServerAddress : "127.0.0.1") + ":631";
    setup.listen = address;
    setup.holdingQueues = true;
    // Users of a server on another machine prove who they are with a password or Kerberos, for
    // which the benchmark has no accounts: here the server takes the name a request gives.
    setup.owners = PrivateCupsServer::JobOwners::NamedInTheRequest;
    // Each agent is a user of its own, whom the server knows: the owner's operations look the
    // user up, and a name unknown to the system costs a longer search than a known one.
    for (int i = 0; i < options.agents; ++i) {
        char user[16];
        snprintf(user, sizeof user, "desk%04d", i);
        setup.accounts.push_back(user);
    }
    setup.configuration = serverConfiguration(options);
    if (!server.start(setup, &error)) {
        fprintf(stderr, "ServerLoadBenchmark: %s\n", error.c_str());
        return 2;
    }
    // The agents run as a person's agent does, as a user with a home of its own, where libcups
    // keeps the certificate it trusted for the server (root's would go to the system's /etc/cups/ssl).
    const passwd* nobody = getpwnam("nobody");
    TemporaryTree home;
    if (!nobody || chown(home.root().c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
        fprintf(stderr, "ServerLoadBenchmark: there is no user nobody to run the agents as\n");
        return 2;
    }
    fflush(stdout);
    pid_t agents = fork();
    if (agents == 0) {
        setenv("HOME", home.root().c_str(), 1);
        bool ready = TestNetwork::enter(options.tls ? network.clientSide() : network.serverSide()) && setgroups(0, nullptr) == 0
            && setgid(nobody->pw_gid) == 0 && setuid(nobody->pw_uid) == 0;
        if (!ready)
            fprintf(stderr, "ServerLoadBenchmark: cannot enter the benchmark's network namespace as nobody\n");
        int status = ready ? measure(options, server, address, setup.accounts) : 2;
        fflush(stdout);
        // The folders and the server are the parent's to remove.
        _exit(status);
    }
    int status = 2;
    waitpid(agents, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
}
