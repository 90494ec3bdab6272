#include "printdialog/Conversation.h"

#include "program/ProgramTexts.h"
#include "dialog/ScreenModule.h"

#include <algorithm>

void ScriptedConversation::tell(const std::string& error)
{
    m_err << "printdialog: " << error << "\n";
}

Going ScriptedConversation::chooseQueue(const std::string& server, const std::vector<std::string>& queues, const std::string&, std::string*)
{
    std::string names;
    for (const std::string& queue : queues)
        names += (names.empty() ? "" : ", ") + queue;
    tell(server + " has " + std::to_string(queues.size()) + " Movra printers (" + names + "): name the one to set with --printer QUEUE");
    return Going::Failed;
}

Going ScriptedConversation::startAfresh(const std::string&, const std::string& problem)
{
    tell(problem + "; the settings window offers to set the file aside and start afresh");
    return Going::Failed;
}

void ScreenConversation::tell(const std::string& error)
{
    ScriptedConversation::tell(error);
    std::string failure;
    if (const ScreenModule* frontEnd = loadScreenModule(&failure))
        frontEnd->showMessage(programText("Settings Cannot Be Shown"), error, &failure);
}

Going ScreenConversation::chooseQueue(const std::string&, const std::vector<std::string>& queues, const std::string& defaultQueue, std::string* chosen)
{
    std::string failure;
    const ScreenModule* frontEnd = loadScreenModule(&failure);
    if (!frontEnd) {
        ScriptedConversation::tell(failure);
        return Going::Failed;
    }
    int preselected = static_cast<int>(std::find(queues.begin(), queues.end(), defaultQueue) - queues.begin());
    int index = frontEnd->chooseOne(programText("Choose Printer Question"), queues, preselected, &failure);
    if (index < 0)
        return Going::Declined;
    *chosen = queues[static_cast<size_t>(index)];
    return Going::On;
}

Going ScreenConversation::startAfresh(const std::string& queue, const std::string& problem)
{
    std::string failure;
    const ScreenModule* frontEnd = loadScreenModule(&failure);
    if (!frontEnd) {
        ScriptedConversation::tell(problem);
        return Going::Failed;
    }
    return frontEnd->askYesNo(programText("Unreadable Settings Question", { queue }),
               programText("Unreadable Settings Detail", { problem }),
               programText("Start Afresh"), programText("Cancel"), &failure)
        ? Going::On
        : Going::Declined;
}
