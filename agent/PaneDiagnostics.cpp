#include "agent/PaneDiagnostics.h"

#include "program/PrintableText.h"

#include <systemd/sd-journal.h>

#include <cstdio>
#include <sstream>
#include <sys/mman.h>
#include <unistd.h>

PaneDiagnostics::PaneDiagnostics(bool verbose, std::ostream& err)
    : m_verbose(verbose)
    , m_err(err)
{
    fflush(stderr);
    m_taken = memfd_create("pane-diagnostics", MFD_CLOEXEC);
    m_saved = m_taken >= 0 ? dup(STDERR_FILENO) : -1;
    // Without somewhere to take them, the lines go where they always went.
    if (m_saved < 0 || dup2(m_taken, STDERR_FILENO) < 0) {
        if (m_saved >= 0)
            close(m_saved);
        m_saved = -1;
    }
}

PaneDiagnostics::~PaneDiagnostics()
{
    if (m_saved < 0) {
        if (m_taken >= 0)
            close(m_taken);
        return;
    }
    fflush(stderr);
    dup2(m_saved, STDERR_FILENO);
    close(m_saved);
    std::string text;
    char buffer[4096];
    for (off_t offset = 0;;) {
        ssize_t count = pread(m_taken, buffer, sizeof buffer, offset);
        if (count <= 0)
            break;
        text.append(buffer, static_cast<size_t>(count));
        offset += count;
    }
    close(m_taken);
    forward(text, m_verbose, m_err);
}

void PaneDiagnostics::forward(const std::string& text, bool verbose, std::ostream& err)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (verbose)
            err << printableText(line) << "\n";
        else
            sd_journal_print(LOG_DEBUG, "%s", line.c_str());
    }
}
