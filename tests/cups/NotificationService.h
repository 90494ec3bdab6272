// The desktop's notification service (org.freedesktop.Notifications) as a test stands it up on a
// bus of its own: it owns the name, answers Notify as a desktop's service does, and keeps what
// each notification said, for the test to read.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct sd_bus;

class NotificationService {
public:
    struct Notice {
        std::string application;
        std::string summary;
        std::string body;
    };

    NotificationService() = default;
    ~NotificationService();
    NotificationService(const NotificationService&) = delete;
    NotificationService& operator=(const NotificationService&) = delete;

    // Serves on the bus at address (a D-Bus address); false, with the reason in *error.
    bool start(const std::string& address, std::string* error);
    // Waits for count notices in all; what came by then.
    std::vector<Notice> notices(size_t count, std::chrono::milliseconds wait = std::chrono::seconds(10));

    // A notice as the bus brought it; returns its number.
    unsigned record(Notice notice);

private:
    void serve();

    sd_bus* m_bus { nullptr };
    std::thread m_thread;
    int m_stop[2] { -1, -1 };
    std::mutex m_guard;
    std::condition_variable m_came;
    std::vector<Notice> m_notices;
};
