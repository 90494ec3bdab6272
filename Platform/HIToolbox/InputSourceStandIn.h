// Stand-in only: the seam between the toolbox and whoever sits at the keyboard. The host
// installs one input source (a script, the screen module, a test); the toolbox asks it
// for the next user action while an application-modal window is up, and hands it what the user
// must see or hear: alerts, notices, the beep and help pages.
#pragma once

#include <HIToolbox/MacWindows.h>

#include <string>

namespace StandIn {

struct AlertContent {
    std::string text;
    std::string explanation;
};

struct NoticeContent {
    std::string header;
    std::string message;
};

struct HelpPage {
    std::string book;
    // The page's path within the book, and the file it is.
    std::string page;
    std::string path;
    // Empty when the page opens at its top.
    std::string anchor;
};

class PLATFORM_EXPORT InputSource {
public:
    // Defined in the library, so that the interface has one vtable and type for every module.
    virtual ~InputSource();

    // Called while modalWindow runs an application-modal loop: perform the next user action
    // through the user-action calls (UserActionsStandIn.h) and return true, or return false when
    // there are no more actions to give. The loop then ends with an error instead of waiting.
    virtual bool performNextAction(WindowRef modalWindow) = 0;
    // Shows an alert and returns once the user has dismissed it.
    virtual void showAlert(const AlertContent& alert) = 0;
    // Shows a notice that needs no answer; returns at once.
    virtual void showNotice(const NoticeContent& notice) = 0;
    virtual void beep() = 0;
    virtual void openHelpPage(const HelpPage& page) = 0;
};

// The installed source, or null. The toolbox does not own it.
PLATFORM_EXPORT void setInputSource(InputSource* source);
PLATFORM_EXPORT InputSource* inputSource();

// The one way to install a source for a while: it is the toolbox's for as long as this object
// lives, and the source installed before comes back when it goes. A source that hands on what it
// does not answer itself hands it to previous().
class PLATFORM_EXPORT InputSourceInstallation {
public:
    explicit InputSourceInstallation(InputSource* source);
    ~InputSourceInstallation();
    InputSourceInstallation(const InputSourceInstallation&) = delete;
    InputSourceInstallation& operator=(const InputSourceInstallation&) = delete;

    InputSource* previous() const { return m_previous; }

private:
    InputSource* m_previous;
};

}
