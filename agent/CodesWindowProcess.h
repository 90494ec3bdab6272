// The window of a queue whose printer asks for codes of its own (CodesForm.h), as a job's prompt
// or as the queue's settings, put on screen by a process of its own forked from the agent
// (WindowProcess.h).
#pragma once

#include "queues/CodesForm.h"

#include <string>

// Accepted fills form's values from the person's answer (the agent asks only a job's prompt);
// otherwise form is left as it was and *why says why: the person cancelled, the window could not
// go on screen, or the agent was asked to stop meanwhile.
CodesFormAnswer askCodesOnScreen(CodesForm* form, std::string* why);
