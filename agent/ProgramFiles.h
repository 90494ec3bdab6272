// A package upgrade replaces the agent's files while it runs, and a removal takes them away: a
// pane loaded from new files into the old program, beside the old platform library, could not
// work. The agent notes its files as it starts and, before it handles jobs and whenever their
// folders change, looks whether they are still the ones it runs: when they were replaced it
// starts again from the new ones; when they are gone it ends, then and there rather than at the
// next print.
#pragma once

#include <Base/RegularFile.h>

#include <string>
#include <sys/types.h>
#include <vector>

class ProgramFiles {
public:
    enum class State {
        AsStarted,
        Replaced,
        Removed,
    };

    // Notes the running program and what it loads from the product's folder, and watches their
    // folders for files that come, go or are renamed.
    ProgramFiles();
    // Readable when one of the folders changed: look() then, which takes in what it says. -1 when
    // the folders cannot be watched (the agent still looks before it handles jobs).
    int descriptor() const { return m_watch.get(); }
    State look() const;

private:
    struct Noted {
        std::string path;
        dev_t device;
        ino_t inode;
    };
    std::vector<Noted> m_files;
    StandIn::FileDescriptor m_watch;
};
