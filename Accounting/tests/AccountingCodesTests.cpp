#include "Accounting/AccountingCodes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string copied(const std::string& text, size_t codeSize = kCodeBufferSize)
{
    char code[kCodeBufferSize + 8];
    memset(code, '#', sizeof code);
    copyCodeText(code, codeSize, text.data(), text.size());
    EXPECT_EQ(code[codeSize], '#') << "nothing is written past the code";
    return code;
}

TEST(AccountingCodes, ShortCodesAreCopiedWhole)
{
    EXPECT_EQ(copied("u-123"), "u-123");
    EXPECT_EQ(copied(""), "");
    EXPECT_EQ(copied(std::string(79, 'z')), std::string(79, 'z'));
}

TEST(AccountingCodes, LongCodesAreCutToWholeCharactersWithinTheLimit)
{
    EXPECT_EQ(copied(std::string(80, 'z')), std::string(79, 'z'));
    EXPECT_EQ(copied(std::string(78, 'z') + "\xC3\xA9"), std::string(78, 'z'));
    EXPECT_EQ(copied(std::string(77, 'z') + "\xE2\x82\xAC"), std::string(77, 'z'));
    EXPECT_EQ(copied(std::string(76, 'z') + "\xE2\x82\xAC" + "tail"), std::string(76, 'z') + "\xE2\x82\xAC");
    EXPECT_EQ(copied("\xE2\x82\xAC\xE2\x82\xAC", 5), "\xE2\x82\xAC");
    EXPECT_EQ(copied("\xF0\x9F\x98\x80", 4), "");
}

TEST(AccountingCodes, PromptSizedBuffersKeepTheirTerminator)
{
    EXPECT_EQ(copied("123456789012345", 12), "12345678901");
    EXPECT_EQ(copied(std::string(64, 'q'), 64), std::string(63, 'q'));
}

}
