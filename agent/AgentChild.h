// A process of the agent's own (a held job's prompt, a server's password window), forked from it
// with everything it needs: it holds copies of the agent's descriptors, its lock among them, so it
// must not outlive an agent that was killed, or no agent could start again until it went.
#pragma once

#include <sys/types.h>

// fork() with the standard streams flushed first, the child killed when the agent dies: 0 in the
// child, its pid in the agent, -1 when none could be made (errno says why).
pid_t forkAgentChild();
