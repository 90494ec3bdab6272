#include "program/ProgramFolder.h"

#include <climits>
#include <dlfcn.h>
#include <unistd.h>

std::string programPath()
{
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : "";
}

std::string programFolder()
{
    std::string program = programPath();
    return program.empty() ? "." : program.substr(0, program.rfind('/'));
}

std::string productLibraryFolder()
{
    return programFolder() + "/" ACCOUNTING_LIBDIR_FROM_BINDIR;
}

void* productModuleEntry(const char* file, const char* entry, const std::string& what, std::string* error)
{
    std::string path = productLibraryFolder() + "/" + file;
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        *error = what + " cannot be loaded: " + dlerror();
        return nullptr;
    }
    void* found = dlsym(module, entry);
    if (!found)
        *error = path + ": not " + what;
    return found;
}
