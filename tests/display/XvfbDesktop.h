// An X11 desktop of the test's own: Xvfb on a display number that no other X server uses, with
// no window manager (a window lies where its program puts it, without a frame), or with Openbox,
// which frames each window, places it and gives it the focus, as a person's desktop does. xdotool
// finds the windows and types and clicks through the XTEST extension, so that the keys and clicks
// reach the window under the pointer as a keyboard's and a mouse's do; ImageMagick's import
// takes the pictures.
#pragma once

#include "tests/support/BackgroundProcess.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TemporaryTree.h"
#include "tests/display/TestDesktop.h"

class XvfbDesktop : public TestDesktop {
public:
    enum class WindowManager {
        None,
        Openbox,
    };
    explicit XvfbDesktop(WindowManager manager = WindowManager::None)
        : m_manager(manager)
    {
    }

    bool start(std::string* error) override;
    std::vector<std::pair<std::string, std::string>> session() const override;
    std::vector<ShownWindow> windows() override;
    bool click(int x, int y, std::string* error) override;
    bool type(const std::string& text, std::string* error) override;
    bool pressReturn(std::string* error) override;
    bool picture(const std::string& path, std::string* error) override;
    std::string serverLog() const override;

    // ":N", once started.
    const std::string& display() const { return m_display; }

private:
    // A tool run against this display, within a few seconds.
    ProgramRun onDisplay(const std::vector<std::string>& arguments) const;
    bool ran(const std::vector<std::string>& arguments, std::string* error) const;
    bool startWindowManager(std::string* error);

    WindowManager m_manager;
    TemporaryTree m_folder;
    BackgroundProcess m_server;
    BackgroundProcess m_windowManager;
    std::string m_display;
};
