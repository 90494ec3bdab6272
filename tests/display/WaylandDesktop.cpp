#include "tests/display/WaylandDesktop.h"

#include <chrono>

std::vector<std::pair<std::string, std::string>> WaylandDesktop::clientEnvironment() const
{
    return { { "WAYLAND_DISPLAY", m_socket }, { "XDG_RUNTIME_DIR", m_runtime.root() } };
}

std::vector<std::pair<std::string, std::string>> WaylandDesktop::session() const
{
    std::vector<std::pair<std::string, std::string>> variables = clientEnvironment();
    variables.insert(variables.end(), { { "QT_QPA_PLATFORM", "wayland" }, { "DISPLAY", "" } });
    return variables;
}

std::string WaylandDesktop::serverLog() const
{
    return fileContents(logPath());
}

bool WaylandDesktop::launchCompositor(const std::vector<std::string>& arguments, const std::vector<std::pair<std::string, std::string>>& environment,
    const std::function<bool()>& ready)
{
    m_compositor.start(arguments, environment, logPath());
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (m_compositor.running() && std::chrono::steady_clock::now() < deadline) {
        if (ready())
            return true;
    }
    return false;
}
