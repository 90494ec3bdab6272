#include "dialog/ScriptSource.h"

#include "program/ProcessGuards.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

bool ScriptSource::open(const std::string& path, std::string* error)
{
    m_ended = false;
    if (path == "-") {
        m_descriptor = STDIN_FILENO;
        return true;
    }
    StandIn::FileFailure failure;
    m_file = StandIn::openRegularFile(path.c_str(), &failure);
    if (!m_file) {
        *error = "cannot read the script: " + failure.describe();
        return false;
    }
    m_descriptor = m_file.get();
    return true;
}

// Appends what one read gives; false at the end of the input or on a failed read.
bool ScriptSource::fill(std::string* error)
{
    char chunk[16 * 1024];
    for (;;) {
        ssize_t count = read(m_descriptor, chunk, sizeof chunk);
        if (count > 0) {
            m_buffer.append(chunk, static_cast<size_t>(count));
            return true;
        }
        if (count == 0) {
            m_ended = true;
            return false;
        }
        // A program that runs until asked to stop stops reading when it is.
        if (errno != EINTR || interruptionRequested()) {
            *error = errno == EINTR ? "interrupted" : std::string("cannot read the script: ") + strerror(errno);
            return false;
        }
    }
}

ScriptSource::Read ScriptSource::nextLine(std::string& line, std::string* error)
{
    Read read = readLine(line, error);
    if (read != Read::End)
        ++m_lineNumber;
    return read;
}

ScriptSource::Read ScriptSource::readLine(std::string& line, std::string* error)
{
    error->clear();
    size_t searched = m_start;
    for (;;) {
        size_t newline = m_buffer.find('\n', searched);
        size_t length = (newline == std::string::npos ? m_buffer.size() : newline) - m_start;
        // The limit holds whether or not the line has ended yet: a line never grows past it.
        if (length > kMaxScriptLineBytes) {
            *error = "longer than " + std::to_string(kMaxScriptLineBytes / 1024) + " KiB (a script line holds at most "
                + std::to_string(kMaxScriptLineBytes) + " bytes)";
            return Read::Failed;
        }
        if (newline != std::string::npos) {
            line.assign(m_buffer, m_start, length);
            m_start = newline + 1;
            return Read::Line;
        }
        searched = m_buffer.size();
        // Keep only the unfinished line before reading on.
        m_buffer.erase(0, m_start);
        searched -= m_start;
        m_start = 0;
        if (m_ended || !fill(error)) {
            if (!error->empty())
                return Read::Failed;
            if (m_buffer.empty())
                return Read::End;
            line = std::move(m_buffer);
            m_buffer.clear();
            return Read::Line;
        }
    }
}

std::string ScriptSource::state() const
{
    return std::to_string(m_lineNumber) + (m_ended ? " ended\n" : " open\n") + m_buffer.substr(m_start);
}

void ScriptSource::takeState(const std::string& state)
{
    size_t head = state.find('\n');
    if (head == std::string::npos)
        return;
    m_lineNumber = atoi(state.c_str());
    m_ended = state.compare(0, head, std::to_string(m_lineNumber) + " ended") == 0;
    m_buffer = state.substr(head + 1);
    m_start = 0;
}
