#include "screen/QtApplication.h"

#include "screen/WaylandSeats.h"

#include <QApplication>
#include <QStyleFactory>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

QtMessageHandler gQtHandler = nullptr;

// Qt ends the process when it cannot open the screen it was told to use (a platform that does not
// exist, a Wayland compositor that is not there), with an abort that leaves a core dump behind.
// The program ends as it does for any other error instead, with Qt's reason on standard error.
void endIfTheScreenCannotOpen(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg) {
        if (gQtHandler)
            gQtHandler(type, context, message);
        return;
    }
    fprintf(stderr, "%s: the window cannot go on screen: %s\n", program_invocation_short_name, message.toLocal8Bit().constData());
    _exit(kScreenCannotOpenStatus);
}

// Qt 6.4's Wayland input method reaches for the seat's text input whenever a field draws its
// caret, and ends the process by a segmentation fault on a compositor without a seat. Nobody can
// type there anyway: the windows go on screen without an input method.
void leaveOutInputMethodWithoutSeat()
{
    const char* display = getenv("WAYLAND_DISPLAY");
    const char* platform = getenv("QT_QPA_PLATFORM");
    const char* inputMethod = getenv("QT_IM_MODULE");
    bool onWayland = (display && *display) || (platform && strncmp(platform, "wayland", 7) == 0);
    bool waylandInputMethod = !inputMethod || !*inputMethod || strcmp(inputMethod, "wayland") == 0;
    if (onWayland && (!platform || !*platform || strncmp(platform, "wayland", 7) == 0) && waylandInputMethod && waylandCompositorWithoutSeat())
        setenv("QT_IM_MODULE", "none", 1);
}

}

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
    if (!offscreen)
        leaveOutInputMethodWithoutSeat();
    gQtHandler = qInstallMessageHandler(endIfTheScreenCannotOpen);
    auto* application = offscreen ? new QApplication(offscreenCount, offscreenArguments) : new QApplication(displayCount, displayArguments);
    qInstallMessageHandler(gQtHandler);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    return application;
}
