// Watches the settings store's folder (inotify), so that a held job whose queue's stored
// settings change is offered again at once: the person ran printdialog --configure to give
// default codes, or turned the prompt off.
#pragma once

#include "queues/QueueSettingsStore.h"

#include <Base/RegularFile.h>

#include <set>
#include <string>

class SettingsWatch {
public:
    // Watches the store's folder, which must be there (QueueSettingsStore::prepareFolder). False,
    // with the reason in *error, when it cannot be watched.
    bool open(const QueueSettingsStore& store, std::string* error);
    int descriptor() const { return m_inotify.get(); }

    // What changed since the last call: the queues (in lower case, as the store names their
    // files) whose file was written, replaced or removed. *everything is set when the folder
    // itself went or was replaced; the watch then follows the folder at its path again, made
    // anew when it is missing.
    std::set<std::string> changedQueues(bool* everything);

private:
    bool watchFolder(std::string* error);

    const QueueSettingsStore* m_store { nullptr };
    StandIn::FileDescriptor m_inotify;
    int m_watch { -1 };
};
