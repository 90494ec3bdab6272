#include "agent/PromptWorker.h"

#include "agent/AgentChild.h"
#include "program/ProcessGuards.h"
#include "program/WriteAll.h"
#include "queues/QueueSettings.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The outcome travels from the worker as fields, each its length in decimal, a space, its bytes.
void putField(std::string& message, const std::string& field)
{
    message += std::to_string(field.size()) + ' ' + field;
}

bool takeField(const std::string& message, size_t* at, std::string* field)
{
    size_t space = message.find(' ', *at);
    if (space == std::string::npos)
        return false;
    size_t length = strtoul(message.c_str() + *at, nullptr, 10);
    if (space + 1 + length > message.size())
        return false;
    *field = message.substr(space + 1, length);
    *at = space + 1 + length;
    return true;
}

std::string encode(const ClickOutcome& outcome, const std::string& answererState)
{
    std::string message;
    for (const std::string& field : { std::to_string(static_cast<int>(outcome.kind)), outcome.why, outcome.fault, outcome.noticeHeader,
             outcome.noticeMessage, answererState, std::to_string(outcome.settings.size()) })
        putField(message, field);
    for (const auto& item : outcome.settings) {
        for (const std::string& field : { item.key, item.client, std::string(item.isString ? "s" : "i"), std::to_string(item.integer), item.string,
                 std::string(item.locked ? "l" : "u") })
            putField(message, field);
    }
    return message;
}

bool decode(const std::string& message, ClickOutcome* outcome, std::string* answererState)
{
    size_t at = 0;
    std::string kind, count;
    if (!takeField(message, &at, &kind) || !takeField(message, &at, &outcome->why) || !takeField(message, &at, &outcome->fault)
        || !takeField(message, &at, &outcome->noticeHeader) || !takeField(message, &at, &outcome->noticeMessage)
        || !takeField(message, &at, answererState) || !takeField(message, &at, &count))
        return false;
    outcome->kind = static_cast<ClickOutcome::Kind>(atoi(kind.c_str()));
    for (long items = atol(count.c_str()); items > 0; --items) {
        StandIn::TicketItem item;
        std::string isString, integer, locked;
        if (!takeField(message, &at, &item.key) || !takeField(message, &at, &item.client) || !takeField(message, &at, &isString)
            || !takeField(message, &at, &integer) || !takeField(message, &at, &item.string) || !takeField(message, &at, &locked))
            return false;
        item.isString = isString == "s";
        item.integer = static_cast<SInt32>(atol(integer.c_str()));
        item.locked = locked == "l";
        outcome->settings.push_back(std::move(item));
    }
    return true;
}

// Written ahead of the outcome once the answerer has reached the person, and then once the person
// chose Cancel, for the agent to carry the cancel out; its answer comes back as a digit (the
// CancelAnswer), the server's reason and a NUL.
constexpr char kReached = '+';
constexpr char kCancelAsked = '?';

// The agent's answer to the cancel, read as the worker waits for it; none when the agent is gone
// or the worker asked to stop.
CancelAnswer cancelThroughAgent(int result, int answers, std::string* why)
{
    if (!writeAll(result, std::string(1, kCancelAsked)))
        return CancelAnswer::Unanswered;
    std::string said;
    char byte;
    for (;;) {
        ssize_t count = read(answers, &byte, 1);
        if (count < 0 && errno == EINTR && !interruptionRequested())
            continue;
        if (count <= 0 || byte == '\0')
            break;
        said += byte;
    }
    if (said.empty() || said[0] < '0' || said[0] > '2')
        return CancelAnswer::Unanswered;
    *why = said.substr(1);
    return static_cast<CancelAnswer>(said[0] - '0');
}

// The codes window in place of the click: the person's codes, as settings the job goes with.
ClickOutcome askForCodes(CodesForm form, PromptAnswerer& answerer, std::ostream& out, const std::string& linePrefix)
{
    ClickOutcome outcome;
    std::ostringstream transcript;
    CodesFormAnswer answer = answerer.askCodes(&form, transcript, &outcome.why, &outcome.fault);
    std::istringstream said(transcript.str());
    for (std::string line; std::getline(said, line);)
        out << linePrefix << line << "\n";
    outcome.kind = answer == CodesFormAnswer::Accepted ? ClickOutcome::Kind::Printed
        : answer == CodesFormAnswer::Cancelled         ? ClickOutcome::Kind::Cancelled
                                                       : ClickOutcome::Kind::Unanswered;
    if (answer == CodesFormAnswer::Accepted) {
        QueueCodes codes;
        for (const CodeField& field : form.fields)
            codes.printerCodes.emplace_back(field.code.name, field.value);
        QueueSettings settings;
        settings.setCodes(codes);
        outcome.settings = settings.items();
    }
    return outcome;
}

// The worker's whole life: the click, and its outcome written to the agent.
[[noreturn]] void playInWorker(const PromptTask& task, PromptAnswerer& answerer, std::ostream& out, int result, int answers)
{
    // The agent may have talked to the keyring through GLib, whose threads did not come along
    // into this process: Qt's event loop here is its own, not GLib's.
    setenv("QT_NO_GLIB", "1", 1);
    answerer.onReach([result] { writeAll(result, std::string(1, kReached)); });
    ClickOutcome outcome;
    PrintDialog dialog;
    std::string error;
    if (task.codesForm) {
        outcome = askForCodes(*task.codesForm, answerer, out, task.linePrefix);
    } else if (!dialog.open(task.setup, &error)) {
        outcome.why = "the Print dialog cannot be opened for it";
        outcome.fault = error;
    } else {
        if (!task.preset.empty())
            dialog.preset(task.preset);
        Transcript transcript(out, task.linePrefix);
        outcome = playHeldJobClick(dialog, task.dressing, &answerer, transcript,
            [result, answers](std::string* why) { return cancelThroughAgent(result, answers, why); });
    }
    out.flush();
    bool written = writeAll(result, encode(outcome, answerer.state()));
    // Nothing of the agent's is the worker's to close or flush: it ends at once.
    _exit(written ? 0 : 1);
}

}

PromptWorker::~PromptWorker()
{
    if (!busy())
        return;
    kill(m_process, SIGKILL);
    waitpid(m_process, nullptr, 0);
    reset();
}

bool PromptWorker::start(const PromptTask& task, PromptAnswerer& answerer, std::ostream& out, std::string* error)
{
    int result[2] = { -1, -1 };
    int errors[2] = { -1, -1 };
    int answers[2] = { -1, -1 };
    if (pipe2(result, O_CLOEXEC) != 0 || pipe2(errors, O_CLOEXEC) != 0 || pipe2(answers, O_CLOEXEC) != 0) {
        *error = std::string("cannot start the prompt: ") + strerror(errno);
        for (int descriptor : { result[0], result[1], errors[0], errors[1], answers[0], answers[1] }) {
            if (descriptor >= 0)
                ::close(descriptor);
        }
        return false;
    }
    out.flush();
    pid_t process = forkAgentChild();
    if (process == 0) {
        ::close(result[0]);
        ::close(errors[0]);
        ::close(answers[1]);
        // What the worker, its pane and its window system say on standard error goes to the agent,
        // which tells what matters of it.
        dup2(errors[1], STDERR_FILENO);
        playInWorker(task, answerer, out, result[1], answers[0]);
    }
    ::close(result[1]);
    ::close(errors[1]);
    ::close(answers[0]);
    if (process < 0) {
        *error = std::string("cannot start the prompt: ") + strerror(errno);
        ::close(result[0]);
        ::close(errors[0]);
        ::close(answers[1]);
        return false;
    }
    m_process = process;
    m_result = result[0];
    m_errors = errors[0];
    m_cancelAnswer = answers[1];
    return true;
}

void PromptWorker::addDescriptors(std::vector<pollfd>& watched) const
{
    for (int descriptor : { m_result, m_errors }) {
        if (descriptor >= 0)
            watched.push_back({ descriptor, POLLIN, 0 });
    }
}

void PromptWorker::takeIn(int* descriptor, std::string* into)
{
    if (*descriptor < 0)
        return;
    pollfd ready = { *descriptor, POLLIN, 0 };
    if (poll(&ready, 1, 0) <= 0)
        return;
    char buffer[4096];
    ssize_t count = read(*descriptor, buffer, sizeof buffer);
    if (count > 0) {
        into->append(buffer, static_cast<size_t>(count));
    } else if (count == 0 || errno != EINTR) {
        ::close(*descriptor);
        *descriptor = -1;
    }
}

bool PromptWorker::cancelAsked()
{
    takeIn(&m_result, &m_resultBytes);
    size_t at = !m_resultBytes.empty() && m_resultBytes[0] == kReached ? 1 : 0;
    return !m_cancelAnswered && m_resultBytes.size() > at && m_resultBytes[at] == kCancelAsked;
}

void PromptWorker::answerCancel(CancelAnswer answer, const std::string& why)
{
    m_cancelAnswered = true;
    std::string said = std::to_string(static_cast<int>(answer)) + why;
    said.erase(std::remove(said.begin(), said.end(), '\0'), said.end());
    writeAll(m_cancelAnswer, said + '\0');
}

bool PromptWorker::collect(PromptAnswerer& answerer, ClickOutcome* outcome, std::string* errors)
{
    takeIn(&m_result, &m_resultBytes);
    takeIn(&m_errors, &m_errorBytes);
    if (m_result >= 0 || m_errors >= 0)
        return false;
    int status = 0;
    waitpid(m_process, &status, 0);
    *outcome = ClickOutcome();
    bool reached = !m_resultBytes.empty() && m_resultBytes[0] == kReached;
    size_t at = reached ? 1 : 0;
    if (m_resultBytes.size() > at && m_resultBytes[at] == kCancelAsked)
        ++at;
    std::string state;
    if (decode(m_resultBytes.substr(at), outcome, &state)) {
        answerer.takeState(state);
    } else {
        // A worker that ended without an outcome says why in its first words on standard error
        // (Qt's, when the screen cannot be opened), but for the pane's notes on concealment.
        *outcome = ClickOutcome();
        if (!reached) {
            outcome->kind = ClickOutcome::Kind::Unanswered;
            outcome->why = answerer.unreachable();
        } else {
            outcome->why = WIFSIGNALED(status) ? std::string("the prompt's process ended by ") + strsignal(WTERMSIG(status)) : "the prompt's process ended";
        }
        std::istringstream lines(m_errorBytes);
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty() && line.find("conceal") == std::string::npos) {
                outcome->why += " (" + line + ")";
                break;
            }
        }
    }
    *errors = m_errorBytes;
    reset();
    return true;
}

void PromptWorker::close()
{
    if (busy())
        kill(m_process, SIGTERM);
}

void PromptWorker::reset()
{
    for (int* descriptor : { &m_result, &m_errors, &m_cancelAnswer }) {
        if (*descriptor >= 0)
            ::close(*descriptor);
        *descriptor = -1;
    }
    m_cancelAnswered = false;
    m_process = -1;
    m_resultBytes.clear();
    m_errorBytes.clear();
}
