#include "agent/ProgramFiles.h"

#include "program/ProgramFolder.h"

#include <set>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

ProgramFiles::ProgramFiles()
    : m_watch(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    std::string folder = productLibraryFolder();
    std::set<std::string> folders;
    for (const std::string& file : { programPath(), folder + "/libPlatform.so", folder + "/libPrograms.so", folder + "/libCupsModule.so",
             folder + "/Accounting.plugin/Contents/MacOS/Accounting" }) {
        struct stat info;
        if (!file.empty() && stat(file.c_str(), &info) == 0) {
            m_files.push_back({ file, info.st_dev, info.st_ino });
            folders.insert(file.substr(0, file.rfind('/')));
        }
    }
    // A package manager removes a file, or puts the new one in its place by rename.
    for (const std::string& watched : folders) {
        if (m_watch && inotify_add_watch(m_watch.get(), watched.c_str(), IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF) < 0)
            m_watch = StandIn::FileDescriptor();
    }
}

ProgramFiles::State ProgramFiles::look() const
{
    char events[4096];
    while (m_watch && read(m_watch.get(), events, sizeof events) > 0) {
    }
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
