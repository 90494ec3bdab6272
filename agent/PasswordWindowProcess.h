// A print server's password window, put on screen by a process of its own forked from the agent,
// as a held job's prompt is (PromptWorker.h): a window system that takes its process down takes
// only that process down, and the agent's stop closes the window.
#pragma once

#include "queues/ServerPasswords.h"

#include <string>

// True with *answer when the person gave a password; false with *why when they cancelled, the
// window could not go on screen, or the agent was asked to stop meanwhile.
bool askPasswordOnScreen(const PasswordQuestion& question, PasswordAnswer* answer, std::string* why);
