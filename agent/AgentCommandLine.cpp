#include "agent/AgentCommandLine.h"

#include "program/ProgramFolder.h"

const char* const kAgentUsage = "usage: accounting-agent [--server HOST:PORT|SOCKET] [--once] [--script FILE|-] [--settings-dir DIR] [--verbose]\n"
                                "       accounting-agent --check [--server HOST:PORT|SOCKET] [--settings-dir DIR]\n"
                                "       accounting-agent --help | --version";

bool parseAgentArguments(const std::vector<std::string>& arguments, AgentOptions* options, std::string* error)
{
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--once" || option == "--verbose" || option == "--check") {
            (option == "--once" ? options->once : option == "--verbose" ? options->verbose
                                                                        : options->check)
                = true;
            continue;
        }
        std::string* target = option == "--server" ? &options->server
            : option == "--script"                 ? &options->scriptPath
            : option == "--settings-dir"           ? &options->settingsFolder
                                                   : nullptr;
        if (!target) {
            *error = "unknown option \"" + option + "\"";
            return false;
        }
        if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
            *error = option + " needs a value";
            return false;
        }
        *target = arguments[++i];
    }
    if (options->check && (options->once || options->verbose || !options->scriptPath.empty())) {
        *error = "--check handles no job: only --server and --settings-dir go with it";
        return false;
    }
    std::string folder = productLibraryFolder();
    options->plugInPath = folder + "/Accounting.plugin";
    options->primaryPlugInPath = folder + "/PrimaryPDE.bundle";
    return true;
}
