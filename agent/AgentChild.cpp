#include "agent/AgentChild.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <unistd.h>

pid_t forkAgentChild()
{
    fflush(nullptr);
    pid_t agent = getpid();
    pid_t process = fork();
    if (process == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The agent died between the fork and the line above.
        if (getppid() != agent)
            _exit(1);
    }
    return process;
}

bool writeAll(int descriptor, const std::string& bytes)
{
    for (size_t done = 0; done < bytes.size();) {
        ssize_t count = write(descriptor, bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        done += static_cast<size_t>(count);
    }
    return true;
}
