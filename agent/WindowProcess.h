// A window put on screen by a process of its own forked from the agent (a print server's password
// window, a queue's codes window), as a held job's prompt is (PromptWorker.h): a window system
// that takes its process down takes only that process down, and the agent's stop closes the
// window.
#pragma once

#include "agent/WindowMessage.h"

#include <functional>
#include <optional>
#include <string>

// Runs ask in such a process, which writes the message ask returns to the agent and ends. The
// message holds secrets: it comes through a pipe, never a file, and is wiped in both processes.
// True with *said holding the message written, none when the process wrote none whole; false with
// *why when the process cannot be started, or when the agent is asked to stop meanwhile (the
// window's process is killed then, having nothing to keep). window names the window in *why ("the
// password window").
bool answerInWindowProcess(const std::string& window, const std::function<WindowMessage()>& ask, std::optional<WindowMessage>* said, std::string* why);
