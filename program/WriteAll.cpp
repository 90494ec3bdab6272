#include "program/WriteAll.h"

#include <cerrno>
#include <unistd.h>

bool writeAll(int descriptor, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t count = write(descriptor, bytes.data(), bytes.size());
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(count));
    }
    return true;
}
