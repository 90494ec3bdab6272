#include "queues/QueueName.h"

std::string cupsQueueNameProblem(std::string_view queue)
{
    if (queue.empty())
        return "a CUPS queue name cannot be empty";
    if (queue.size() > kMaxQueueNameBytes)
        return "a CUPS queue name has at most " + std::to_string(kMaxQueueNameBytes) + " bytes, and this one has "
            + std::to_string(queue.size());
    for (char c : queue) {
        auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || byte == 0x7f || std::string_view("/\\?'\"#").find(c) != std::string_view::npos)
            return "a CUPS queue name holds no blank, control character, slash, backslash, question mark, quote or \"#\"";
    }
    return "";
}

std::string foldedQueueName(std::string_view queue)
{
    std::string name(queue);
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}
