#include "tests/display/SwayDesktop.h"

#include "tests/support/ProgramRun.h"

#include <filesystem>
#include <pwd.h>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char* kSway = "/usr/bin/sway";
constexpr const char* kSwaymsg = "/usr/bin/swaymsg";
constexpr const char* kWtype = "/usr/bin/wtype";
constexpr const char* kGrim = "/usr/bin/grim";
constexpr const char* kJq = "/usr/bin/jq";
constexpr const char* kSetpriv = "/usr/bin/setpriv";
constexpr const char* kUser = "nobody";

// No frame around any window, so that a window's place in the tree is its content's; no Xwayland.
constexpr const char* kConfiguration = "output HEADLESS-1 resolution 1024x768\n"
                                       "default_border none\n"
                                       "default_floating_border none\n"
                                       "xwayland disable\n";

// Ten minutes, longer than any test, and few enough microseconds for a 32-bit int in wtype: the
// keyboard goes with the desktop.
constexpr const char* kKeyboardLifeMilliseconds = "600000";

// Each window of swaymsg's tree (the nodes a program made, which have its process's id) as a
// line: its type, then its content's place, then its title, apart by tabs.
constexpr const char* kWindowLines = R"(.. | objects | select(has("pid"))
    | [.type, .rect.x + .window_rect.x, .rect.y + .window_rect.y, .window_rect.width, .window_rect.height, .name] | @tsv)";

}

std::string SwayDesktop::unavailable()
{
    std::string missing;
    installed({ { kSway, "sway" }, { kSwaymsg, "sway" }, { kWtype, "wtype" }, { kGrim, "grim" }, { kJq, "jq" }, { kSetpriv, "util-linux" } }, &missing);
    return missing;
}

SwayDesktop::~SwayDesktop()
{
    m_keyboard.stop();
    m_compositor.stop();
}

bool SwayDesktop::start(std::string* error)
{
    if (std::string missing = unavailable(); !missing.empty()) {
        *error = missing;
        return false;
    }
    const passwd* user = getpwnam(kUser);
    if (!user || chown(m_swayFolder.root().c_str(), user->pw_uid, user->pw_gid) != 0) {
        *error = std::string("cannot give sway's folder to ") + kUser;
        return false;
    }
    m_swayFolder.addFile("config", kConfiguration);
    std::string commands = m_swayFolder.path("ipc.sock");
    std::string uid = std::to_string(user->pw_uid);
    std::string gid = std::to_string(user->pw_gid);
    bool started = launchCompositor({ kSetpriv, "--reuid=" + uid, "--regid=" + gid, "--clear-groups", kSway, "--config", m_swayFolder.path("config") },
        { { "XDG_RUNTIME_DIR", m_swayFolder.root() }, { "HOME", m_swayFolder.root() }, { "SWAYSOCK", commands }, { "WLR_BACKENDS", "headless" },
            { "WLR_LIBINPUT_NO_DEVICES", "1" }, { "WLR_RENDERER", "pixman" }, { "WAYLAND_DISPLAY", "" }, { "DISPLAY", "" } },
        [this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            return !ask("get_version").empty();
        });
    // wlroots names the Wayland socket itself, the first free one.
    for (const auto& entry : std::filesystem::directory_iterator(m_swayFolder.root())) {
        std::string name = entry.path().filename();
        if (started && name.rfind("wayland-", 0) == 0 && name.find(".lock") == std::string::npos)
            m_socket = entry.path();
    }
    if (m_socket.empty()) {
        m_compositor.stop();
        *error = "sway did not come up: " + serverLog();
        return false;
    }
    return startKeyboard(error);
}

bool SwayDesktop::startKeyboard(std::string* error)
{
    m_keyboard.start({ kWtype, "-s", kKeyboardLifeMilliseconds }, clientEnvironment(), m_runtime.path("keyboard.log"));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (m_keyboard.running() && std::chrono::steady_clock::now() < deadline) {
        ProgramRun keyboards = runProgram({ kJq, "-r", R"([.[] | select(.type == "keyboard")] | length)" }, withInput(ask("get_inputs")));
        if (keyboards.output == "1\n")
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    *error = "wtype's keyboard did not come to sway's seat: " + fileContents(m_runtime.path("keyboard.log"));
    return false;
}

std::string SwayDesktop::ask(const std::string& type) const
{
    ProgramOptions options;
    options.timeout = std::chrono::seconds(5);
    ProgramRun answer = runProgram({ kSwaymsg, "--socket", m_swayFolder.path("ipc.sock"), "--raw", "--type", type }, options);
    return answer.exitStatus == 0 ? answer.output : "";
}

std::vector<ShownWindow> SwayDesktop::windows()
{
    std::vector<ShownWindow> shown;
    std::istringstream lines(runProgram({ kJq, "-r", kWindowLines }, withInput(ask("get_tree"))).output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string type;
        ShownWindow window;
        if (std::getline(fields, type, '\t') && fields >> window.x >> window.y >> window.width >> window.height && fields.get() == '\t'
            && std::getline(fields, window.title)) {
            window.floating = type == "floating_con";
            shown.push_back(window);
        }
    }
    return shown;
}

bool SwayDesktop::ran(const std::vector<std::string>& arguments, std::string* error) const
{
    ProgramOptions options;
    options.environment = clientEnvironment();
    options.timeout = std::chrono::seconds(5);
    ProgramRun run = runProgram(arguments, options);
    if (run.exitStatus == 0)
        return true;
    *error = arguments.front() + " failed: " + run.errors;
    return false;
}

bool SwayDesktop::click(int, int, std::string* error)
{
    *error = "sway's headless backend has no pointer, and Debian 12 has no client that makes a virtual one";
    return false;
}

bool SwayDesktop::type(const std::string& text, std::string* error)
{
    return ran({ kWtype, "--", text }, error);
}

bool SwayDesktop::pressReturn(std::string* error)
{
    return ran({ kWtype, "-k", "Return" }, error);
}

bool SwayDesktop::picture(const std::string& path, std::string* error)
{
    return ran({ kGrim, path }, error);
}
