// What the agent and the processes it forks to put windows on screen (PromptWorker.h,
// WindowProcess.h) say to each other over their pipes. Both ends are this program's, built
// together, yet a reader takes nothing it has not checked: a message is its kind, then the length
// of its fields, then each field's length and bytes, and one whose lengths do not add up, or whose
// fields are not the ones its kind has, is no message. Fields may hold codes and passwords: a
// message wipes them as it goes, and the bytes it was read from are wiped as they are taken.
#pragma once

#include "agent/HeldJobClick.h"
#include "queues/CodesForm.h"
#include "queues/ServerPasswords.h"

#include <optional>
#include <string>
#include <vector>

class WindowMessage {
public:
    enum class Kind : unsigned char {
        // From a held job's prompt process: the person is within reach; they chose Cancel, and the
        // process waits for the agent's cancelAnswered; the click's outcome, its last word.
        PersonReached = 1,
        CancelAsked,
        ClickDone,
        // From the agent to the prompt's process: what the server said to the cancel.
        CancelAnswered,
        // From a codes window's process.
        CodesAccepted,
        CodesCancelled,
        CodesUnanswered,
        // From a password window's process.
        PasswordGiven,
        PasswordNotGiven,
    };

    static WindowMessage personReached();
    static WindowMessage cancelAsked();
    static WindowMessage clickDone(const ClickOutcome& outcome, const std::string& answererState);
    static WindowMessage cancelAnswered(CancelAnswer answer, const std::string& why);
    // Takes each field's value, wiping it in fields.
    static WindowMessage codesAccepted(std::vector<CodeField>& fields);
    static WindowMessage codesCancelled(const std::string& why);
    static WindowMessage codesUnanswered(const std::string& why);
    // Takes the password, wiping it in answer.
    static WindowMessage passwordGiven(PasswordAnswer& answer);
    static WindowMessage passwordNotGiven(const std::string& why);

    WindowMessage(WindowMessage&&) = default;
    WindowMessage& operator=(WindowMessage&&);
    WindowMessage(const WindowMessage&) = delete;
    WindowMessage& operator=(const WindowMessage&) = delete;
    ~WindowMessage();

    Kind kind() const { return m_kind; }

    // Each reader is false when the message is not of its kind or its fields are not the ones
    // that kind has; then the out-values are left alone.
    bool clickDone(ClickOutcome* outcome, std::string* answererState) const;
    bool cancelAnswered(CancelAnswer* answer, std::string* why) const;
    // Into the values of fields, one for each; false when the message holds more or fewer.
    bool codesAccepted(std::vector<CodeField>* fields) const;
    bool passwordGiven(PasswordAnswer* answer) const;
    // Why no answer was given: CodesCancelled, CodesUnanswered, PasswordNotGiven.
    bool why(std::string* why) const;

    // The message's bytes on the pipe; the caller wipes them once written.
    std::string bytes() const;
    // Writes them all, and wipes them; false when the reader has gone.
    bool writeTo(int descriptor) const;

    enum class Taken {
        Whole,
        // Not all of it has come yet.
        Partial,
        Malformed,
    };
    // Takes the first message off the front of bytes into *message (Whole), wiping what it took.
    static Taken take(std::string& bytes, std::optional<WindowMessage>* message);

private:
    WindowMessage(Kind kind, std::vector<std::string> fields);
    void wipe();

    Kind m_kind;
    std::vector<std::string> m_fields;
};
