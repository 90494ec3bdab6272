// Watches the settings store's folder (inotify), so that a held job whose queue's stored
// settings change is offered again at once: the person ran printdialog --configure to give
// default codes, or turned the prompt off.
#pragma once

#include <Base/RegularFile.h>

#include <set>
#include <string>

class SettingsWatch {
public:
    // Creates the folder (0700) when it is missing, and watches it. False, with the reason in
    // *error, when it can be neither made nor watched.
    bool open(const std::string& folder, std::string* error);
    int descriptor() const { return m_inotify.get(); }

    // What changed since the last call: the queues (in lower case, as the store names their
    // files) whose file was written, replaced or removed. *everything is set when the folder
    // itself went or was replaced; the watch then follows the folder at its path again.
    std::set<std::string> changedQueues(bool* everything);

private:
    bool watchFolder(std::string* error);

    std::string m_folder;
    StandIn::FileDescriptor m_inotify;
    int m_watch { -1 };
};
