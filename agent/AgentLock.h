// One agent per user and server. Two agents of one user would both offer a held job, and the
// person would meet two prompts for one print: the XDG autostart entry and the systemd user
// unit may well both start one. The first agent takes a lock for the server (flock on a file in
// $XDG_RUNTIME_DIR, else in the settings folder), which the system lets go when it ends however
// it ends; a second one sees the lock taken and steps aside.
#pragma once

#include <Base/RegularFile.h>

#include <string>

class AgentLock {
public:
    enum class Outcome {
        Taken,
        HeldByAnother,
        Failed,
    };

    // Takes the lock for server (the name the user gave, or empty for the default one) in
    // folder. For HeldByAnother, *holder names the other agent's process; for Failed, *error says
    // why.
    Outcome take(const std::string& folder, const std::string& server, std::string* holder, std::string* error);

    // $XDG_RUNTIME_DIR when it is set and absolute, else fallback.
    static std::string folderFor(const std::string& fallback);

private:
    StandIn::FileDescriptor m_file;
};
