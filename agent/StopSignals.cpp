#include "StopSignals.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

sigset_t stopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

}

bool StopSignals::open(std::string* error)
{
    sigset_t set = stopSignals();
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) {
        *error = std::string("cannot take SIGTERM and SIGINT: ") + strerror(errno);
        return false;
    }
    m_signals = StandIn::FileDescriptor(signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!m_signals) {
        *error = std::string("cannot take SIGTERM and SIGINT: ") + strerror(errno);
        return false;
    }
    return true;
}

int StopSignals::take()
{
    signalfd_siginfo info;
    int taken = 0;
    while (read(m_signals.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info))
        taken = static_cast<int>(info.ssi_signo);
    return taken;
}

StopSignals::Unblocked::Unblocked()
{
    sigset_t set = stopSignals();
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

StopSignals::Unblocked::~Unblocked()
{
    sigset_t set = stopSignals();
    sigprocmask(SIG_BLOCK, &set, nullptr);
}
