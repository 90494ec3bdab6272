#include "dialog/DesktopErrors.h"

#include "dialog/ScreenModule.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

namespace {

// Enough to say what went wrong without burying the person in lines.
constexpr size_t kLinesShown = 5;

}

DesktopErrors::DesktopErrors(const char* program)
    : m_stream(this)
    , m_fromDesktop(startedFromDesktop())
    // Standard error that goes to the journal already needs no second copy there.
    , m_toJournal(m_fromDesktop && !getenv("JOURNAL_STREAM"))
{
    if (m_toJournal)
        openlog(program, LOG_PID, LOG_USER);
}

DesktopErrors::~DesktopErrors()
{
    if (!m_line.empty())
        lineDone();
    if (m_toJournal)
        closelog();
}

bool DesktopErrors::startedFromDesktop()
{
    struct stat input;
    bool fed = fstat(STDIN_FILENO, &input) == 0 && (S_ISFIFO(input.st_mode) || S_ISREG(input.st_mode) || S_ISSOCK(input.st_mode));
    return !isatty(STDIN_FILENO) && !isatty(STDERR_FILENO) && !fed;
}

int DesktopErrors::overflow(int c)
{
    if (c == traits_type::eof())
        return traits_type::not_eof(c);
    if (c == '\n')
        lineDone();
    else
        m_line += static_cast<char>(c);
    return c;
}

// A whole line at a time, so that lines of others written to standard error between them stay whole.
void DesktopErrors::lineDone()
{
    fprintf(stderr, "%s\n", m_line.c_str());
    if (m_toJournal)
        syslog(LOG_ERR, "%s", m_line.c_str());
    m_lastLines.push_back(m_line);
    if (m_lastLines.size() > kLinesShown)
        m_lastLines.pop_front();
    m_line.clear();
}

void DesktopErrors::endedWithError(const std::string& heading)
{
    if (!m_fromDesktop || !displayAvailable() || m_lastLines.empty())
        return;
    std::string text;
    for (const std::string& line : m_lastLines)
        text += (text.empty() ? "" : "\n") + line;
    std::string error;
    if (const ScreenModule* frontEnd = loadScreenModule(&error))
        frontEnd->showMessage(heading, text, &error);
}
