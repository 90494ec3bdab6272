#include "PasswordWindow.h"

#include "AgentChild.h"
#include "ProcessGuards.h"
#include "ScreenFrontEnd.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// What the window's process writes: 'G' or 'R' (given; to be remembered) and the password, or
// 'C' and why none was given.
[[noreturn]] void askInWindowProcess(const PasswordQuestion& question, int result)
{
    setenv("QT_NO_GLIB", "1", 1);
    std::string error;
    PasswordAnswer answer;
    const ScreenFrontEnd* frontEnd = loadScreenFrontEnd(&error);
    bool given = frontEnd && frontEnd->askPassword(question, &answer, &error);
    std::string bytes = given ? (answer.remember ? "R" : "G") + answer.password
                              : "C" + (error.empty() ? std::string("the password window was cancelled") : "the password window cannot go on screen: " + error);
    // The agent goes by what it reads, and reads nothing of a write that failed.
    writeAll(result, bytes);
    std::fill(bytes.begin(), bytes.end(), '\0');
    _exit(0);
}

}

bool askPasswordOnScreen(const PasswordQuestion& question, PasswordAnswer* answer, std::string* why)
{
    int result[2];
    if (pipe2(result, O_CLOEXEC) != 0) {
        *why = std::string("the password window cannot be started: ") + strerror(errno);
        return false;
    }
    pid_t process = forkAgentChild();
    if (process == 0) {
        ::close(result[0]);
        askInWindowProcess(question, result[1]);
    }
    ::close(result[1]);
    if (process < 0) {
        *why = std::string("the password window cannot be started: ") + strerror(errno);
        ::close(result[0]);
        return false;
    }
    std::string said;
    bool stopped = false;
    for (;;) {
        pollfd ready = { result[0], POLLIN, 0 };
        if (poll(&ready, 1, 200) == 0 || (ready.revents == 0)) {
            if (interruptionRequested()) {
                stopped = true;
                break;
            }
            continue;
        }
        char buffer[256];
        ssize_t count = read(result[0], buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        said.append(buffer, static_cast<size_t>(count));
    }
    ::close(result[0]);
    // The window's process took the agent's handlers along, which only note a SIGTERM: it is
    // killed, having nothing to keep.
    if (stopped)
        kill(process, SIGKILL);
    int status = 0;
    waitpid(process, &status, 0);
    // A password holds no NUL: what goes past one is not what the person typed.
    bool given = !stopped && said.size() > 1 && (said[0] == 'G' || said[0] == 'R') && said.find('\0') == std::string::npos;
    if (given) {
        answer->password = said.substr(1);
        answer->remember = said[0] == 'R';
    } else {
        *why = stopped                        ? "the password window was closed as the agent stops"
            : !said.empty() && said[0] == 'C' ? said.substr(1)
                                              : "the password window's process ended without an answer";
    }
    std::fill(said.begin(), said.end(), '\0');
    return given;
}
