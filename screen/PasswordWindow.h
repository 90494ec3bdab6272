// A print server's demand for the person's password, in a window titled with the server, which
// waits on the display until the person answers.
#pragma once

#include "queues/ServerPasswords.h"

#include <string>

// The server's password: true with *answer when the person gave one, false when they cancelled
// (*error empty) or there is no display (*error says why). Sign In is enabled once a password is
// typed.
bool askPassword(const PasswordQuestion& question, PasswordAnswer* answer, std::string* error);
