// Where the product's programs find what they load. Programs lie in bin/; the stand-in
// library, the plug-in bundles and the on-screen and CUPS modules lie in one folder of the product
// under lib/. Both are found from the running program's own path, in the build tree (which has the
// same layout) and in an installed tree wherever it was moved.
#pragma once

#include "program/ProgramsExport.h"

#include <string>

// The running program's own file, as it was started (empty when the system does not say): after
// an update, the file there is the new one.
PROGRAMS_EXPORT std::string programPath();
// The folder of the running program.
PROGRAMS_EXPORT std::string programFolder();
// The product's folder of loadable things, relative to programFolder().
PROGRAMS_EXPORT std::string productLibraryFolder();

// The entry point ENTRY of the module FILE of the product's folder, which the process keeps
// loaded; null, with the reason in *error, when either cannot be found. WHAT names the module in
// the reason.
void* productModuleEntry(const char* file, const char* entry, const std::string& what, std::string* error);

// The table of calls of a module of the product's folder, which its entry point (a function
// without arguments) gives; null, with the reason in *error, when there is none.
template<typename Calls>
const Calls* loadProductModule(const char* file, const char* entry, const std::string& what, std::string* error)
{
    void* found = productModuleEntry(file, entry, what, error);
    const Calls* calls = found ? reinterpret_cast<const Calls* (*)()>(found)() : nullptr;
    if (found && !calls)
        *error = std::string(file) + ": not " + what;
    return calls;
}
