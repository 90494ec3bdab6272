// A desktop of the test's own for a program's windows, and a person at it: a display server
// that shows nobody else's windows, the environment that puts a program's windows on it, and
// keys and clicks that go through the display server as a keyboard's and a mouse's would, so
// that a window takes them as it takes a person's. XvfbDesktop is an X11 one, WestonDesktop and
// SwayDesktop Wayland ones. Each is stopped, with everything it started, when it goes.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct ShownWindow {
    std::string title;
    // Where the window's content lies on the screen, without the frame that a window system or
    // the program itself draws around it.
    int x { 0 };
    int y { 0 };
    int width { 0 };
    int height { 0 };
    // Lying over the other windows where the desktop placed it, as every window does on a
    // stacking desktop; a tiling desktop (sway) floats only a dialog so, and gives any other
    // window a tile of the screen.
    bool floating { true };
};

class TestDesktop {
public:
    virtual ~TestDesktop() = default;

    // False, with the reason in *error, when the display server or the person's keyboard and
    // mouse cannot be had.
    virtual bool start(std::string* error) = 0;
    // What a program's environment needs to put its windows here: variables set, or cleared
    // when the value is empty.
    virtual std::vector<std::pair<std::string, std::string>> session() const = 0;
    // The programs' windows on the screen now.
    virtual std::vector<ShownWindow> windows() = 0;
    // The left button clicked at x,y on the screen.
    virtual bool click(int x, int y, std::string* error) = 0;
    // The key of each character pressed and released, Shift held for a capital.
    virtual bool type(const std::string& text, std::string* error) = 0;
    // The Return key pressed and released.
    virtual bool pressReturn(std::string* error) = 0;
    // A PNG picture of the screen, as a person sees it.
    virtual bool picture(const std::string& path, std::string* error) = 0;
    // What the display server has written, for a failure's message.
    virtual std::string serverLog() const = 0;

    // The window whose title holds text, once it is on the screen; none after timeout.
    std::optional<ShownWindow> waitForWindow(const std::string& text, std::chrono::milliseconds timeout);
    // The titles of the windows on the screen, for a failure's message.
    std::string describeWindows();

protected:
    // False, with the missing programs and the Debian packages that have them in *error
    // (scripts/setup installs them), unless every program (a path) is there.
    static bool installed(const std::vector<std::pair<std::string, std::string>>& programsAndPackages, std::string* error);
};
