#include "agent/SettingsWatch.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr std::string_view kSettingsSuffix = ".plist";

}

bool SettingsWatch::open(const QueueSettingsStore& store, std::string* error)
{
    m_store = &store;
    m_inotify = StandIn::FileDescriptor(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!m_inotify) {
        *error = std::string("cannot watch the settings: ") + strerror(errno);
        return false;
    }
    return watchFolder(error);
}

bool SettingsWatch::watchFolder(std::string* error)
{
    m_watch = inotify_add_watch(m_inotify.get(), m_store->folder().c_str(),
        IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
    if (m_watch < 0) {
        *error = m_store->folder() + ": cannot watch the settings folder: " + strerror(errno);
        return false;
    }
    return true;
}

std::set<std::string> SettingsWatch::changedQueues(bool* everything)
{
    std::set<std::string> queues;
    *everything = false;
    alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
    for (ssize_t count; (count = read(m_inotify.get(), buffer, sizeof buffer)) > 0;) {
        for (char* at = buffer; at < buffer + count;) {
            auto* event = reinterpret_cast<inotify_event*>(at);
            at += sizeof(inotify_event) + event->len;
            // What a watch given up on says last is of no interest.
            if (event->wd != m_watch && !(event->mask & IN_Q_OVERFLOW))
                continue;
            if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_Q_OVERFLOW)) {
                *everything = true;
                continue;
            }
            std::string_view name = event->len ? event->name : "";
            // QUEUE@SERVER.plist, or QUEUE.plist as an earlier version named it.
            if (name.size() > kSettingsSuffix.size() && name.substr(name.size() - kSettingsSuffix.size()) == kSettingsSuffix) {
                std::string_view stem = name.substr(0, name.size() - kSettingsSuffix.size());
                queues.emplace(stem.substr(0, std::min(stem.size(), stem.rfind('@'))));
            }
        }
    }
    if (*everything) {
        // A folder that went, or was moved away, is watched again where the settings are read
        // from; until that works, nothing is watched.
        inotify_rm_watch(m_inotify.get(), m_watch);
        std::string ignored;
        if (!m_store->prepareFolder(&ignored) || !watchFolder(&ignored))
            m_watch = -1;
    }
    return queues;
}
