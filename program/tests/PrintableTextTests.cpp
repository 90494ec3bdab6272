// What a server or a printing program names reaches a terminal or a log only as text: nothing in
// it can act on the terminal, break the line or turn another line around.
#include "program/PrintableText.h"

#include <gtest/gtest.h>

namespace {

TEST(PrintableText, TextFromOutsideCannotActOnTheTerminalOrForgeALine)
{
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        { "report.pdf", "report.pdf" },
        { "Bericht für Müller — Entwurf", "Bericht für Müller — Entwurf" },
        { "movra\x1b]0;owned\x07", "movra\\x1B]0;owned\\x07" },
        { "movra: released\r\njob 9 movra: released", "movra: released\\x0D\\x0Ajob 9 movra: released" },
        { "tab\tand\x7f", "tab\\x09and\\x7F" },
        { "\xc2\x9b"
          "31m",
            "\\u{9B}31m" },
        { "gnp.\xe2\x80\xae"
          "exe",
            "gnp.\\u{202E}exe" },
        { "a\xe2\x81\xa6"
          "b\xe2\x80\xa8"
          "c\xe2\x81\xa9",
            "a\\u{2066}b\\u{2028}c\\u{2069}" },
        // The marks that turn the text around them: left-to-right, right-to-left, Arabic letter.
        { "a\xe2\x80\x8e"
          "b",
            "a\\u{200E}b" },
        { "a\xe2\x80\x8f"
          "b",
            "a\\u{200F}b" },
        { "a\xd8\x9c"
          "b",
            "a\\u{61C}b" },
        { "half \xe2\x82 and \xff", "half \\xE2\\x82 and \\xFF" },
        { "C:\\x1B", "C:\\\\x1B" },
    };
    for (const auto& [text, shown] : cases)
        EXPECT_EQ(printableText(text), shown) << text;
}

}
