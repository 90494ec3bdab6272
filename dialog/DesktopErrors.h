// A program started from the desktop (a menu entry, the session's autostart, a systemd user unit)
// has no terminal for its errors: what it writes to standard error goes where nobody looks. Its
// error lines go to the journal as well, and an error that ends it comes up in a message window
// when there is a display.
#pragma once

#include "program/ProgramsExport.h"

#include <deque>
#include <ostream>
#include <streambuf>
#include <string>

class PROGRAMS_EXPORT DesktopErrors : private std::streambuf {
public:
    // The stream to write errors to: standard error, and, when the program has no terminal, the
    // journal too. program names it there.
    explicit DesktopErrors(const char* program);
    ~DesktopErrors() override;
    DesktopErrors(const DesktopErrors&) = delete;
    DesktopErrors& operator=(const DesktopErrors&) = delete;

    std::ostream& stream() { return m_stream; }
    // The program ends with an error: without a terminal, its last error lines come up in a
    // message window (with heading) until the person dismisses it.
    void endedWithError(const std::string& heading);

    // Whether the program runs without a terminal: neither its input nor its error stream is one,
    // and its input is no pipe or file another program feeds (a desktop gives it none).
    static bool startedFromDesktop();

private:
    int overflow(int c) override;
    void lineDone();

    std::ostream m_stream;
    bool m_fromDesktop;
    bool m_toJournal;
    std::string m_line;
    std::deque<std::string> m_lastLines;
};
