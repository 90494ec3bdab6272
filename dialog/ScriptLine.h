// One line of a printdialog script: an action and its arguments.
#pragma once

#include "program/ProgramsExport.h"

#include <optional>
#include <string>
#include <vector>

struct ScriptLine {
    int number { 0 };
    std::string action;
    std::vector<std::string> arguments;
};

// Splits a line into words: blanks separate them, "#" outside quotes starts a comment, and a
// double-quoted word may hold blanks and C escapes (\" \\ \n \t \r \xHH). For a blank
// or comment line the action is empty; an unterminated quote or a bad escape gives nothing,
// with the reason in *error.
PROGRAMS_EXPORT std::optional<ScriptLine> parseScriptLine(const std::string& text, int number, std::string* error);
