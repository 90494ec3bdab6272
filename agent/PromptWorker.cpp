#include "agent/PromptWorker.h"

#include "agent/AgentChild.h"
#include "program/ProcessGuards.h"
#include "program/SecretWipe.h"
#include "queues/QueueSettings.h"

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

// The agent's answer to the cancel, read as the worker waits for it; none when the agent is gone
// or the worker asked to stop.
CancelAnswer cancelThroughAgent(int result, int answers, std::string* why)
{
    if (!WindowMessage::cancelAsked().writeTo(result))
        return CancelAnswer::Unanswered;
    std::string said;
    std::optional<WindowMessage> answer;
    char buffer[256];
    while (WindowMessage::take(said, &answer) == WindowMessage::Taken::Partial) {
        ssize_t count = read(answers, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR && !interruptionRequested())
            continue;
        if (count <= 0)
            break;
        said.append(buffer, static_cast<size_t>(count));
    }
    CancelAnswer given = CancelAnswer::Unanswered;
    if (answer)
        answer->cancelAnswered(&given, why);
    return given;
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
    answerer.onReach([result] { WindowMessage::personReached().writeTo(result); });
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
    bool written = WindowMessage::clickDone(outcome, answerer.state()).writeTo(result);
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

void PromptWorker::takeInMessages()
{
    takeIn(&m_result, &m_resultBytes);
    std::optional<WindowMessage> message;
    while (!m_garbled && !m_outcome) {
        WindowMessage::Taken taken = WindowMessage::take(m_resultBytes, &message);
        if (taken == WindowMessage::Taken::Partial)
            return;
        if (taken == WindowMessage::Taken::Malformed) {
            m_garbled = true;
            return;
        }
        if (message->kind() == WindowMessage::Kind::PersonReached)
            m_reached = true;
        else if (message->kind() == WindowMessage::Kind::CancelAsked)
            m_cancelAsked = true;
        else
            m_outcome = std::move(message);
    }
}

bool PromptWorker::cancelAsked()
{
    takeInMessages();
    return m_cancelAsked && !m_cancelAnswered;
}

void PromptWorker::answerCancel(CancelAnswer answer, const std::string& why)
{
    m_cancelAnswered = true;
    WindowMessage::cancelAnswered(answer, why).writeTo(m_cancelAnswer);
}

bool PromptWorker::collect(PromptAnswerer& answerer, ClickOutcome* outcome, std::string* errors)
{
    takeInMessages();
    takeIn(&m_errors, &m_errorBytes);
    if (m_result >= 0 || m_errors >= 0)
        return false;
    int status = 0;
    waitpid(m_process, &status, 0);
    *outcome = ClickOutcome();
    std::string state;
    if (m_outcome && m_outcome->clickDone(outcome, &state)) {
        answerer.takeState(state);
    } else {
        // A worker that ended without an outcome says why in its first words on standard error
        // (Qt's, when the screen cannot be opened), but for the pane's notes on concealment.
        *outcome = ClickOutcome();
        if (!m_reached) {
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
    m_reached = false;
    m_cancelAsked = false;
    m_garbled = false;
    m_outcome.reset();
    m_process = -1;
    wipeSecret(m_resultBytes);
    m_errorBytes.clear();
}
