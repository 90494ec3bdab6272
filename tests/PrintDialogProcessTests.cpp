// The printdialog process itself, as the system sees it while it holds the codes: no core file
// can catch them, and a limit on file size ends a save cleanly instead of killing it halfway.
#include "tests/support/ClearError.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/RunningProgram.h"
#include "tests/support/TemporaryTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace {

const std::string kMovraPPD = EXAMPLES_DIR "/Movra-RK7700.ppd";
const std::string kDefaultCodes = EXAMPLES_DIR "/settings/default-codes.plist";

std::string procLine(pid_t pid, const std::string& file, const std::string& start)
{
    std::ifstream stream("/proc/" + std::to_string(pid) + "/" + file);
    for (std::string line; std::getline(stream, line);) {
        if (line.rfind(start, 0) == 0)
            return line;
    }
    return "";
}

TEST(PrintDialogProcess, HoldingTheCodesItCannotDumpCore)
{
    // Run as another user than the test, with core files allowed as generously as a shell may.
    RunningProgram dialog({ "/bin/sh", "-c", "ulimit -c unlimited && exec \"$@\"", "sh", PRINTDIALOG_PATH, "--ppd", kMovraPPD, "--settings",
                              kDefaultCodes, "--script", "-" },
        ProgramOptions { "", {}, std::chrono::milliseconds(10000), "nobody" });
    dialog.type("show\nsummary\n");
    ASSERT_TRUE(dialog.waitForOutput("summary:")) << "the dialog is up, with the codes loaded";

    std::istringstream limit(procLine(dialog.pid(), "limits", "Max core file size"));
    std::string max, core, file, size, soft, hard;
    limit >> max >> core >> file >> size >> soft >> hard;
    EXPECT_EQ(soft, "0") << "no core file however it ends";
    EXPECT_EQ(hard, "0") << "nor one that the process could allow itself later";
    // The kernel hands the /proc files of a process that cannot be dumped to root, whoever runs it.
    struct stat status;
    ASSERT_EQ(stat(("/proc/" + std::to_string(dialog.pid()) + "/status").c_str(), &status), 0);
    EXPECT_NE(procLine(dialog.pid(), "status", "Uid:").find("65534"), std::string::npos) << "it runs as nobody";
    EXPECT_EQ(status.st_uid, 0u) << "the process is not dumpable: no core, no ptrace or /proc/PID/mem by its own user";

    ProgramRun run = dialog.finish();
    EXPECT_EQ(run.exitStatus, 1) << run.errors;
}

TEST(PrintDialogProcess, AFileSizeLimitEndsTheSaveCleanly)
{
    TemporaryTree folder;
    std::string saved = folder.path("job.plist");
    // The shell's unit is 512 bytes: the settings with the codes do not fit.
    ProgramRun run = runProgram({ "/bin/sh", "-c", "ulimit -f 1 && exec \"$@\"", "sh", PRINTDIALOG_PATH, "--ppd", kMovraPPD, "--settings",
                                    kDefaultCodes, "--save", saved, "--script", "-" },
        withInput("show\nprint\n"));
    EXPECT_TRUE(endsInOneClearError(run, saved + ": cannot save: File too large"));
    EXPECT_TRUE(std::filesystem::is_empty(folder.root())) << "no settings file, whole or partial, holds the codes";
}

}
