#include "tests/cups/PrivateSystemBus.h"

#include "tests/support/TemporaryTree.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <systemd/sd-bus.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

bool PrivateSystemBus::start(const std::string& folder, std::string* error)
{
    std::string socket = folder + "/system_bus_socket";
    std::string configuration = folder + "/bus.conf";
    std::ofstream(configuration) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                                    " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                                    "<busconfig>\n  <type>system</type>\n  <listen>unix:path="
                                 << socket
                                 << "</listen>\n  <auth>EXTERNAL</auth>\n"
                                    "  <policy context=\"default\">\n    <allow user=\"*\"/>\n    <allow own=\"*\"/>\n"
                                    "    <allow send_type=\"*\"/>\n    <allow receive_type=\"*\"/>\n  </policy>\n</busconfig>\n";
    m_bus = fork();
    if (m_bus == 0) {
        // Its complaint that it may not raise its descriptor limit is of no interest.
        int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDERR_FILENO);
        execl("/usr/bin/dbus-daemon", "dbus-daemon", "--nofork", "--nopidfile", ("--config-file=" + configuration).c_str(), nullptr);
        _exit(127);
    }
    for (int tries = 0; tries < 100 && access(socket.c_str(), F_OK) != 0; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (access(socket.c_str(), F_OK) != 0) {
        *error = "the private system bus did not come up (dbus-daemon, from the dbus-daemon package)";
        stop();
        return false;
    }
    m_address = "unix:path=" + socket;
    return true;
}

namespace {

// Makes the calling child process user's, a client of the bus at address; it ends at once when
// it cannot be.
void becomeClientAs(const std::string& user, const std::string& address)
{
    const passwd* account = getpwnam(user.c_str());
    if (!account || setgroups(0, nullptr) != 0 || setgid(account->pw_gid) != 0 || setuid(account->pw_uid) != 0)
        _exit(126);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
}

}

bool PrivateSystemBus::ringAs(const std::string& user, int count, const std::string& to) const
{
    pid_t child = fork();
    if (child == 0) {
        becomeClientAs(user, m_address);
        sd_bus* bus = nullptr;
        if (sd_bus_open_system(&bus) < 0)
            _exit(1);
        auto send = [&] {
            sd_bus_message* signal = nullptr;
            int status = sd_bus_message_new_signal(bus, &signal, "/org/cups/cupsd/Notifier", "org.cups.cupsd.Notifier", "JobCreated");
            if (status >= 0 && !to.empty())
                status = sd_bus_message_set_destination(signal, to.c_str());
            if (status >= 0)
                status = sd_bus_message_append(signal, "s", "a job");
            if (status >= 0)
                status = sd_bus_send(bus, signal, nullptr);
            sd_bus_message_unref(signal);
            return status;
        };
        for (int i = 0; i < count; ++i) {
            int sent;
            // A bus daemon slower than the flood leaves the queue full: it is written out first.
            while ((sent = send()) == -ENOBUFS) {
                if (sd_bus_flush(bus) < 0)
                    _exit(1);
            }
            if (sent < 0)
                _exit(1);
        }
        _exit(sd_bus_flush(bus) < 0 ? 1 : 0);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string PrivateSystemBus::connectionOf(pid_t process) const
{
    sd_bus* bus = nullptr;
    sd_bus_message* reply = nullptr;
    char** names = nullptr;
    if (sd_bus_new(&bus) >= 0 && sd_bus_set_address(bus, m_address.c_str()) >= 0 && sd_bus_set_bus_client(bus, 1) >= 0 && sd_bus_start(bus) >= 0
        && sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "ListNames", nullptr, &reply, "") >= 0)
        sd_bus_message_read_strv(reply, &names);
    sd_bus_message_unref(reply);
    std::string found;
    for (char** name = names; name && *name; ++name) {
        uint32_t pid = 0;
        reply = nullptr;
        if (found.empty() && **name == ':'
            && sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetConnectionUnixProcessID", nullptr,
                   &reply, "s", *name)
                >= 0
            && sd_bus_message_read(reply, "u", &pid) > 0 && static_cast<pid_t>(pid) == process)
            found = *name;
        sd_bus_message_unref(reply);
        free(*name);
    }
    free(names);
    sd_bus_flush_close_unref(bus);
    return found;
}

long PrivateSystemBus::connectAs(const std::string& user, std::chrono::milliseconds duration, int perSecond) const
{
    int counted[2];
    if (pipe(counted) != 0)
        return -1;
    pid_t child = fork();
    if (child == 0) {
        close(counted[0]);
        becomeClientAs(user, m_address);
        auto start = std::chrono::steady_clock::now();
        long connections = 0;
        for (; std::chrono::steady_clock::now() < start + duration; ++connections) {
            if (perSecond > 0)
                std::this_thread::sleep_until(start + connections * std::chrono::microseconds(1000000 / perSecond));
            sd_bus* bus = nullptr;
            sd_bus_message* reply = nullptr;
            // A call, as dbus-send makes one: the bus has named the connection by its answer.
            if (sd_bus_open_system(&bus) < 0
                || sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId", nullptr, &reply, "") < 0)
                _exit(1);
            sd_bus_message_unref(reply);
            sd_bus_flush_close_unref(bus);
        }
        _exit(write(counted[1], &connections, sizeof connections) == sizeof connections ? 0 : 1);
    }
    close(counted[1]);
    long connections = -1;
    if (child < 0 || read(counted[0], &connections, sizeof connections) != sizeof connections)
        connections = -1;
    close(counted[0]);
    int status = 0;
    if (child > 0 && (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0))
        connections = -1;
    return connections;
}

void PrivateSystemBus::stop()
{
    if (m_bus > 0) {
        kill(m_bus, SIGTERM);
        waitpid(m_bus, nullptr, 0);
        m_bus = -1;
    }
}
