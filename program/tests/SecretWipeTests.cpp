// A code, a password or a PIN wiped once it is no longer needed leaves nothing of itself behind
// in the memory that held it.
#include "program/SecretWipe.h"

#include <gtest/gtest.h>

namespace {

TEST(SecretWipe, AWipedCodeLeavesNoByteOfItInTheMemoryThatHeldIt)
{
    // Longer than a string holds in itself: its bytes are in a buffer of their own, which the
    // string keeps after the wipe.
    std::string code(40, '7');
    const char* buffer = code.data();
    wipeSecret(code);
    EXPECT_TRUE(code.empty());
    ASSERT_EQ(code.data(), buffer);
    EXPECT_EQ(std::string(buffer, 40), std::string(40, '\0'));

    char pin[] = "4711";
    wipeSecret(pin);
    EXPECT_EQ(std::string(pin, sizeof pin), std::string(sizeof pin, '\0'));
}

}
