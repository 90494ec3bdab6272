// Where a job goes: a CUPS queue, on the user's default server or another, and the longest wait
// on that server.
#pragma once

#include <chrono>
#include <string>

constexpr std::chrono::milliseconds kDefaultCupsTimeout { 30000 };

struct CupsDestination {
    std::string queue;
    std::string server; // "HOST:PORT" or a socket path; empty: the user's default server
    std::chrono::milliseconds timeout { kDefaultCupsTimeout };
    // Every wait on the server, connecting included, also ends within a second once the program
    // is asked to stop (interruptionRequested()).
    bool stopsOnInterruption { false };
};
