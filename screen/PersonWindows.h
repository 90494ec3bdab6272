// The small windows in which a program speaks to its person outside the dialog: a message that
// waits to be read, a choice among a few names, a question with two answers, each titled with the
// product's name. Each waits on the display until the person answers.
#pragma once

#include <string>
#include <vector>

// Shows the message until it is dismissed; false, with the reason in *error, without a display.
bool showMessage(const std::string& heading, const std::string& text, std::string* error);
// The index of the item chosen, or -1 when the person chose none (or there is no display: the
// reason is then in *error).
int chooseOne(const std::string& question, const std::vector<std::string>& items, int preselected, std::string* error);
// Whether the person gave the first answer.
bool askYesNo(const std::string& question, const std::string& detail, const std::string& yes, const std::string& no, std::string* error);
