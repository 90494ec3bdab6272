// A Wayland desktop of the test's own: Debian's weston, its socket in the programs' runtime
// folder (WaylandDesktop.h).
//
// weston's headless backend makes no seat: nothing could ever type into a window there, but a
// program must still put its windows on it (a compositor that lost its input devices is the
// same). Its RDP backend has no screen either, and makes a seat, with a keyboard and a pointer,
// for each remote desktop client; the test's own client, rdp-input, is that seat's person, and
// also sees what the compositor shows. Both run weston's desktop shell. It reaches the backend over the loopback address, on a port taken while
// free. Which windows are shown, and where, weston's scene graph says (its debug protocol, read
// with weston-debug).
#pragma once

#include "tests/support/RunningProgram.h"
#include "tests/display/WaylandDesktop.h"

#include <memory>

class WestonDesktop : public WaylandDesktop {
public:
    enum class Backend {
        RemoteDesktop, // a seat for the test's person
        HeadlessWithoutSeat, // the pixman renderer; clicks, keys and pictures fail, saying why
    };
    explicit WestonDesktop(Backend backend = Backend::RemoteDesktop)
        : m_backend(backend)
    {
    }

    bool start(std::string* error) override;
    std::vector<ShownWindow> windows() override;
    bool click(int x, int y, std::string* error) override;
    bool type(const std::string& text, std::string* error) override;
    bool pressReturn(std::string* error) override;
    bool picture(const std::string& path, std::string* error) override;

private:
    // The scene graph as weston tells it: its outputs, layers and views, each view with its
    // role, the process that made it, its title and its place on the screen.
    std::string sceneGraph() const;
    bool startCompositor(std::string* error);
    // Has rdp-input do one line of its input and waits until it has.
    bool act(const std::string& line, std::string* error);

    Backend m_backend;
    int m_port { 0 };
    std::unique_ptr<RunningProgram> m_input;
    int m_acted { 0 };
};
