// How printdialog speaks to its person outside the dialog itself: in windows when the dialog is
// on screen, in lines on standard error when a script plays it. An error that ends the run is
// told either way (and, on screen, also written to standard error); a choice or a question that
// a script cannot answer ends the run with a line that says what to give instead.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// Where a step leaves the run: going on, ended by the person's own choice (nothing printed or
// saved), or ended by an error that has been told.
enum class Going {
    On,
    Declined,
    Failed,
};

class Conversation {
public:
    virtual ~Conversation() = default;
    // Tells of an error that ends the run.
    virtual void tell(const std::string& error) = 0;
    // The queue whose settings the person wants, among several, into *chosen.
    virtual Going chooseQueue(const std::string& server, const std::vector<std::string>& queues, const std::string& defaultQueue, std::string* chosen)
        = 0;
    // Whether to set the queue's stored settings, which cannot be read for problem, aside for a
    // fresh start.
    virtual Going startAfresh(const std::string& queue, const std::string& problem) = 0;
};

// In lines on err, each beginning with "printdialog: ".
class ScriptedConversation : public Conversation {
public:
    explicit ScriptedConversation(std::ostream& err)
        : m_err(err)
    {
    }
    void tell(const std::string& error) override;
    Going chooseQueue(const std::string& server, const std::vector<std::string>& queues, const std::string& defaultQueue, std::string* chosen) override;
    Going startAfresh(const std::string& queue, const std::string& problem) override;

private:
    std::ostream& m_err;
};

// In windows on the display, and in lines on err as well.
class ScreenConversation : public ScriptedConversation {
public:
    using ScriptedConversation::ScriptedConversation;
    void tell(const std::string& error) override;
    Going chooseQueue(const std::string& server, const std::vector<std::string>& queues, const std::string& defaultQueue, std::string* chosen) override;
    Going startAfresh(const std::string& queue, const std::string& problem) override;
};
