// One agent per user and server. Two agents of one user would both offer a held job, and the
// person would meet two prompts for one print: the XDG autostart entry and the systemd user
// unit may well both start one. The first agent takes a lock for the server (flock on a file in
// $XDG_RUNTIME_DIR, else in the settings folder, where it goes when the agent ends), which the
// system lets go when it ends however it ends; a second one sees the lock taken and steps aside.
// The server is named as it is reached, so that two spellings of one server share one lock.
#pragma once

#include <Base/RegularFile.h>

#include <map>
#include <string>

class AgentLock {
public:
    enum class Outcome {
        Taken,
        HeldByAnother,
        Failed,
    };

    AgentLock() = default;
    // A lock file in the settings folder goes with the agent.
    ~AgentLock();
    AgentLock(const AgentLock&) = delete;
    AgentLock& operator=(const AgentLock&) = delete;

    // Takes the lock for server (as CupsConnection::address gives it) in $XDG_RUNTIME_DIR, or in
    // fallbackFolder. For HeldByAnother, *holder names the other agent's process; for Failed,
    // *error says why: among others, a folder or lock file that another user owns or may change,
    // which could hand the user's jobs to someone else's agent.
    Outcome take(const std::string& fallbackFolder, const std::string& server, std::string* holder, std::string* error);

    // What the agent holding the lock for server tells whoever asks (accounting-agent --check),
    // read without taking the lock: its process, and the last line it said of each of the
    // person's jobs it left waiting.
    struct Holder {
        long process { 0 };
        std::map<int, std::string> jobLines;
    };
    // False when no agent holds the lock for server.
    static bool findHolder(const std::string& fallbackFolder, const std::string& server, Holder* holder);
    // Tells the lines of the jobs left waiting, in place of those told before.
    void tellJobLines(const std::map<int, std::string>& lines);

    // The server as the lock knows it: its key (CupsConnection::key), with a host by its address.
    static std::string canonicalServer(const std::string& server);

private:
    // The lock's text: the agent's process, then a line for each job.
    bool rewrite(const std::map<int, std::string>& lines);

    StandIn::FileDescriptor m_file;
    // The file to remove at the end, when it does not lie in the runtime folder.
    std::string m_removeAtEnd;
};
