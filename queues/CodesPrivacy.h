// What a CUPS server's policy must say for a job's codes to be secret from everyone but the job's
// owner, proven, and the server's administrators. cupsd believes whatever name a request gives
// where its policy does not ask who is asking, and shows a job's private values to its owner: a
// Get-Jobs or Get-Job-Attributes that merely names the owner reads every code. So the reading of
// jobs asks who is asking, as the making of them does, and every value of a job is private, so
// that an option of any name a vendor gives its codes is covered without a list of names.
#pragma once

#include "program/ProgramsExport.h"

#include <string>
#include <vector>

// The lines an administrator adds to each <Policy> of the server's cupsd.conf (in place of its
// JobPrivateAccess and JobPrivateValues lines), as printdialog --list-codes prints them.
PROGRAMS_EXPORT const std::vector<std::string>& codesPrivacyPolicyLines();

// Why no code goes to server (a "the CUPS server at ..." name), in the person's words, followed by
// the policy's lines, each indented, for the administrator.
PROGRAMS_EXPORT std::string codesWouldBeShownAdvice(const std::string& server);
