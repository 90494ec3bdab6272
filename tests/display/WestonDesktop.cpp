#include "tests/display/WestonDesktop.h"

#include "tests/support/ProgramRun.h"

#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr const char* kSocketName = "wayland-0";
constexpr int kWidth = 1024;
constexpr int kHeight = 768;
// Tries at a port that another program may take between the look and weston's start.
constexpr int kPortTries = 5;

// A port of the loopback address that nothing listens on now.
int freePort()
{
    int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return 0;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    close(probe);
    return port;
}

// A socket bound at path, where weston's systemd-notify module says READY=1 once weston takes
// clients, on its Wayland socket and on its RDP port alike.
int readinessSocket(const std::string& path)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return -1;
    int socketDescriptor = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socketDescriptor < 0)
        return -1;
    memcpy(address.sun_path, path.c_str(), path.size());
    if (bind(socketDescriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(socketDescriptor);
        return -1;
    }
    return socketDescriptor;
}

// "(X1, Y1) -> (X2, Y2)" after label in line, as a window's place.
bool readBox(const std::string& line, const char* label, ShownWindow& window)
{
    size_t at = line.find(label);
    int left = 0, top = 0, right = 0, bottom = 0;
    if (at == std::string::npos || sscanf(line.c_str() + at + strlen(label), " (%d, %d) -> (%d, %d)", &left, &top, &right, &bottom) != 4)
        return false;
    window.x = left;
    window.y = top;
    window.width = right - left;
    window.height = bottom - top;
    return true;
}

}

bool WestonDesktop::start(std::string* error)
{
    if (!startCompositor(error))
        return false;
    if (m_backend == Backend::HeadlessWithoutSeat)
        return true;
    ProgramOptions options;
    // The client library keeps the certificates it has seen under the home folder.
    options.environment = { { "HOME", m_runtime.root() }, { "XDG_CONFIG_HOME", m_runtime.root() } };
    options.timeout = std::chrono::seconds(60);
    m_input = std::make_unique<RunningProgram>(
        std::vector<std::string> { RDP_INPUT_PATH, "127.0.0.1", std::to_string(m_port), std::to_string(kWidth), std::to_string(kHeight) }, options);
    if (m_input->waitForOutput("connected\n"))
        return true;
    *error = "the test's remote desktop client did not connect to weston: " + m_input->finish().errors;
    m_input.reset();
    return false;
}

bool WestonDesktop::startCompositor(std::string* error)
{
    if (!installed({ { "/usr/bin/weston", "weston" }, { "/usr/bin/weston-debug", "weston" }, { "/usr/bin/openssl", "openssl" } }, error))
        return false;
    bool remote = m_backend == Backend::RemoteDesktop;
    std::string certificate = m_runtime.path("rdp.crt");
    std::string key = m_runtime.path("rdp.key");
    ProgramRun made;
    if (remote)
        made = runProgram({ "/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-days", "1", "-keyout", key,
            "-out", certificate });
    if (remote && made.exitStatus != 0) {
        *error = "openssl made no certificate for weston's RDP backend: " + made.errors;
        return false;
    }
    std::string readiness = m_runtime.path("ready");
    int ready = readinessSocket(readiness);
    if (ready < 0) {
        *error = "cannot make a socket at " + readiness;
        return false;
    }
    m_socket = kSocketName;
    for (int attempt = 0; attempt < kPortTries; ++attempt) {
        m_port = remote ? freePort() : 0;
        std::vector<std::string> arguments { "/usr/bin/weston", std::string("--socket=") + kSocketName, "--no-config", "--shell=desktop-shell.so",
            "--idle-time=0", "--debug", "--modules=systemd-notify.so", "--width=" + std::to_string(kWidth), "--height=" + std::to_string(kHeight) };
        if (remote)
            arguments.insert(arguments.end(), { "--backend=rdp-backend.so", "--address=127.0.0.1", "--port=" + std::to_string(m_port), "--rdp-tls-cert=" + certificate, "--rdp-tls-key=" + key });
        else
            arguments.insert(arguments.end(), { "--backend=headless-backend.so", "--use-pixman" });
        bool started = launchCompositor(arguments, { { "XDG_RUNTIME_DIR", m_runtime.root() }, { "NOTIFY_SOCKET", readiness }, { "WAYLAND_DISPLAY", "" }, { "DISPLAY", "" } },
            [ready] {
                pollfd wait = { ready, POLLIN, 0 };
                char said[256] = {};
                return poll(&wait, 1, 100) == 1 && recv(ready, said, sizeof said - 1, 0) > 0 && strstr(said, "READY=1");
            });
        if (started) {
            close(ready);
            return true;
        }
        // Ended at once: the port was taken after all. Anything else is weston's own failure.
        if (m_compositor.running())
            break;
    }
    close(ready);
    m_compositor.stop();
    *error = "weston did not come up: " + serverLog();
    return false;
}

std::string WestonDesktop::sceneGraph() const
{
    ProgramOptions options;
    options.environment = clientEnvironment();
    options.timeout = std::chrono::seconds(5);
    return runProgram({ "/usr/bin/weston-debug", "scene-graph" }, options).output;
}

std::vector<ShownWindow> WestonDesktop::windows()
{
    // A program's window is a view with the xdg_toplevel role, labelled
    // "top-level window 'TITLE' of PROGRAM", its place on the next line; the part that the
    // program marks opaque, after it, is the content without the frame the program draws.
    // weston finds what lies under the pointer among the views it last painted, so a window
    // counts as shown once the screen has been painted since it came: while a repaint is still
    // to come, a click at it would go to what lay there before.
    std::vector<ShownWindow> shown;
    std::istringstream graph(sceneGraph());
    std::optional<ShownWindow> view;
    bool painted = true;
    for (std::string line; std::getline(graph, line);) {
        if (line.find("repaint status:") != std::string::npos && line.find("repaint status: no repaint") == std::string::npos)
            painted = false;
        if (line.find("View ") != std::string::npos) {
            if (view)
                shown.push_back(*view);
            view.reset();
            const std::string label = "top-level window '";
            size_t title = line.find(label);
            size_t end = line.rfind("' of ");
            if (line.find("role xdg_toplevel") != std::string::npos && title != std::string::npos && end != std::string::npos && end > title)
                view = ShownWindow { line.substr(title + label.size(), end - title - label.size()) };
        } else if (view) {
            readBox(line, "position:", *view);
            readBox(line, "[opaque:", *view);
        }
    }
    if (view)
        shown.push_back(*view);
    return painted ? shown : std::vector<ShownWindow>();
}

bool WestonDesktop::act(const std::string& line, std::string* error)
{
    if (m_backend == Backend::HeadlessWithoutSeat) {
        *error = "weston's headless backend has no seat: nobody can click, type or look there";
        return false;
    }
    if (!m_input) {
        *error = "the test's remote desktop client has gone";
        return false;
    }
    m_input->type(line + "\n");
    if (m_input->waitForOutput("done " + std::to_string(++m_acted) + "\n"))
        return true;
    *error = "the test's remote desktop client failed: " + m_input->finish().errors;
    m_input.reset();
    return false;
}

bool WestonDesktop::click(int x, int y, std::string* error)
{
    return act("click " + std::to_string(x) + " " + std::to_string(y), error);
}

bool WestonDesktop::type(const std::string& text, std::string* error)
{
    return act("type " + text, error);
}

bool WestonDesktop::pressReturn(std::string* error)
{
    return act("key return", error);
}

bool WestonDesktop::picture(const std::string& path, std::string* error)
{
    return act("picture " + path, error);
}
