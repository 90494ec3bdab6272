#include "tests/support/RunningProgram.h"

#include "tests/support/ReachableCopies.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void setUpChild(const ProgramOptions& options, const std::vector<std::pair<std::string, std::string>>& environment, int input, int output, int errors)
{
    dup2(input, STDIN_FILENO);
    dup2(output, STDOUT_FILENO);
    dup2(errors, STDERR_FILENO);
    // The program starts as a shell would start it in the foreground: the test ignores SIGPIPE
    // for its own writes, and a test run from a background job (where the shell ignores SIGINT
    // and SIGQUIT, which the programs then leave ignored, as nohup'd programs do) still reaches
    // the program with Ctrl-C.
    for (int reset : { SIGPIPE, SIGINT, SIGQUIT })
        signal(reset, SIG_DFL);
    // The machine's session bus, and with it the person's keyring, is never a test's: a program
    // finds no session bus (as the programs mark it themselves when there is none), unless the
    // test gives it the bus of a session of its own.
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    for (const auto& [name, value] : environment) {
        if (value.empty())
            unsetenv(name.c_str());
        else
            setenv(name.c_str(), value.c_str(), 1);
    }
    if (!options.user.empty()) {
        const passwd* account = getpwnam(options.user.c_str());
        if (!account || setgroups(0, nullptr) != 0 || setgid(account->pw_gid) != 0 || setuid(account->pw_uid) != 0)
            _exit(126);
        setenv("HOME", account->pw_dir, 1);
        setenv("USER", account->pw_name, 1);
        setenv("LOGNAME", account->pw_name, 1);
    }
}

}

RunningProgram::RunningProgram(const std::vector<std::string>& arguments, const ProgramOptions& options)
    : m_timeout(options.timeout)
    , m_start(std::chrono::steady_clock::now())
{
    int input[2], output[2], errors[2];
    if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0 || pipe2(errors, O_CLOEXEC) != 0) {
        m_run.errors = "cannot make pipes";
        return;
    }
    std::vector<std::string> reachable = arguments;
    std::vector<std::pair<std::string, std::string>> environment;
    if (!options.user.empty()) {
        for (auto& argument : reachable)
            argument = reachableBy(options.user, argument);
        environment = sanitizerOptionsFor(options.user);
    }
    environment.insert(environment.end(), options.environment.begin(), options.environment.end());
    std::vector<char*> argv;
    for (const auto& argument : reachable)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // A program that stops reading must not take the test down with it.
    signal(SIGPIPE, SIG_IGN);
    m_child = fork();
    if (m_child == 0) {
        setUpChild(options, environment, input[0], output[1], errors[1]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(input[0]);
    close(output[1]);
    close(errors[1]);
    m_input = input[1];
    fcntl(m_input, F_SETFL, O_NONBLOCK);
    m_streams[0] = output[0];
    m_streams[1] = errors[0];
    type(options.input);
}

RunningProgram::~RunningProgram()
{
    if (m_child > 0) {
        kill(m_child, SIGKILL);
        waitpid(m_child, nullptr, 0);
    }
    for (int descriptor : { m_input, m_streams[0], m_streams[1] }) {
        if (descriptor >= 0)
            close(descriptor);
    }
}

std::chrono::milliseconds RunningProgram::timeLeft() const
{
    return m_timeout - std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_start);
}

void RunningProgram::endInput()
{
    if (m_input >= 0)
        close(m_input);
    m_input = -1;
    m_typed.clear();
}

bool RunningProgram::pump(std::chrono::milliseconds wait)
{
    bool typing = !m_typed.empty() && m_input >= 0;
    if (m_streams[0] < 0 && m_streams[1] < 0 && !typing)
        return false;
    // poll passes over an entry whose descriptor is negative.
    pollfd ready[3] = { { m_streams[0], POLLIN, 0 }, { m_streams[1], POLLIN, 0 }, { typing ? m_input : -1, POLLOUT, 0 } };
    if (poll(ready, 3, static_cast<int>(std::max<long>(wait.count(), 0))) <= 0)
        return m_streams[0] >= 0 || m_streams[1] >= 0;
    std::string* sinks[2] = { &m_run.output, &m_run.errors };
    for (int i = 0; i < 2; ++i) {
        if (m_streams[i] < 0 || !(ready[i].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char buffer[4096];
        ssize_t count = read(m_streams[i], buffer, sizeof buffer);
        if (count > 0) {
            sinks[i]->append(buffer, static_cast<size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            close(m_streams[i]);
            m_streams[i] = -1;
        }
    }
    if (ready[2].fd >= 0 && (ready[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
        ssize_t count = write(m_input, m_typed.data(), m_typed.size());
        if (count > 0)
            m_typed.erase(0, static_cast<size_t>(count));
        // The program has closed its standard input, or ended: nothing more can be typed.
        else if (count < 0 && errno != EAGAIN && errno != EINTR)
            endInput();
    }
    return m_streams[0] >= 0 || m_streams[1] >= 0;
}

void RunningProgram::type(const std::string& text)
{
    if (m_input < 0)
        return;
    m_typed += text;
    while (!m_typed.empty() && m_input >= 0) {
        if (timeLeft().count() <= 0 || !pump(timeLeft()))
            return;
    }
}

bool RunningProgram::waitFor(const std::string& stream, const std::string& text)
{
    while (stream.find(text) == std::string::npos) {
        if (timeLeft().count() <= 0 || !pump(timeLeft()))
            return stream.find(text) != std::string::npos;
    }
    return true;
}

void RunningProgram::sendSignal(int signal)
{
    if (m_child > 0)
        kill(m_child, signal);
}

ProgramRun RunningProgram::finish()
{
    type("");
    endInput();
    while (m_child > 0) {
        if (timeLeft().count() <= 0) {
            m_run.timedOut = true;
            kill(m_child, SIGKILL);
            break;
        }
        if (!pump(timeLeft()))
            break;
    }
    int status = 0;
    rusage usage {};
    if (m_child > 0 && wait4(m_child, &status, 0, &usage) == m_child) {
        m_run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        m_run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        m_run.peakResidentKiB = usage.ru_maxrss;
        auto milliseconds = [](const timeval& time) { return std::chrono::milliseconds(time.tv_sec * 1000 + time.tv_usec / 1000); };
        m_run.processorTime = milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime);
    }
    m_child = -1;
    m_run.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_start);
    return m_run;
}
