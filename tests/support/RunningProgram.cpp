#include "RunningProgram.h"

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

RunningProgram::RunningProgram(const std::vector<std::string>& arguments, const ProgramOptions& options)
    : m_timeout(options.timeout)
    , m_start(std::chrono::steady_clock::now())
{
    int input[2], output[2], errors[2];
    if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0 || pipe2(errors, O_CLOEXEC) != 0)
        return;
    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    signal(SIGPIPE, SIG_IGN);
    m_child = fork();
    if (m_child == 0) {
        dup2(input[0], STDIN_FILENO);
        dup2(output[1], STDOUT_FILENO);
        dup2(errors[1], STDERR_FILENO);
        for (const auto& [name, value] : options.environment) {
            if (value.empty())
                unsetenv(name.c_str());
            else
                setenv(name.c_str(), value.c_str(), 1);
        }
        if (!options.user.empty()) {
            const passwd* account = getpwnam(options.user.c_str());
            if (!account || setgroups(0, nullptr) != 0 || setgid(account->pw_gid) != 0 || setuid(account->pw_uid) != 0)
                _exit(126);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(input[0]);
    close(output[1]);
    close(errors[1]);
    m_input = input[1];
    m_streams[0] = output[0];
    m_streams[1] = errors[0];
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

void RunningProgram::type(const std::string& text)
{
    for (size_t written = 0; m_input >= 0 && written < text.size();) {
        ssize_t count = write(m_input, text.data() + written, text.size() - written);
        if (count < 0 && errno != EINTR)
            return;
        if (count > 0)
            written += static_cast<size_t>(count);
    }
}

bool RunningProgram::drain(std::chrono::milliseconds wait)
{
    pollfd streams[2] = { { m_streams[0], POLLIN, 0 }, { m_streams[1], POLLIN, 0 } };
    if (poll(streams, 2, static_cast<int>(wait.count())) <= 0)
        return m_streams[0] >= 0 || m_streams[1] >= 0;
    std::string* sinks[2] = { &m_run.output, &m_run.errors };
    for (int i = 0; i < 2; ++i) {
        if (m_streams[i] < 0 || !(streams[i].revents & (POLLIN | POLLHUP | POLLERR)))
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
    return m_streams[0] >= 0 || m_streams[1] >= 0;
}

bool RunningProgram::waitForOutput(const std::string& text)
{
    auto deadline = m_start + m_timeout;
    while (m_run.output.find(text) == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !drain(left))
            return m_run.output.find(text) != std::string::npos;
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
    if (m_input >= 0) {
        close(m_input);
        m_input = -1;
    }
    auto deadline = m_start + m_timeout;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            m_run.timedOut = true;
            kill(m_child, SIGKILL);
            break;
        }
        if (!drain(left))
            break;
    }
    int status = 0;
    rusage usage {};
    if (m_child > 0 && wait4(m_child, &status, 0, &usage) == m_child) {
        m_run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        m_run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        m_run.peakResidentKiB = usage.ru_maxrss;
    }
    m_child = -1;
    m_run.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_start);
    return m_run;
}
