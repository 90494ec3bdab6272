// A server that a test starts and leaves running while it acts on it (a display server, a
// compositor, a network printer): in a process group of its own, so that stopping it also stops
// whatever it started, with what it writes kept in a file for the test's failure messages.
#pragma once

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

class BackgroundProcess {
public:
    BackgroundProcess() = default;
    ~BackgroundProcess() { stop(); }
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    // Starts the program with its environment changed (an empty value clears a variable), its
    // output and errors appended to log, and kept, a descriptor of the test's, left open in it.
    bool start(const std::vector<std::string>& arguments, const std::vector<std::pair<std::string, std::string>>& environment,
        const std::string& log, int kept = -1);
    // False once the program has ended, or when it never started.
    bool running();
    // Asks the program and everything it started to end, and kills what is left after two seconds.
    void stop();

private:
    pid_t m_group { -1 };
    bool m_ended { false };
};
