// A Wayland desktop of the test's own that tiles: Debian's sway on wlroots' headless backend,
// which floats a dialog over the other windows and stretches any other window over the screen
// (WaylandDesktop.h has what it shares with weston). swaymsg's tree of the windows says which
// float and where each lies.
//
// sway refuses to start as root, so it runs as nobody, in a folder of its own beside the
// programs' runtime folder; the programs reach it by its socket's path. The headless backend
// has no input devices: the person's keys are wtype's virtual keyboards. The seat keeps one for
// the desktop's whole life, as a person's keyboard stays plugged in: a seat that gains its
// keyboard as wtype starts lets wtype's first key reach a window before the window's program
// has asked for that keyboard, and the compositor then hands the key over as held down already
// at the window's keyboard focus, which no program takes for a key typed. There is no pointer:
// clicks fail, saying why. grim takes the pictures.
#pragma once

#include "tests/display/WaylandDesktop.h"

class SwayDesktop : public WaylandDesktop {
public:
    // Empty when sway and its tools are installed; else what is missing, with its package.
    static std::string unavailable();
    // sway goes before its folder.
    ~SwayDesktop() override;

    bool start(std::string* error) override;
    std::vector<ShownWindow> windows() override;
    bool click(int x, int y, std::string* error) override;
    bool type(const std::string& text, std::string* error) override;
    bool pressReturn(std::string* error) override;
    bool picture(const std::string& path, std::string* error) override;

private:
    // swaymsg's answer to a message of this type ("get_tree"); empty when sway does not answer.
    std::string ask(const std::string& type) const;
    bool startKeyboard(std::string* error);
    bool ran(const std::vector<std::string>& arguments, std::string* error) const;

    // sway's own folder: its configuration, its IPC socket, its Wayland socket.
    TemporaryTree m_swayFolder;
    BackgroundProcess m_keyboard;
};
