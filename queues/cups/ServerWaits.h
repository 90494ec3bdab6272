// The waits of one step of the conversation with a server: none outlasts the step's timeout, and
// where the program says so, each also ends within a second once the program is asked to stop
// (interruptionRequested()).
#pragma once

#include "queues/CupsDestination.h"

#include <cups/http.h>

#include <chrono>
#include <string>

struct ServerWaits {
    // Starts a step: no wait from now on outlasts the timeout.
    void startStep();
    // Whether the step's time is up; noted.
    bool pastDeadline();
    // Whether the program has been asked to stop, where the waits end then; noted.
    bool interruptedNow();
    // Whether a wait of the step was given up: its time was up, or the program was asked to stop.
    bool givenUp() const { return timedOut || interrupted; }
    // What libcups's connecting watches for a request to stop: the program's flag, or none.
    int* interruptionFlag() const;
    // Has every wait on http come in slices, so that the deadline and a request to stop are heard
    // within a second.
    void slice(http_t* http);
    // Why a wait was given up, for messages about server.
    std::string givenUpFailure(const std::string& server) const;

    std::chrono::milliseconds timeout { kDefaultCupsTimeout };
    std::chrono::steady_clock::time_point deadline;
    bool stopsOnInterruption { false };
    bool timedOut { false };
    bool interrupted { false };
};
