// What a prompt's or a window's process tells the agent arrives as it was said, or not at all:
// bytes that were cut short, garbled or of another kind are no answer.
#include "agent/WindowMessage.h"

#include <gtest/gtest.h>

namespace {

std::vector<CodeField> twoCodes()
{
    std::vector<CodeField> fields(2);
    fields[0].code.name = "UserCode";
    fields[1].code.name = "PIN";
    return fields;
}

// Everything a process said, as the reader meets it: several messages on one pipe, arriving in
// pieces.
std::vector<WindowMessage> takeAll(std::string bytes)
{
    std::vector<WindowMessage> taken;
    std::optional<WindowMessage> message;
    while (WindowMessage::take(bytes, &message) == WindowMessage::Taken::Whole)
        taken.push_back(std::move(*message));
    EXPECT_TRUE(bytes.empty()) << bytes.size() << " bytes left over";
    return taken;
}

TEST(WindowMessage, APromptsWordsReachTheAgentAsTheWorkerSaidThem)
{
    // A code may hold anything a pane lets through, NUL bytes included: it arrives whole.
    const std::string withNul { '1', '2', '\0', '3', '4' };
    ClickOutcome outcome;
    outcome.kind = ClickOutcome::Kind::Printed;
    outcome.why = "why";
    outcome.settings = { { "com.movra.Act.trel.On", "pane", false, 3, "", true }, { "UserID", "pane", true, 0, withNul, false } };
    std::string said = WindowMessage::personReached().bytes() + WindowMessage::cancelAsked().bytes()
        + WindowMessage::clickDone(outcome, std::string("state\0place", 11)).bytes();

    std::vector<WindowMessage> taken = takeAll(said);
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_EQ(taken[0].kind(), WindowMessage::Kind::PersonReached);
    EXPECT_EQ(taken[1].kind(), WindowMessage::Kind::CancelAsked);
    ClickOutcome read;
    std::string state;
    ASSERT_TRUE(taken[2].clickDone(&read, &state));
    EXPECT_EQ(read.kind, ClickOutcome::Kind::Printed);
    EXPECT_EQ(read.why, "why");
    EXPECT_EQ(state, std::string("state\0place", 11));
    ASSERT_EQ(read.settings.size(), 2u);
    EXPECT_EQ(read.settings[0].integer, 3);
    EXPECT_TRUE(read.settings[0].locked);
    EXPECT_EQ(read.settings[1].string, withNul);
    EXPECT_TRUE(read.settings[1].isString);

    // Not yet all there: the reader waits for the rest.
    std::string piece = said.substr(0, said.size() - 1);
    std::optional<WindowMessage> last;
    for (int message = 0; message < 2; ++message)
        ASSERT_EQ(WindowMessage::take(piece, &last), WindowMessage::Taken::Whole);
    EXPECT_EQ(WindowMessage::take(piece, &last), WindowMessage::Taken::Partial);
}

TEST(WindowMessage, AWindowsAnswerReachesTheAgentAndLeavesNoCodeBehindInTheWindow)
{
    std::vector<CodeField> typed = twoCodes();
    typed[0].value = "4711";
    typed[1].value = "0815";
    PasswordAnswer password { "secret", true };
    std::string said = WindowMessage::codesAccepted(typed).bytes() + WindowMessage::passwordGiven(password).bytes()
        + WindowMessage::codesCancelled("cancelled").bytes() + WindowMessage::cancelAnswered(CancelAnswer::Refused, "not yours").bytes();
    EXPECT_EQ(typed[0].value, "");
    EXPECT_EQ(typed[1].value, "");
    EXPECT_EQ(password.password, "");

    std::vector<WindowMessage> taken = takeAll(said);
    ASSERT_EQ(taken.size(), 4u);
    std::vector<CodeField> read = twoCodes();
    ASSERT_TRUE(taken[0].codesAccepted(&read));
    EXPECT_EQ(read[0].value, "4711");
    EXPECT_EQ(read[1].value, "0815");
    PasswordAnswer given;
    ASSERT_TRUE(taken[1].passwordGiven(&given));
    EXPECT_EQ(given.password, "secret");
    EXPECT_TRUE(given.remember);
    std::string why;
    ASSERT_TRUE(taken[2].why(&why));
    EXPECT_EQ(why, "cancelled");
    CancelAnswer answer = CancelAnswer::Done;
    ASSERT_TRUE(taken[3].cancelAnswered(&answer, &why));
    EXPECT_EQ(answer, CancelAnswer::Refused);
    EXPECT_EQ(why, "not yours");
}

TEST(WindowMessage, BytesThatMakeNoMessageAreNoAnswer)
{
    std::string codes = WindowMessage::codesCancelled("x").bytes();
    struct Case {
        const char* what;
        std::string bytes;
    };
    std::string unknownKind = codes;
    unknownKind[0] = 0x7F;
    std::string fieldPastTheEnd = codes;
    fieldPastTheEnd[5] = 2;
    std::string fieldCutShort = codes;
    fieldCutShort[1] = 3;
    fieldCutShort.resize(8);
    for (const Case& test : { Case { "a kind there is none of", unknownKind }, Case { "a field longer than its message", fieldPastTheEnd },
             Case { "a field's length cut short", fieldCutShort } }) {
        std::string bytes = test.bytes;
        std::optional<WindowMessage> message;
        EXPECT_EQ(WindowMessage::take(bytes, &message), WindowMessage::Taken::Malformed) << test.what;
        EXPECT_FALSE(message) << test.what;
    }
}

TEST(WindowMessage, AMessageReadAsAnotherKindOrWithOtherFieldsLeavesEverythingAlone)
{
    std::vector<CodeField> typed = twoCodes();
    typed.pop_back();
    WindowMessage oneCode = WindowMessage::codesAccepted(typed);
    std::vector<CodeField> read = twoCodes();
    read[0].value = "sentinel";
    EXPECT_FALSE(oneCode.codesAccepted(&read));
    EXPECT_EQ(read[0].value, "sentinel");

    PasswordAnswer given { "sentinel", false };
    EXPECT_FALSE(oneCode.passwordGiven(&given));
    EXPECT_EQ(given.password, "sentinel");

    // An outcome of a kind the click cannot come to.
    ClickOutcome outcome;
    std::string bytes = WindowMessage::clickDone(outcome, "").bytes();
    bytes[9] = '9';
    std::optional<WindowMessage> strange;
    ASSERT_EQ(WindowMessage::take(bytes, &strange), WindowMessage::Taken::Whole);
    ClickOutcome read2;
    read2.why = "sentinel";
    std::string state = "sentinel";
    EXPECT_FALSE(strange->clickDone(&read2, &state));
    EXPECT_EQ(read2.why, "sentinel");
    EXPECT_EQ(state, "sentinel");
}

}
