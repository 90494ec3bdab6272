#include "ProcessGuards.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>
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

namespace {

constexpr int kInterruptions[] = { SIGINT, SIGTERM, SIGHUP };

volatile sig_atomic_t gInterruption = 0;

extern "C" void noteInterruption(int signal)
{
    gInterruption = signal;
}

}

InterruptionGuard::InterruptionGuard()
{
    static_assert(std::size(kInterruptions) == std::size(decltype(m_previous) {}));
    gInterruption = 0;
    struct sigaction noting { };
    noting.sa_handler = noteInterruption;
    sigemptyset(&noting.sa_mask);
    noting.sa_flags = SA_RESETHAND;
    for (size_t i = 0; i < std::size(kInterruptions); ++i) {
        sigaction(kInterruptions[i], nullptr, &m_previous[i]);
        if (m_previous[i].sa_handler != SIG_IGN)
            sigaction(kInterruptions[i], &noting, nullptr);
    }
}

InterruptionGuard::~InterruptionGuard()
{
    for (size_t i = 0; i < std::size(kInterruptions); ++i)
        sigaction(kInterruptions[i], &m_previous[i], nullptr);
    if (int signal = gInterruption) {
        gInterruption = 0;
        // What the program has said so far is not lost with it.
        fflush(nullptr);
        raise(signal);
    }
}

bool interruptionRequested()
{
    return gInterruption != 0;
}
