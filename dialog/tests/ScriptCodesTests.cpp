// A script answering the window of a queue whose printer asks for codes of its own: the fields
// named by their codes' names, OK or Save only while every field holds what it can keep, and
// never a code in the transcript or in an error.
#include "dialog/ScriptCodes.h"
#include "tests/support/TemporaryTree.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

struct Answered {
    CodesFormAnswer answer;
    CodesForm form;
    std::string transcript;
    std::string why;
    std::string error;
};

// An office printer's prompt: a user code of 4 to 8 digits, an optional account.
CodesForm officeForm(CodesForm::Purpose purpose)
{
    CodesForm form;
    form.purpose = purpose;
    form.document = "report.pdf";
    form.queue = "office";
    form.fields = { { { .name = "UserCode", .label = "User code", .kind = CodeKind::Digits, .minLength = 4, .maxLength = 8 }, "" },
        { { .name = "Account", .label = "Account", .kind = CodeKind::Characters, .minLength = 0, .maxLength = 8 }, "" } };
    return form;
}

Answered answer(const std::string& script, CodesForm form)
{
    TemporaryTree folder;
    folder.addFile("script.txt", script);
    ScriptSource source;
    std::string error;
    EXPECT_TRUE(source.open(folder.path("script.txt"), &error)) << error;
    std::ostringstream transcript;
    std::string why;
    CodesFormAnswer given = answerCodesFromScript(source, &form, transcript, &why, &error);
    return { given, form, transcript.str(), why, error };
}

TEST(ScriptCodes, ThePromptTakesEachCodeByNameAndOKOnlyOnceEveryCodeFits)
{
    Answered refused = answer("type UserCode \"12a4\"\nclick OK\n", officeForm(CodesForm::Purpose::Prompt));
    EXPECT_EQ(refused.answer, CodesFormAnswer::Unanswered);
    EXPECT_EQ(refused.error.rfind("line 2: OK cannot be clicked: UserCode (User code): ", 0), 0u) << refused.error;
    EXPECT_EQ(refused.error.find("12a4"), std::string::npos) << "the code is a secret: " << refused.error;
    EXPECT_EQ(refused.transcript.find("12a4"), std::string::npos) << refused.transcript;
    EXPECT_EQ(refused.form.fields[0].value, "") << "nothing is kept of an answer not given";
    EXPECT_EQ(answer("click OK\n", officeForm(CodesForm::Purpose::Prompt)).answer, CodesFormAnswer::Unanswered) << "a user code is needed";

    Answered given = answer("# the office's codes\ntype UserCode \"12345\"\nclick OK\n", officeForm(CodesForm::Purpose::Prompt));
    EXPECT_EQ(given.answer, CodesFormAnswer::Accepted) << given.error;
    EXPECT_EQ(given.form.fields[0].value, "12345");
    EXPECT_EQ(given.form.fields[1].value, "") << "the account may be left empty";
    EXPECT_EQ(given.transcript,
        "codes: \u201Creport.pdf\u201D on office asks for UserCode (User code), Account (Account)\n"
        "codes: typed into UserCode\n"
        "codes: given\n");

    // A locked print's password and a document server's each make the job a kind of their own.
    CodesForm kinds = officeForm(CodesForm::Purpose::Prompt);
    kinds.fields = { { { .name = "LockedPassword", .label = "Locked print", .kind = CodeKind::Digits, .minLength = 4, .maxLength = 8, .companions = { { "JobType", { "LockedPrint" } } } },
                         "" },
        { { .name = "BoxPassword", .label = "Document box", .kind = CodeKind::Digits, .minLength = 4, .maxLength = 8, .companions = { { "JobType", { "DocumentBox" } } } },
            "" } };
    Answered both = answer("type LockedPassword \"1234\"\ntype BoxPassword \"5678\"\nclick OK\n", kinds);
    EXPECT_EQ(both.answer, CodesFormAnswer::Unanswered);
    EXPECT_EQ(both.error.rfind("line 3: OK cannot be clicked: ", 0), 0u) << both.error;
    EXPECT_NE(both.error.find("Locked print"), std::string::npos) << both.error;

    Answered cancelled = answer("type UserCode \"12345\"\nclick Cancel\n", officeForm(CodesForm::Purpose::Prompt));
    EXPECT_EQ(cancelled.answer, CodesFormAnswer::Cancelled);
    EXPECT_EQ(cancelled.error, "");
    EXPECT_EQ(cancelled.form.fields[0].value, "");
    EXPECT_EQ(cancelled.transcript.find("12345"), std::string::npos) << cancelled.transcript;
    EXPECT_NE(cancelled.transcript.find("codes: cancelled\n"), std::string::npos) << cancelled.transcript;
}

TEST(ScriptCodes, TheSettingsNeedTheCodesOnlyWhenEveryPrintGoesWithThem)
{
    Answered asked = answer("check conceal off\nclick Save\n", officeForm(CodesForm::Purpose::Settings));
    EXPECT_EQ(asked.answer, CodesFormAnswer::Accepted) << "asked for with each print, the codes may be left empty: " << asked.error;
    EXPECT_FALSE(asked.form.concealed);
    EXPECT_TRUE(asked.form.askWhenPrinting);

    Answered missing = answer("check prompt off\nclick Save\n", officeForm(CodesForm::Purpose::Settings));
    EXPECT_EQ(missing.answer, CodesFormAnswer::Unanswered);
    EXPECT_EQ(missing.error.rfind("line 2: Save cannot be clicked: UserCode (User code): ", 0), 0u) << missing.error;

    Answered saved = answer("check prompt off\ncheck keyring off\ntype UserCode \"5678\"\nclick Save\n", officeForm(CodesForm::Purpose::Settings));
    EXPECT_EQ(saved.answer, CodesFormAnswer::Accepted) << saved.error;
    EXPECT_FALSE(saved.form.askWhenPrinting);
    EXPECT_FALSE(saved.form.keepInKeyring);
    EXPECT_TRUE(saved.form.accountingOn);
    EXPECT_EQ(saved.form.fields[0].value, "5678");
    EXPECT_EQ(saved.transcript,
        "codes: the settings of office, for UserCode (User code), Account (Account)\n"
        "codes: prompt off\n"
        "codes: keyring off\n"
        "codes: typed into UserCode\n"
        "codes: saved: accounting on, the default codes used, concealed, in the queue's file\n");

    Answered off = answer("check accounting off\ncheck prompt off\nclick Save\n", officeForm(CodesForm::Purpose::Settings));
    EXPECT_EQ(off.answer, CodesFormAnswer::Accepted) << "accounting off needs no codes: " << off.error;
    EXPECT_FALSE(off.form.accountingOn);
}

TEST(ScriptCodes, ALineTheWindowDoesNotTakeStopsTheScript)
{
    const std::pair<std::string, std::string> cases[] = {
        { "type Pin \"1234\"\n", "line 1: the codes window has no field Pin" },
        { "check prompt off\n", "line 1: the codes window is up: it takes \"type NAME TEXT\", \"click OK\" or \"click Cancel\"" },
        { "click Save\n", "line 1: the codes window is up: it takes \"type NAME TEXT\", \"click OK\" or \"click Cancel\"" },
        { "type UserCode \"12\n", "line 1: a quoted text is not closed" },
    };
    for (const auto& [script, error] : cases) {
        Answered stopped = answer(script, officeForm(CodesForm::Purpose::Prompt));
        EXPECT_EQ(stopped.answer, CodesFormAnswer::Unanswered) << script;
        EXPECT_EQ(stopped.error, error) << script;
        EXPECT_EQ(stopped.why, "the script stopped at line 1") << script;
    }
    Answered settingsOK = answer("click OK\n", officeForm(CodesForm::Purpose::Settings));
    EXPECT_NE(settingsOK.error.find("\"click Save\""), std::string::npos) << "the settings are saved, not OK'd: " << settingsOK.error;

    Answered ended = answer("type UserCode \"12345\"\n", officeForm(CodesForm::Purpose::Prompt));
    EXPECT_EQ(ended.answer, CodesFormAnswer::Unanswered);
    EXPECT_EQ(ended.error, "") << "a script that ends is no fault of its lines";
    EXPECT_EQ(ended.why, "the script has no more lines to answer the codes window with");
    EXPECT_EQ(ended.form.fields[0].value, "");
}

}
