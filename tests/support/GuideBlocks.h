// What a guide under docs/ shows a reader to type or paste (commands, configuration lines), read
// from the guide itself, so that the tests run what it says rather than a copy of their own.
#pragma once

#include <string>
#include <utility>
#include <vector>

// The administrators' guide: the server's set-up, its policy and a central server.
inline constexpr char kAdministratorsGuide[] = "administration.md";

// The indented blocks of the guide's section under heading (up to the next heading), in order,
// each without its indentation (a block within a numbered step is indented further), with the
// guide's example names replaced by the test's (from, to pairs).
std::vector<std::string> guideBlocks(const std::string& guide, const std::string& heading,
    const std::vector<std::pair<std::string, std::string>>& names = {});

// The administrators' guide's policy for a print server whose jobs carry codes, the
// "<Policy default>" block of its section on a queue that holds jobs, so that the tests' servers
// run what it tells administrators to paste; empty when the guide has none.
std::string guidePolicy();

// The lines the administrators' guide has an administrator put in a policy of the server's in
// place of its JobPrivateAccess and JobPrivateValues lines, so that the jobs' codes are secret
// from other users (the block of its section on the policy that starts with JobPrivateAccess);
// empty when the guide has none.
std::string guidePrivacyLines();

// The line of that policy that sets directive ("JobPrivateValues default ..."), without its
// indentation; empty when the policy has none.
std::string guidePolicyLine(const std::string& directive);
