#include "queues/cups/UnixSockets.h"

#include <fstream>
#include <sstream>

std::vector<UnixSocketEntry> unixSockets()
{
    std::vector<UnixSocketEntry> entries;
    std::ifstream table("/proc/net/unix");
    std::string line;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string number, references, protocol;
        UnixSocketEntry entry;
        if (!(fields >> number >> references >> protocol >> entry.flags >> entry.type >> entry.state >> entry.inode))
            continue;
        // The path is the rest of the line: a socket's name may hold blanks.
        std::getline(fields >> std::ws, entry.path);
        entries.push_back(std::move(entry));
    }
    return entries;
}
