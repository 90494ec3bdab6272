#include "ProgramFolder.h"

#include <climits>
#include <unistd.h>

std::string programFolder()
{
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return ".";
    std::string folder(path, length);
    return folder.substr(0, folder.rfind('/'));
}

std::string productLibraryFolder()
{
    return programFolder() + "/" ACCOUNTING_LIBDIR_FROM_BINDIR;
}
