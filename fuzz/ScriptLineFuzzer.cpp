// printdialog's scripts come from a file or standard input.
#include "dialog/ScriptLine.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    // Lines as the script runner splits them: at each newline.
    size_t start = 0;
    int number = 1;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string error;
        (void)parseScriptLine(text.substr(start, end - start), number++, &error);
        start = end + 1;
    }
    return 0;
}
