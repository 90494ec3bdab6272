// The one UTF-8 module: what every family that reads, shows or cuts text relies on.
#include <Base/Unicode.h>

#include <gtest/gtest.h>

namespace UTF8 = StandIn::UTF8;

namespace {

constexpr size_t npos = std::string_view::npos;

TEST(UTF8Test, OnlyWellFormedTextIsValidAndTheFirstFaultIsFound)
{
    struct Case {
        std::string text;
        size_t firstInvalid;
    };
    const Case cases[] = {
        { "", npos },
        { "plain", npos },
        { "Gr\xC3\xBC\xC3\x9F"
          "e \xE3\x81\x93 \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF",
            npos },
        { "a\x80", 1 }, // a continuation byte alone
        { "ab\xC0\xAF", 2 }, // "/" in two bytes
        { "\xE0\x80\xAF", 0 }, // overlong in three
        { "\xE0\x9F\xBF", 0 }, // U+07FF, which two bytes hold, in three
        { "\xE0\xA0\x80", npos }, // U+0800, the first that needs three
        { "\xF0\x80\x80\xAF", 0 }, // overlong in four
        { "\xF0\x8F\xBF\xBF", 0 }, // U+FFFF, which three bytes hold, in four
        { "\xF0\x90\x80\x80", npos }, // U+10000, the first that needs four
        { "x\xED\xA0\x80", 1 }, // a high surrogate
        { "\xED\xBF\xBF", 0 }, // a low surrogate
        { "\xF4\x90\x80\x80", 0 }, // beyond U+10FFFF
        { "\xF5\x80\x80\x80", 0 },
        { "\xFF", 0 },
        { "ok\xE3\x81", 2 }, // cut short at the end
        { "\xC3(", 0 }, // a lead byte without its continuation
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UTF8::firstInvalid(c.text), c.firstInvalid) << c.text;
        EXPECT_EQ(UTF8::isValid(c.text), c.firstInvalid == npos) << c.text;
    }
}

TEST(UTF8Test, CharactersAreDecodedWithTheirLength)
{
    const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    const std::pair<char32_t, size_t> expected[] = { { U'A', 1 }, { U'\u00E9', 2 }, { U'\u20AC', 3 }, { U'\U0001F600', 4 } };
    size_t position = 0;
    for (auto [codePoint, length] : expected) {
        auto character = UTF8::decodeAt(text, position);
        ASSERT_TRUE(character) << "at " << position;
        EXPECT_EQ(character->codePoint, codePoint);
        EXPECT_EQ(character->length, length);
        position += length;
    }
    EXPECT_FALSE(UTF8::decodeAt(text, text.size())) << "past the end";
    EXPECT_FALSE(UTF8::decodeAt(text, 2)) << "inside a character";
    EXPECT_EQ(UTF8::characterCount(text), 4u);
}

TEST(UTF8Test, TextCutToALimitNeverEndsInHalfACharacter)
{
    // "é" is 2 bytes, "€" 3, "😀" 4: byte limits that fall inside them cut before them.
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    const size_t expected[] = { 0, 1, 1, 3, 3, 3, 6, 6, 6, 6, 10, 10 };
    for (size_t limit = 0; limit < std::size(expected); ++limit)
        EXPECT_EQ(UTF8::cutLength(text, limit), expected[limit]) << "limit " << limit;
    EXPECT_EQ(UTF8::characterStart(text, 4), 3u);
    EXPECT_EQ(UTF8::characterStart(text, 3), 3u);
    EXPECT_EQ(UTF8::characterStart(text, 99), text.size());
}

TEST(UTF8Test, TheCaretMovesByWholeCharacters)
{
    const std::string text = "\xC3\xA9x\xF0\x9F\x98\x80";
    EXPECT_EQ(UTF8::nextCharacter(text, 0), 2u);
    EXPECT_EQ(UTF8::nextCharacter(text, 2), 3u);
    EXPECT_EQ(UTF8::nextCharacter(text, 3), 7u);
    EXPECT_EQ(UTF8::nextCharacter(text, 7), 7u) << "stays at the end";
    EXPECT_EQ(UTF8::previousCharacter(text, 7), 3u);
    EXPECT_EQ(UTF8::previousCharacter(text, 3), 2u);
    EXPECT_EQ(UTF8::previousCharacter(text, 2), 0u);
    EXPECT_EQ(UTF8::previousCharacter(text, 0), 0u) << "stays at the start";
}

TEST(UTF8Test, UTF16ConversionsGoBothWaysAndRefuseWhatTheOtherSideCannotHold)
{
    const std::string text = "Gr\xC3\xBC\xC3\x9F"
                             "e \xF0\x9F\x98\x80";
    const std::u16string units = u"Grüße 😀";
    EXPECT_EQ(UTF8::toUTF16(text), units);
    EXPECT_EQ(UTF8::fromUTF16(units), text);
    EXPECT_FALSE(UTF8::toUTF16("\xED\xA0\x80"));
    EXPECT_FALSE(UTF8::fromUTF16(std::u16string(1, u'\xD83D'))) << "a lone high surrogate";
    EXPECT_FALSE(UTF8::fromUTF16(std::u16string(1, u'\xDE00'))) << "a lone low surrogate";
    EXPECT_EQ(UTF8::toUTF16(""), u"");
}

}
