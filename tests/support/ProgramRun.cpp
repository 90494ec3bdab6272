#include "tests/support/ProgramRun.h"

#include "tests/support/RunningProgram.h"

ProgramRun runProgram(const std::vector<std::string>& arguments, const ProgramOptions& options)
{
    return RunningProgram(arguments, options).finish();
}

ProgramOptions withInput(std::string input)
{
    ProgramOptions options;
    options.input = std::move(input);
    return options;
}

std::vector<std::pair<std::string, std::string>> englishLanguageSettings()
{
    return { { "LANGUAGE", "" }, { "LC_ALL", "" }, { "LC_MESSAGES", "" }, { "LANG", "C.UTF-8" } };
}
