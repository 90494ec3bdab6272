// What the README shows a reader to type or paste (commands, configuration lines), read from the
// README itself, so that the tests run what it says rather than a copy of their own.
#pragma once

#include <string>
#include <utility>
#include <vector>

// The indented blocks of the README's section under heading (up to the next heading), in order,
// each without its indentation (a block within a numbered step is indented further), with the
// README's example names replaced by the test's (from, to pairs).
std::vector<std::string> readmeBlocks(const std::string& heading, const std::vector<std::pair<std::string, std::string>>& names = {});

// The README's policy for a print server whose jobs carry codes, the "<Policy default>" block of
// its administrators' section, so that the tests' servers run what it tells administrators to
// paste; empty when the README has none.
std::string readmePolicy();

// The lines the README has an administrator put in a policy of the server's in place of its
// JobPrivateAccess and JobPrivateValues lines, so that the jobs' codes are secret from other
// users (the block of its section on secrets that starts with JobPrivateAccess); empty when the
// README has none.
std::string readmePrivacyLines();

// The line of that policy that sets directive ("JobPrivateValues default ..."), without its
// indentation; empty when the policy has none.
std::string readmePolicyLine(const std::string& directive);
