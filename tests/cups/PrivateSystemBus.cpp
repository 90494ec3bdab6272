#include "PrivateSystemBus.h"

#include "TemporaryTree.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
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

void PrivateSystemBus::stop()
{
    if (m_bus > 0) {
        kill(m_bus, SIGTERM);
        waitpid(m_bus, nullptr, 0);
        m_bus = -1;
    }
}
