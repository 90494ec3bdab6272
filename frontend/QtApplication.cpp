#include "QtApplication.h"

#include <QApplication>
#include <QStyleFactory>

#include <cerrno>
#include <cstdlib>

QApplication* screenApplication(bool offscreen, std::string* error)
{
    if (QCoreApplication::instance()) {
        auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance());
        if (!existing)
            *error = "the process already runs a Qt application without widgets";
        return existing;
    }
    auto displayNamed = [](const char* name) {
        const char* value = getenv(name);
        return value && *value;
    };
    if (!offscreen && !displayNamed("DISPLAY") && !displayNamed("WAYLAND_DISPLAY") && !displayNamed("QT_QPA_PLATFORM")) {
        *error = "there is no display to show the Print dialog on (DISPLAY and WAYLAND_DISPLAY are not set)";
        return nullptr;
    }
    // Qt keeps argc and argv for the application's life. The application is named after the
    // program that loaded the module, as the window system then shows it.
    static char* name = program_invocation_short_name;
    static char platformOption[] = "-platform";
    static char offscreenPlatform[] = "offscreen";
    static char* offscreenArguments[] = { name, platformOption, offscreenPlatform, nullptr };
    static char* displayArguments[] = { name, nullptr };
    static int offscreenCount = 3;
    static int displayCount = 1;
    auto* application = offscreen ? new QApplication(offscreenCount, offscreenArguments) : new QApplication(displayCount, displayArguments);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    return application;
}
