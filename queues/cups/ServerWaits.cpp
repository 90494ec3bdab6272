#include "queues/cups/ServerWaits.h"

#include "program/ProcessGuards.h"
#include "program/Seconds.h"

#include <algorithm>

namespace {

int keepWaiting(http_t*, void* waits)
{
    auto* self = static_cast<ServerWaits*>(waits);
    if (self->interruptedNow())
        return 0;
    if (std::chrono::steady_clock::now() < self->deadline)
        return 1;
    self->timedOut = true;
    return 0;
}

}

void ServerWaits::startStep()
{
    deadline = std::chrono::steady_clock::now() + timeout;
    timedOut = false;
    interrupted = false;
}

bool ServerWaits::pastDeadline()
{
    timedOut = timedOut || std::chrono::steady_clock::now() >= deadline;
    return timedOut;
}

bool ServerWaits::interruptedNow()
{
    if (!stopsOnInterruption || !interruptionRequested())
        return false;
    interrupted = true;
    return true;
}

int* ServerWaits::interruptionFlag() const
{
    return stopsOnInterruption ? ::interruptionFlag() : nullptr;
}

void ServerWaits::slice(http_t* http)
{
    httpSetTimeout(http, static_cast<double>(std::min(timeout, std::chrono::milliseconds(250)).count()) / 1000, keepWaiting, this);
}

std::string ServerWaits::givenUpFailure(const std::string& server) const
{
    if (timedOut)
        return server + " did not answer within " + inSeconds(timeout);
    return interrupted ? "interrupted" : "";
}
