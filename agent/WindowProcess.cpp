#include "agent/WindowProcess.h"

#include "agent/AgentChild.h"
#include "program/ProcessGuards.h"
#include "program/SecretWipe.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

bool answerInWindowProcess(const std::string& window, const std::function<WindowMessage()>& ask, std::optional<WindowMessage>* said, std::string* why)
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
        // The agent goes by what it reads, and reads nothing of a write that failed.
        ask().writeTo(result[1]);
        _exit(0);
    }
    ::close(result[1]);
    if (process < 0) {
        *why = window + " cannot be started: " + strerror(errno);
        ::close(result[0]);
        return false;
    }
    said->reset();
    std::string bytes;
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
        bytes.append(buffer, static_cast<size_t>(count));
    }
    wipeSecret(buffer);
    // The window's process writes one message: anything after it makes what it wrote no answer.
    if (!stopped && WindowMessage::take(bytes, said) == WindowMessage::Taken::Whole && !bytes.empty())
        said->reset();
    wipeSecret(bytes);
    ::close(result[0]);
    // The window's process took the agent's handlers along, which only note a SIGTERM.
    if (stopped)
        kill(process, SIGKILL);
    int status = 0;
    waitpid(process, &status, 0);
    if (stopped)
        *why = window + " was closed as the agent stops";
    return !stopped;
}
