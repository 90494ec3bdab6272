#include "agent/DesktopNotices.h"

#include "program/PrintableText.h"
#include "program/ProgramTexts.h"

#include <systemd/sd-bus.h>

#include <cstring>

DesktopNotices::~DesktopNotices()
{
    if (m_bus)
        sd_bus_flush_close_unref(m_bus);
}

bool DesktopNotices::tellJobWaits(int job, const std::string& document, const std::string& queue, const std::string& why, std::string* error)
{
    if (!m_told.insert({ job, why }).second)
        return true;
    if (!m_bus) {
        if (sd_bus_open_user(&m_bus) < 0) {
            m_bus = nullptr;
            return true;
        }
    }
    std::string title = programText("Job Waits Title", { document.empty() ? programText("Your Print") : programText("Quoted Document", { printableText(document) }), printableText(queue) });
    std::string body = programText("Job Waits Body", { printableText(why) });
    sd_bus_message* message = nullptr;
    int status = sd_bus_message_new_method_call(m_bus, &message, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
        "org.freedesktop.Notifications", "Notify");
    // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout): no
    // actions, no hints, the service's own time on screen.
    if (status >= 0)
        status = sd_bus_message_append(message, "susssasa{sv}i", "accounting-agent", 0u, "printer", title.c_str(), body.c_str(), 0, 0, -1);
    // The service's answer is not awaited: a desktop whose service is slow keeps no job waiting.
    if (status >= 0)
        status = sd_bus_message_set_expect_reply(message, 0);
    if (status >= 0)
        status = sd_bus_send(m_bus, message, nullptr);
    if (status >= 0)
        status = sd_bus_flush(m_bus);
    sd_bus_message_unref(message);
    if (status < 0) {
        *error = std::string("cannot tell the person on the desktop: ") + strerror(-status);
        return false;
    }
    return true;
}
