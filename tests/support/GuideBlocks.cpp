#include "tests/support/GuideBlocks.h"

#include "tests/support/TemporaryTree.h"

#include <algorithm>
#include <sstream>

std::vector<std::string> guideBlocks(const std::string& guide, const std::string& heading, const std::vector<std::pair<std::string, std::string>>& names)
{
    std::istringstream text(fileContents(std::string(DOCS_DIR "/") + guide));
    std::vector<std::string> blocks;
    bool inSection = false;
    size_t indent = 0;
    for (std::string line; std::getline(text, line);) {
        if (line.rfind("#", 0) == 0) {
            inSection = line == heading;
            indent = 0;
            continue;
        }
        // A paragraph's lines, a list item's among them, are indented by less than four.
        size_t lineIndent = line.find_first_not_of(' ');
        bool inBlock = inSection && lineIndent != std::string::npos && lineIndent >= 4;
        if (inBlock && indent == 0) {
            blocks.emplace_back();
            indent = lineIndent;
        }
        if (!inBlock)
            indent = 0;
        else
            blocks.back() += line.substr(std::min(indent, lineIndent)) + "\n";
    }
    for (std::string& block : blocks) {
        for (const auto& [from, to] : names) {
            for (size_t at = block.find(from); at != std::string::npos; at = block.find(from, at + to.size()))
                block.replace(at, from.size(), to);
        }
    }
    return blocks;
}

std::string guidePolicy()
{
    for (const std::string& block : guideBlocks(kAdministratorsGuide, "## A queue that holds jobs for the agent")) {
        if (block.rfind("<Policy default>\n", 0) == 0)
            return block;
    }
    return "";
}

std::string guidePrivacyLines()
{
    for (const std::string& block : guideBlocks(kAdministratorsGuide, "## The policy: what it protects and what it costs")) {
        if (block.rfind("JobPrivateAccess ", 0) == 0)
            return block;
    }
    return "";
}

std::string guidePolicyLine(const std::string& directive)
{
    std::istringstream policy(guidePolicy());
    for (std::string line; std::getline(policy, line);) {
        size_t start = line.find_first_not_of(' ');
        if (start != std::string::npos && line.compare(start, directive.size() + 1, directive + " ") == 0)
            return line.substr(start);
    }
    return "";
}
