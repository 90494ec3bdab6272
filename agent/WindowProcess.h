// A window put on screen by a process of its own forked from the agent (a print server's password
// window, a queue's codes window), as a held job's prompt is (PromptWorker.h): a window system
// that takes its process down takes only that process down, and the agent's stop closes the
// window.
#pragma once

#include <functional>
#include <string>

// Runs ask in such a process, which writes what ask returns to the agent and ends. What it writes
// holds secrets: it comes through a pipe, never a file, and is wiped in the window's process once
// written. True with *said holding what was written (the caller wipes it); false with *why when
// the process cannot be started, or when the agent is asked to stop meanwhile (the window's
// process is killed then, having nothing to keep). window names the window in *why ("the password
// window").
bool answerInWindowProcess(const std::string& window, const std::function<std::string()>& ask, std::string* said, std::string* why);
