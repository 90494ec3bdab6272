#include "tests/display/TestDesktop.h"

#include <thread>
#include <unistd.h>

std::optional<ShownWindow> TestDesktop::waitForWindow(const std::string& text, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        for (const ShownWindow& window : windows()) {
            if (window.title.find(text) != std::string::npos)
                return window;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < deadline);
    return std::nullopt;
}

std::string TestDesktop::describeWindows()
{
    std::string titles;
    for (const ShownWindow& window : windows())
        titles += (titles.empty() ? "\"" : ", \"") + window.title + "\"";
    return titles.empty() ? "no window" : titles;
}

bool TestDesktop::installed(const std::vector<std::pair<std::string, std::string>>& programsAndPackages, std::string* error)
{
    std::string missing;
    for (const auto& [program, package] : programsAndPackages) {
        if (access(program.c_str(), X_OK) != 0)
            missing += (missing.empty() ? "" : ", ") + program + " (package " + package + ")";
    }
    if (missing.empty())
        return true;
    *error = "missing: " + missing;
    return false;
}
