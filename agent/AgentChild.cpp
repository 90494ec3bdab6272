#include "agent/AgentChild.h"

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
