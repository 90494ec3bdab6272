#include "AgentLock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/file.h>
#include <unistd.h>

namespace {

// The server's name as one file name: letters and digits stay, every other byte is %XX.
std::string fileNameFor(const std::string& server)
{
    std::string name = "accounting-agent";
    if (!server.empty())
        name += "-";
    for (unsigned char c : server) {
        if (isalnum(c) || c == '.' || c == '-' || c == '_') {
            name += static_cast<char>(c);
        } else {
            char escaped[4];
            snprintf(escaped, sizeof escaped, "%%%02X", c);
            name += escaped;
        }
    }
    return name + ".lock";
}

}

std::string AgentLock::folderFor(const std::string& fallback)
{
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    return runtime && runtime[0] == '/' ? runtime : fallback;
}

AgentLock::Outcome AgentLock::take(const std::string& folder, const std::string& server, std::string* holder, std::string* error)
{
    std::string path = folder + "/" + fileNameFor(server);
    m_file = StandIn::FileDescriptor(open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!m_file) {
        *error = path + ": cannot make the agent's lock: " + strerror(errno);
        return Outcome::Failed;
    }
    if (flock(m_file.get(), LOCK_EX | LOCK_NB) != 0) {
        int number = errno;
        if (number != EWOULDBLOCK) {
            *error = path + ": cannot take the agent's lock: " + strerror(number);
            return Outcome::Failed;
        }
        char text[32] = {};
        ssize_t count = pread(m_file.get(), text, sizeof text - 1, 0);
        long pid = count > 0 ? strtol(text, nullptr, 10) : 0;
        *holder = pid > 0 ? "process " + std::to_string(pid) : "another process";
        m_file = StandIn::FileDescriptor();
        return Outcome::HeldByAnother;
    }
    std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(m_file.get(), 0) != 0 || pwrite(m_file.get(), pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
        *error = path + ": cannot write the agent's lock: " + strerror(errno);
        return Outcome::Failed;
    }
    return Outcome::Taken;
}
