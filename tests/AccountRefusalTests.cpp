// A network Movra printer that refuses the codes a job carries, and the job held for new ones:
// a queue of a private CUPS server prints through CUPS's own ipp backend to a printer of the
// tests' own (tests/cups/AccountCheckingPrinter.h), which takes one pair of codes and refuses any
// other with one of the account statuses.
#include "tests/cups/AccountCheckingPrinter.h"
#include "tests/cups/LpJobs.h"
#include "tests/cups/PrivateCupsServer.h"
#include "tests/cups/ServerSubscriptions.h"
#include "tests/cups/SharedCupsServerTest.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using ReceivedJob = AccountCheckingPrinter::ReceivedJob;

const AccountCheckingPrinter::Codes kGoodCodes { "alice", "4711" };

struct Refusal {
    const char* name;
    ipp_status_t status;
    // What the server says as it holds the job: the only place that names the refusal.
    const char* heldText;
};

const Refusal kRefusals[] = {
    { "InfoNeeded", IPP_STATUS_ERROR_CUPS_ACCOUNT_INFO_NEEDED, "Job held indefinitely - account information is required." },
    { "Closed", IPP_STATUS_ERROR_CUPS_ACCOUNT_CLOSED, "Job held indefinitely - account has been closed." },
    { "LimitReached", IPP_STATUS_ERROR_CUPS_ACCOUNT_LIMIT_REACHED, "Job held indefinitely - account limit has been reached." },
    { "AuthorizationFailed", IPP_STATUS_ERROR_CUPS_ACCOUNT_AUTHORIZATION_FAILED, "Job held indefinitely - account authorization failed." },
};

void PrintTo(const Refusal& refusal, std::ostream* out)
{
    *out << refusal.name;
}

class AccountRefusalTest : public SharedCupsServerTest, public ::testing::WithParamInterface<Refusal> {
protected:
    static void SetUpTestSuite() { startServer({}); }
};

TEST_P(AccountRefusalTest, TheServerHoldsARefusedJobAndNewCodesPrintIt)
{
    AccountCheckingPrinter printer;
    ASSERT_TRUE(printer.start(kGoodCodes, GetParam().status));
    ASSERT_TRUE(gServer->addNetworkQueue("movra-network", printer.device()));
    int subscription = subscribeToJobEvents(gServer->socket());
    ASSERT_GT(subscription, 0);

    int job = submitWithLp(gServer->socket(), "movra-network", gServer->path("document.txt"),
        { "-o", "com.movra.Act.trel.UID=alice", "-o", "com.movra.Act.trel.AID=9999" });
    ASSERT_GT(job, 0);
    ASSERT_TRUE(gServer->awaitJobState(job, "pending-held")) << gServer->jobAttribute(job, "job-state");
    EXPECT_EQ(printer.receivedJobs(), (std::vector<ReceivedJob> { { { "alice", "9999" }, false } }));
    // A queue or a person holds a job with job-hold-until; the server, holding a job that the
    // printer refused, leaves it as it was: no-hold.
    EXPECT_EQ(gServer->jobAttribute(job, "job-hold-until"), "no-hold");
    EXPECT_EQ(gServer->jobAttribute(job, "job-state-reasons"), "job-hold-until-specified");
    std::vector<JobEvent> events = jobEvents(gServer->socket(), subscription, job);
    ASSERT_FALSE(events.empty());
    const JobEvent& held = events.back();
    EXPECT_EQ(held.event, "job-state-changed");
    EXPECT_EQ(held.state, "pending-held");
    EXPECT_EQ(held.reasons, "job-hold-until-specified") << "the refusal's own reason is gone by the time the job is held";
    EXPECT_EQ(held.text, GetParam().heldText);

    ASSERT_TRUE(changeWithLp(gServer->socket(), job, { "-o", "com.movra.Act.trel.AID=4711", "-H", "resume" }));
    ASSERT_TRUE(gServer->awaitJobState(job, "completed")) << gServer->jobAttribute(job, "job-state");
    EXPECT_EQ(printer.receivedJobs(), (std::vector<ReceivedJob> { { { "alice", "9999" }, false }, { kGoodCodes, true } }));
}

INSTANTIATE_TEST_SUITE_P(AccountStatuses, AccountRefusalTest, ::testing::ValuesIn(kRefusals),
    [](const auto& info) { return std::string(info.param.name); });

}
