// The local sockets of this machine as the kernel lists them (/proc/net/unix): where a CUPS
// server on this machine listens, and which connections it has accepted.
#pragma once

#include "program/ProgramsExport.h"

#include <string>
#include <vector>

// One line of the table: "Num RefCount Protocol Flags Type St Inode Path", the fields kept as
// the kernel writes them.
struct UnixSocketEntry {
    std::string flags; // "00010000" for one that listens
    std::string type; // "0001" for a stream socket
    std::string state; // "03" for a connected one
    std::string inode;
    std::string path; // empty for one without a name
};

PROGRAMS_EXPORT std::vector<UnixSocketEntry> unixSockets();
