#include "program/ProcessGuards.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

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

// An int, as libcups reads its cancel flag; signal handlers may set one as they set a sig_atomic_t,
// which it is here.
static_assert(sizeof(sig_atomic_t) == sizeof(int));
volatile int gInterruption = 0;
// Written to when a stop is requested, so that a poll() of the process that opened it wakes up; a
// process forked from it has a copy of the descriptor, which is not its to write to.
volatile int gWakeUp = -1;
volatile pid_t gWakeUpOwner = 0;

extern "C" void noteInterruption(int signal)
{
    int saved = errno;
    gInterruption = signal;
    if (gWakeUp >= 0 && getpid() == gWakeUpOwner) {
        char byte = 1;
        [[maybe_unused]] ssize_t written = write(gWakeUp, &byte, 1);
    }
    errno = saved;
}

// Until reset: the handler notes the signal once, then the signal does as it did before.
struct sigaction noting()
{
    struct sigaction action { };
    action.sa_handler = noteInterruption;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    return action;
}

}

InterruptionGuard::InterruptionGuard()
{
    static_assert(std::size(kInterruptions) == std::size(decltype(m_previous) {}));
    gInterruption = 0;
    struct sigaction handler = noting();
    for (size_t i = 0; i < std::size(kInterruptions); ++i) {
        sigaction(kInterruptions[i], nullptr, &m_previous[i]);
        if (m_previous[i].sa_handler != SIG_IGN)
            sigaction(kInterruptions[i], &handler, nullptr);
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

bool StopRequests::open(std::string* error)
{
    if (pipe2(m_wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        *error = std::string("cannot watch for SIGTERM and SIGINT: ") + strerror(errno);
        return false;
    }
    gInterruption = 0;
    gWakeUpOwner = getpid();
    gWakeUp = m_wake[1];
    struct sigaction handler = noting();
    for (int signal : kInterruptions)
        sigaction(signal, &handler, nullptr);
    return true;
}

StopRequests::~StopRequests()
{
    gWakeUp = -1;
    for (int end : m_wake) {
        if (end >= 0)
            close(end);
    }
}

bool interruptionRequested()
{
    return gInterruption != 0;
}

int* interruptionFlag()
{
    return const_cast<int*>(&gInterruption);
}
