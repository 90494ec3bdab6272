#include "agent/WindowProcess.h"

#include "agent/AgentChild.h"
#include "program/ProcessGuards.h"
#include "program/SecretWipe.h"
#include "program/WriteAll.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

bool answerInWindowProcess(const std::string& window, const std::function<std::string()>& ask, std::string* said, std::string* why)
{
    int result[2];
    if (pipe2(result, O_CLOEXEC) != 0) {
        *why = window + " cannot be started: " + strerror(errno);
        return false;
    }
    pid_t process = forkAgentChild();
    if (process == 0) {
        ::close(result[0]);
        setenv("QT_NO_GLIB", "1", 1);
        std::string bytes = ask();
        // The agent goes by what it reads, and reads nothing of a write that failed.
        writeAll(result[1], bytes);
        wipeSecret(bytes);
        _exit(0);
    }
    ::close(result[1]);
    if (process < 0) {
        *why = window + " cannot be started: " + strerror(errno);
        ::close(result[0]);
        return false;
    }
    said->clear();
    bool stopped = false;
    char buffer[256];
    for (;;) {
        pollfd ready = { result[0], POLLIN, 0 };
        if (poll(&ready, 1, 200) == 0 || (ready.revents == 0)) {
            if (interruptionRequested()) {
                stopped = true;
                break;
            }
            continue;
        }
        ssize_t count = read(result[0], buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        said->append(buffer, static_cast<size_t>(count));
    }
    wipeSecret(buffer);
    ::close(result[0]);
    // The window's process took the agent's handlers along, which only note a SIGTERM.
    if (stopped)
        kill(process, SIGKILL);
    int status = 0;
    waitpid(process, &status, 0);
    if (stopped) {
        wipeSecret(*said);
        *why = window + " was closed as the agent stops";
    }
    return !stopped;
}
