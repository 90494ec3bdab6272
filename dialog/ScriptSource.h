// Where a printdialog script comes from: a regular file, or standard input (which may be a pipe
// or a terminal that a person types into). Lines are read one at a time and none may grow past
// kMaxScriptLineBytes, so an endless device or a line without end costs nothing.
#pragma once

#include "program/ProgramsExport.h"

#include <Base/RegularFile.h>

#include <cstddef>
#include <string>

constexpr size_t kMaxScriptLineBytes = 64 * 1024;

class PROGRAMS_EXPORT ScriptSource {
public:
    enum class Read {
        Line,
        End,
        Failed,
    };

    // No script at all: the first read is the end.
    ScriptSource() = default;
    // "-" is standard input; anything else must be a regular file. False, with the reason in
    // *error (to follow "PATH: "), when it cannot be opened.
    bool open(const std::string& path, std::string* error);

    // The next line without its newline (the last may lack one). Failed, with the reason in
    // *error, for a line that is too long or a read that fails.
    Read nextLine(std::string& line, std::string* error);
    // The number of the line read last (or that failed), counted from 1 across every reader:
    // a script that answers the prompts of several dialogs numbers its lines once.
    int lineNumber() const { return m_lineNumber; }

    // Where the reading is, as text: a process that read on from the same file (a forked one
    // answering a prompt) hands it back, so that the next reader takes up what that one had read
    // ahead and not used.
    std::string state() const;
    void takeState(const std::string& state);

private:
    Read readLine(std::string& line, std::string* error);
    bool fill(std::string* error);

    StandIn::FileDescriptor m_file;
    int m_descriptor { -1 };
    std::string m_buffer;
    size_t m_start { 0 };
    bool m_ended { true };
    int m_lineNumber { 0 };
};
