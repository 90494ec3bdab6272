#include "ProcessGuards.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/prctl.h>
#include <sys/resource.h>

bool forbidCoreDumps(std::string* error)
{
    const rlimit none = { 0, 0 };
    if (setrlimit(RLIMIT_CORE, &none) != 0) {
        *error = std::string("cannot turn core dumps off: ") + strerror(errno);
        return false;
    }
    // The limit alone is not enough: a core_pattern that pipes to a program ignores it.
    if (prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0) {
        *error = std::string("cannot make the process undumpable: ") + strerror(errno);
        return false;
    }
    return true;
}

void makeRefusedWritesErrors()
{
    signal(SIGXFSZ, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
}
