// The pane writes a diagnostic line to standard error each time it reads settings, as the printing
// system's log would have them. The agent reads settings for every held job: there the lines are
// for a developer, and go to the journal at debug priority, or, with --verbose, to the agent's
// standard error; what a person reads there is only what they must act on.
#pragma once

#include <ostream>
#include <string>

class PaneDiagnostics {
public:
    // What the pane writes from now until the end of this object's life is taken in, and then
    // sent on: to err when verbose, else to the journal.
    PaneDiagnostics(bool verbose, std::ostream& err);
    ~PaneDiagnostics();
    PaneDiagnostics(const PaneDiagnostics&) = delete;
    PaneDiagnostics& operator=(const PaneDiagnostics&) = delete;

    // Sends on what a pane wrote elsewhere (a prompt's worker): to err when verbose, else to the
    // journal, a line at a time.
    static void forward(const std::string& text, bool verbose, std::ostream& err);

private:
    bool m_verbose;
    std::ostream& m_err;
    int m_saved { -1 };
    int m_taken { -1 };
};
