#include "tests/display/XvfbDesktop.h"

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <unistd.h>

namespace {

constexpr const char* kXdotool = "/usr/bin/xdotool";
constexpr const char* kImport = "/usr/bin/import";
constexpr const char* kXwininfo = "/usr/bin/xwininfo";

// What xwininfo says of one of its values ("Absolute upper-left X").
int windowValue(const std::string& lines, const std::string& name)
{
    size_t at = lines.find(name + ":");
    return at == std::string::npos ? 0 : atoi(lines.c_str() + at + name.size() + 1);
}

}

bool XvfbDesktop::start(std::string* error)
{
    if (!installed({ { "/usr/bin/Xvfb", "xvfb" }, { kXdotool, "xdotool" }, { kXwininfo, "x11-utils" }, { kImport, "imagemagick" } }, error))
        return false;
    // Xvfb writes the number it took into this pipe once it takes connections.
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        *error = "cannot make a pipe";
        return false;
    }
    std::string log = m_folder.path("Xvfb.log");
    bool started = m_server.start({ "/usr/bin/Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset" },
        {}, log, ready[1]);
    close(ready[1]);
    // It writes the number and the newline apart, and ends if the newline cannot be written: the
    // pipe stays open until the whole line is in.
    std::string number;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (started && number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd wait = { ready[0], POLLIN, 0 };
        char buffer[16];
        ssize_t count = poll(&wait, 1, 100) == 1 ? read(ready[0], buffer, sizeof buffer) : -1;
        if (count == 0)
            break;
        if (count > 0)
            number.append(buffer, static_cast<size_t>(count));
    }
    close(ready[0]);
    // Built in place: GCC 12's optimizer warns of a string prepended with + here (-Wrestrict), wrongly.
    if (size_t end = number.find('\n'); end != std::string::npos)
        m_display = number.substr(0, end).insert(0, 1, ':');
    if (m_display.empty()) {
        *error = "Xvfb did not come up: " + fileContents(log);
        return false;
    }
    return m_manager == WindowManager::None || startWindowManager(error);
}

bool XvfbDesktop::startWindowManager(std::string* error)
{
    if (!installed({ { "/usr/bin/openbox", "openbox" }, { "/usr/bin/xprop", "x11-utils" } }, error))
        return false;
    std::string log = m_folder.path("openbox.log");
    m_windowManager.start({ "/usr/bin/openbox", "--sm-disable" }, { { "DISPLAY", m_display }, { "HOME", m_folder.root() } }, log);
    // A window manager says it manages the screen with the root window's
    // _NET_SUPPORTING_WM_CHECK, once it does.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (onDisplay({ "/usr/bin/xprop", "-root", "_NET_SUPPORTING_WM_CHECK" }).output.find("window id") != std::string::npos)
            return true;
        usleep(50000);
    }
    *error = "Openbox did not come up: " + fileContents(log);
    return false;
}

std::vector<std::pair<std::string, std::string>> XvfbDesktop::session() const
{
    return { { "DISPLAY", m_display }, { "WAYLAND_DISPLAY", "" }, { "QT_QPA_PLATFORM", "" } };
}

ProgramRun XvfbDesktop::onDisplay(const std::vector<std::string>& arguments) const
{
    ProgramOptions options;
    options.environment = { { "DISPLAY", m_display } };
    options.timeout = std::chrono::seconds(5);
    return runProgram(arguments, options);
}

bool XvfbDesktop::ran(const std::vector<std::string>& arguments, std::string* error) const
{
    ProgramRun run = onDisplay(arguments);
    if (run.exitStatus == 0)
        return true;
    *error = arguments[0] + (run.timedOut ? " did not end" : " failed: " + run.errors);
    return false;
}

std::vector<ShownWindow> XvfbDesktop::windows()
{
    std::vector<ShownWindow> shown;
    std::istringstream found(onDisplay({ kXdotool, "search", "--onlyvisible", "--name", "." }).output);
    for (std::string window; std::getline(found, window);) {
        ProgramRun name = onDisplay({ kXdotool, "getwindowname", window });
        // xwininfo, since xdotool counts a window manager's frame twice in a framed window's place.
        ProgramRun geometry = onDisplay({ kXwininfo, "-id", window });
        if (name.exitStatus != 0 || geometry.exitStatus != 0)
            continue;
        const std::string& place = geometry.output;
        shown.push_back({ name.output.substr(0, name.output.find('\n')), windowValue(place, "Absolute upper-left X"),
            windowValue(place, "Absolute upper-left Y"), windowValue(place, "Width"), windowValue(place, "Height") });
    }
    return shown;
}

bool XvfbDesktop::click(int x, int y, std::string* error)
{
    // The server moves the pointer before it takes the press that follows. (--sync would wait for
    // a move, and forever when the pointer is at the point already.)
    return ran({ kXdotool, "mousemove", std::to_string(x), std::to_string(y), "click", "1" }, error);
}

bool XvfbDesktop::type(const std::string& text, std::string* error)
{
    return ran({ kXdotool, "type", "--", text }, error);
}

bool XvfbDesktop::pressReturn(std::string* error)
{
    return ran({ kXdotool, "key", "Return" }, error);
}

bool XvfbDesktop::picture(const std::string& path, std::string* error)
{
    return ran({ kImport, "-window", "root", path }, error);
}

std::string XvfbDesktop::serverLog() const
{
    return fileContents(m_folder.path("Xvfb.log")) + (m_manager == WindowManager::None ? "" : fileContents(m_folder.path("openbox.log")));
}
