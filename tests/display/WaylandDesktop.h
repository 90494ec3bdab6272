// What the tests' Wayland desktops (WestonDesktop, SwayDesktop) share: a compositor in the
// background, the runtime folder of the programs shown on it (their XDG_RUNTIME_DIR, mode 0700),
// without Xwayland, so that every window on it is a Wayland window, and the compositor's log.
#pragma once

#include "tests/support/BackgroundProcess.h"
#include "tests/support/TemporaryTree.h"
#include "tests/display/TestDesktop.h"

#include <functional>

class WaylandDesktop : public TestDesktop {
public:
    std::vector<std::pair<std::string, std::string>> session() const override;
    std::string serverLog() const override;

protected:
    // Starts the compositor with its environment changed, its output in the log, and waits up to
    // ten seconds until ready() says it takes clients. False when it ended first or is not ready
    // by then, still running in the second case.
    bool launchCompositor(const std::vector<std::string>& arguments, const std::vector<std::pair<std::string, std::string>>& environment,
        const std::function<bool()>& ready);
    // What a tool of the test's needs to talk to the compositor.
    std::vector<std::pair<std::string, std::string>> clientEnvironment() const;
    std::string logPath() const { return m_runtime.path("compositor.log"); }

    TemporaryTree m_runtime;
    BackgroundProcess m_compositor;
    // The compositor's socket as WAYLAND_DISPLAY names it: a name in the runtime folder, or a path.
    std::string m_socket;
};
