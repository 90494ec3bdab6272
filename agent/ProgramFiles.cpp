#include "ProgramFiles.h"

#include "ProgramFolder.h"

#include <sys/stat.h>

ProgramFiles::ProgramFiles()
{
    std::string folder = productLibraryFolder();
    for (const std::string& file : { programPath(), folder + "/libPlatform.so", folder + "/libDialog.so", folder + "/libPrintDialogCups.so",
             folder + "/Accounting.plugin/Contents/MacOS/Accounting" }) {
        struct stat info;
        if (!file.empty() && stat(file.c_str(), &info) == 0)
            m_files.push_back({ file, info.st_dev, info.st_ino });
    }
}

ProgramFiles::State ProgramFiles::look() const
{
    State state = State::AsStarted;
    for (const Noted& file : m_files) {
        struct stat info;
        if (stat(file.path.c_str(), &info) != 0)
            return State::Removed;
        if (info.st_dev != file.device || info.st_ino != file.inode)
            state = State::Replaced;
    }
    return state;
}
