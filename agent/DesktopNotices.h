// A word to the person on the desktop when a job of theirs is left waiting for a reason they can
// act on, as desktop programs tell of what needs them: through the desktop's notification service
// (org.freedesktop.Notifications on the session bus), where one answers. The agent's own output,
// which on a desktop nobody reads, keeps the full line.
#pragma once

#include <set>
#include <string>
#include <utility>

struct sd_bus;

class DesktopNotices {
public:
    DesktopNotices() = default;
    ~DesktopNotices();
    DesktopNotices(const DesktopNotices&) = delete;
    DesktopNotices& operator=(const DesktopNotices&) = delete;

    // Tells the person that the job (the document as the server names it, on queue) waits, and
    // why, once for each job and reason; sent without waiting for the service. Without a session
    // bus there is nobody to tell, and nothing is sent; false, with the reason in *error, when the
    // bus would not take it.
    bool tellJobWaits(int job, const std::string& document, const std::string& queue, const std::string& why, std::string* error);

private:
    sd_bus* m_bus { nullptr };
    std::set<std::pair<int, std::string>> m_told;
};
