#include "agent/AgentLock.h"

#include "queues/cups/CupsConnection.h"

#include <cerrno>
#include <climits>
#include <fstream>
#include <sstream>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

// Whether what the lock lies in, or the lock itself, is the user's alone: another user who could
// take the lock's place could keep the user's agent from running.
std::string notTheUsersAlone(const struct stat& info)
{
    if (info.st_uid != geteuid())
        return "belongs to another user";
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        return "other users may change";
    return "";
}

// Where the locks lie: $XDG_RUNTIME_DIR, else the fallback folder.
std::string lockFolder(const std::string& fallbackFolder, bool* inRuntime)
{
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    *inRuntime = runtime && runtime[0] == '/';
    return *inRuntime ? runtime : fallbackFolder;
}

// The process holding a flock on the file, from /proc/locks ("1: FLOCK ADVISORY WRITE PID
// MAJOR:MINOR:INODE 0 EOF"); 0 when none does.
long flockHolder(const struct stat& file)
{
    std::ifstream table("/proc/locks");
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string number, kind, advisory, access, device;
        long process = 0;
        if (!(fields >> number >> kind) || kind != "FLOCK" || !(fields >> advisory >> access >> process >> device))
            continue;
        unsigned int deviceMajor = 0, deviceMinor = 0;
        unsigned long long inode = 0;
        if (sscanf(device.c_str(), "%x:%x:%llu", &deviceMajor, &deviceMinor, &inode) == 3 && inode == file.st_ino
            && deviceMajor == major(file.st_dev) && deviceMinor == minor(file.st_dev))
            return process;
    }
    return 0;
}

}

AgentLock::~AgentLock()
{
    // Removed while still held, so that no agent starting now can lock a file already gone.
    if (!m_removeAtEnd.empty())
        unlink(m_removeAtEnd.c_str());
}

bool AgentLock::rewrite(const std::map<int, std::string>& lines)
{
    std::string text = std::to_string(getpid()) + "\n";
    for (const auto& [job, line] : lines)
        text += std::to_string(job) + " " + line + "\n";
    return ftruncate(m_file.get(), 0) == 0 && pwrite(m_file.get(), text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
}

void AgentLock::tellJobLines(const std::map<int, std::string>& lines)
{
    if (m_file)
        rewrite(lines);
}

bool AgentLock::findHolder(const std::string& fallbackFolder, const std::string& server, Holder* holder)
{
    bool inRuntime = false;
    std::string path = lockFolder(fallbackFolder, &inRuntime) + "/" + fileNameFor(canonicalServer(server));
    StandIn::FileDescriptor file(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info;
    if (!file || fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || !notTheUsersAlone(info).empty())
        return false;
    // Taking the lock, even for a moment, could turn away an agent starting then: the kernel's
    // table of locks says who holds it.
    long process = flockHolder(info);
    if (process == 0)
        return false;
    std::string text(64 * 1024, '\0');
    ssize_t count = pread(file.get(), text.data(), text.size(), 0);
    text.resize(count > 0 ? count : 0);
    holder->process = process;
    holder->jobLines.clear();
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
        char* end = nullptr;
        long job = strtol(line.c_str(), &end, 10);
        if (job > 0 && job <= INT_MAX && *end == ' ')
            holder->jobLines[static_cast<int>(job)] = end + 1;
    }
    return true;
}

std::string AgentLock::canonicalServer(const std::string& server)
{
    std::string key = CupsConnection::key(server);
    if (key[0] == '/')
        return key;
    // Two agents alive at once reach a host by the same address, whatever name each was given.
    size_t colon = key.rfind(':');
    std::string host = key.substr(0, colon);
    addrinfo hints {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    char address[NI_MAXHOST];
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) == 0 && found
        && getnameinfo(found->ai_addr, found->ai_addrlen, address, sizeof address, nullptr, 0, NI_NUMERICHOST) == 0)
        host = address;
    if (found)
        freeaddrinfo(found);
    return host + key.substr(colon);
}

AgentLock::Outcome AgentLock::take(const std::string& fallbackFolder, const std::string& server, std::string* holder, std::string* error)
{
    bool inRuntime = false;
    std::string folder = lockFolder(fallbackFolder, &inRuntime);
    struct stat info;
    if (stat(folder.c_str(), &info) != 0) {
        *error = folder + ": cannot keep the agent's lock here: " + strerror(errno);
        return Outcome::Failed;
    }
    if (std::string why = notTheUsersAlone(info); !why.empty()) {
        *error = folder + ": the agent's lock would lie in this folder, which " + why + "; this agent ends";
        return Outcome::Failed;
    }
    std::string path = folder + "/" + fileNameFor(canonicalServer(server));
    // A file removed by an agent that was ending is locked in vain: the next one is locked anew.
    for (int tries = 0; tries < 3; ++tries) {
        m_file = StandIn::FileDescriptor(open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!m_file) {
            *error = path + ": cannot make the agent's lock: " + strerror(errno);
            return Outcome::Failed;
        }
        if (fstat(m_file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
            *error = path + ": the agent's lock is not a regular file; this agent ends";
            return Outcome::Failed;
        }
        if (std::string why = notTheUsersAlone(info); !why.empty()) {
            *error = path + ": the agent's lock file, which " + why + ", cannot be trusted; this agent ends";
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
        struct stat now;
        if (stat(path.c_str(), &now) == 0 && now.st_ino == info.st_ino && now.st_dev == info.st_dev)
            break;
        m_file = StandIn::FileDescriptor();
    }
    if (!m_file) {
        *error = path + ": the agent's lock keeps going away; this agent ends";
        return Outcome::Failed;
    }
    if (!rewrite({})) {
        *error = path + ": cannot write the agent's lock: " + strerror(errno);
        return Outcome::Failed;
    }
    if (!inRuntime)
        m_removeAtEnd = path;
    return Outcome::Taken;
}
