#include "tests/support/BackgroundProcess.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

bool BackgroundProcess::start(const std::vector<std::string>& arguments, const std::vector<std::pair<std::string, std::string>>& environment,
    const std::string& log, int kept)
{
    stop();
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int output = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (output < 0)
        return false;
    pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);
        int nothing = open("/dev/null", O_RDONLY);
        dup2(nothing, STDIN_FILENO);
        dup2(output, STDOUT_FILENO);
        dup2(output, STDERR_FILENO);
        if (kept >= 0)
            fcntl(kept, F_SETFD, 0);
        signal(SIGPIPE, SIG_DFL);
        for (const auto& [name, value] : environment) {
            if (value.empty())
                unsetenv(name.c_str());
            else
                setenv(name.c_str(), value.c_str(), 1);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(output);
    if (child < 0)
        return false;
    // Set on both sides, so that the group exists whichever runs first.
    setpgid(child, child);
    m_group = child;
    m_ended = false;
    return true;
}

bool BackgroundProcess::running()
{
    if (m_group > 0 && !m_ended && waitpid(m_group, nullptr, WNOHANG) == m_group)
        m_ended = true;
    return m_group > 0 && !m_ended;
}

void BackgroundProcess::stop()
{
    if (m_group <= 0)
        return;
    kill(-m_group, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // Whatever is left of the group, the program itself or what it started and left behind.
    kill(-m_group, SIGKILL);
    if (!m_ended)
        waitpid(m_group, nullptr, 0);
    m_group = -1;
}
