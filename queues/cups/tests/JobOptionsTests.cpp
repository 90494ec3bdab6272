// The one rule for the pane's settings as a CUPS job's options, which printdialog's jobs and the
// agent's released jobs both follow: what the driver and the server get, and what they never get.
#include "queues/cups/JobOptions.h"

#include <gtest/gtest.h>

#include <map>

namespace {

constexpr const char* kClient = "com.pmvendor.printingmanager";

std::vector<StandIn::TicketItem> ticket(SInt32 mode, const std::string& userID, const std::string& accountID)
{
    return { { "com.movra.Act.trel.On", kClient, false, mode, "", false }, { "com.movra.Act.trel.UID", kClient, true, 0, userID, false },
        { "com.movra.Act.trel.AID", kClient, true, 0, accountID, false }, { "com.movra.Act.trel.Prm", kClient, false, 0, "", false } };
}

std::map<std::string, std::string> optionsOf(const JobOptions& options)
{
    std::map<std::string, std::string> named;
    for (int i = 0; i < options.count(); ++i)
        named[options.options()[i].name] = options.options()[i].value;
    return named;
}

TEST(JobOptions, AccountingOnSendsEveryEntryAndTheCodesAsTheJobsAccounting)
{
    auto options = optionsOf(JobOptions(ticket(3, "alice", "4711")));
    EXPECT_EQ(options["com.movra.Act.trel.On"], "3");
    EXPECT_EQ(options["com.movra.Act.trel.Prm"], "0");
    EXPECT_EQ(options["com.movra.Act.trel.UID"], "alice");
    EXPECT_EQ(options["com.movra.Act.trel.AID"], "4711");
    EXPECT_EQ(options["job-accounting-user-id"], "alice");
    EXPECT_EQ(options["job-account-id"], "4711");
    EXPECT_EQ(options["job-hold-until"], "no-hold") << "a queue that holds jobs for accounting lets this one print";
}

TEST(JobOptions, AnEmptyAccountIDIsLeftOutOfTheJobsAccounting)
{
    auto options = optionsOf(JobOptions(ticket(2, "carol", "")));
    EXPECT_EQ(options["job-accounting-user-id"], "carol");
    EXPECT_EQ(options.count("job-account-id"), 0u);
}

TEST(JobOptions, APrintersStoredCodesNeverGoAsTheStoreKeepsThem)
{
    std::vector<StandIn::TicketItem> items = ticket(3, "", "");
    items.push_back({ "com.movra.Act.codes.Code.UserCode", kClient, true, 0, "13579", false });
    items.push_back({ "com.movra.Act.codes.Conceal", kClient, false, 1, "", false });
    items.push_back({ "UserCode", "", true, 0, "Custom.13579", false });
    auto options = optionsOf(JobOptions(items));
    EXPECT_EQ(options.count("com.movra.Act.codes.Code.UserCode"), 0u);
    EXPECT_EQ(options.count("com.movra.Act.codes.Conceal"), 0u);
    EXPECT_EQ(options["UserCode"], "Custom.13579") << "as its driver takes it";
}

TEST(JobOptions, AccountingOffSendsNoCodeAtAll)
{
    auto options = optionsOf(JobOptions(ticket(1, "alice", "4711")));
    EXPECT_EQ(options["com.movra.Act.trel.On"], "1");
    EXPECT_EQ(options["job-hold-until"], "no-hold");
    for (const auto& [name, value] : options) {
        EXPECT_NE(value, "alice") << name;
        EXPECT_NE(value, "4711") << name;
    }
}

}
