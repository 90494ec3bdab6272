#include "tests/support/ClearError.h"

#include <sstream>

::testing::AssertionResult endsInOneClearError(const ProgramRun& run, const std::string& mentions)
{
    std::istringstream lines(run.errors);
    int ownLines = 0;
    bool mentioned = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("printdialog: ", 0) != 0)
            continue;
        ++ownLines;
        mentioned = mentioned || line.find(mentions) != std::string::npos;
    }
    auto failure = [&](const std::string& what) {
        return ::testing::AssertionFailure() << what << "; exit " << run.exitStatus << ", signal " << run.signal << ", "
                                             << run.elapsed.count() << " ms (" << run.processorTime.count() << " ms of processor time), " << run.peakResidentKiB << " KiB; standard error:\n"
                                             << run.errors;
    };
    if (run.timedOut)
        return failure("it did not end");
    if (run.exitStatus != 2)
        return failure("the exit status is not 2");
    if (ownLines != 1)
        return failure("not exactly one printdialog line");
    if (!mentioned)
        return failure("the line does not say \"" + mentions + "\"");
    if (!kSanitizedBuild && run.processorTime > kClearErrorWork)
        return failure("it worked longer than " + std::to_string(kClearErrorWork.count()) + " ms");
    if (!kSanitizedBuild && run.elapsed > kClearErrorStall)
        return failure("it took longer than " + std::to_string(kClearErrorStall.count()) + " ms");
    if (!kSanitizedBuild && run.peakResidentKiB > kClearErrorPeakKiB)
        return failure("it held more than " + std::to_string(kClearErrorPeakKiB) + " KiB");
    return ::testing::AssertionSuccess();
}
