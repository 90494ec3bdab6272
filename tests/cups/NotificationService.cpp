#include "tests/cups/NotificationService.h"

#include <cstring>
#include <poll.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

namespace {

int notify(sd_bus_message* call, void* service, sd_bus_error*)
{
    const char* application = nullptr;
    const char* summary = nullptr;
    const char* body = nullptr;
    uint32_t replaces = 0;
    const char* icon = nullptr;
    int status = sd_bus_message_read(call, "susss", &application, &replaces, &icon, &summary, &body);
    if (status < 0)
        return status;
    return sd_bus_reply_method_return(call, "u", static_cast<NotificationService*>(service)->record({ application, summary, body }));
}

}

NotificationService::~NotificationService()
{
    if (m_thread.joinable()) {
        (void)!write(m_stop[1], "x", 1);
        m_thread.join();
    }
    for (int end : m_stop) {
        if (end >= 0)
            close(end);
    }
    if (m_bus)
        sd_bus_flush_close_unref(m_bus);
}

bool NotificationService::start(const std::string& address, std::string* error)
{
    static const sd_bus_vtable vtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("Notify", "susssasa{sv}i", "u", notify, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_VTABLE_END,
    };
    int status = sd_bus_new(&m_bus);
    if (status >= 0)
        status = sd_bus_set_address(m_bus, address.c_str());
    if (status >= 0)
        status = sd_bus_set_bus_client(m_bus, 1);
    if (status >= 0)
        status = sd_bus_start(m_bus);
    if (status >= 0)
        status = sd_bus_add_object_vtable(m_bus, nullptr, "/org/freedesktop/Notifications", "org.freedesktop.Notifications", vtable, this);
    if (status >= 0)
        status = sd_bus_request_name(m_bus, "org.freedesktop.Notifications", 0);
    if (status < 0 || pipe(m_stop) != 0) {
        *error = std::string("the notification service did not come up: ") + strerror(status < 0 ? -status : errno);
        return false;
    }
    m_thread = std::thread([this] { serve(); });
    return true;
}

void NotificationService::serve()
{
    for (;;) {
        while (sd_bus_process(m_bus, nullptr) > 0) {
        }
        pollfd watched[] = { { sd_bus_get_fd(m_bus), static_cast<short>(sd_bus_get_events(m_bus)), 0 }, { m_stop[0], POLLIN, 0 } };
        if (poll(watched, 2, -1) < 0 || watched[1].revents)
            return;
    }
}

unsigned NotificationService::record(Notice notice)
{
    unsigned number = 0;
    {
        std::lock_guard<std::mutex> guard(m_guard);
        m_notices.push_back(std::move(notice));
        number = static_cast<unsigned>(m_notices.size());
    }
    m_came.notify_all();
    return number;
}

std::vector<NotificationService::Notice> NotificationService::notices(size_t count, std::chrono::milliseconds wait)
{
    std::unique_lock<std::mutex> lock(m_guard);
    m_came.wait_for(lock, wait, [&] { return m_notices.size() >= count; });
    return m_notices;
}
