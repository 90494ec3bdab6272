// Which of the user's listed jobs the agent handles, and when: each held job once; a job left
// held again when its queue's settings change; a job whose document is still on its way looked
// at again after a growing wait.
#include "agent/JobBook.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

ServerJob heldJob(int id, const std::string& queue, bool documentArrived = true)
{
    ServerJob job;
    job.id = id;
    job.queue = queue;
    job.heldIndefinitely = true;
    job.documentArrived = documentArrived;
    return job;
}

std::vector<int> ids(const std::vector<ServerJob>& jobs)
{
    std::vector<int> numbers;
    for (const ServerJob& job : jobs)
        numbers.push_back(job.id);
    return numbers;
}

const JobBook::Clock::time_point kStart {};

TEST(JobBook, EachHeldJobIsHandledOnceOldestFirst)
{
    JobBook book;
    ServerJob printing = heldJob(5, "movra");
    printing.heldIndefinitely = false;
    std::vector<ServerJob> listed = { heldJob(9, "movra"), printing, heldJob(7, "lumio") };
    EXPECT_EQ(ids(book.due(listed, kStart)), (std::vector<int> { 7, 9 })) << "a job that is not held is none of the agent's";
    book.record(listed[0], JobFate::Released);
    book.record(listed[2], JobFate::LeftAlone);
    EXPECT_TRUE(book.due(listed, kStart).empty());
}

TEST(JobBook, AJobLeftHeldIsOfferedAgainWhenItsQueuesSettingsChange)
{
    JobBook book;
    std::vector<ServerJob> listed = { heldJob(1, "Office"), heldJob(2, "movra"), heldJob(3, "office") };
    for (const ServerJob& job : book.due(listed, kStart))
        book.record(job, job.id == 3 ? JobFate::LeftAlone : JobFate::LeftHeld);
    book.offerAgain("lumio");
    EXPECT_TRUE(book.due(listed, kStart).empty());
    book.offerAgain("office");
    EXPECT_EQ(ids(book.due(listed, kStart)), (std::vector<int> { 1 })) << "the store names queues in lower case; a job left alone stays so";
    book.offerAllAgain();
    EXPECT_EQ(ids(book.due(listed, kStart)), (std::vector<int> { 1, 2 }));
}

TEST(JobBook, AJobTheServerWasLostOnIsOfferedAgain)
{
    JobBook book;
    std::vector<ServerJob> listed = { heldJob(4, "movra") };
    book.record(listed[0], JobFate::ServerLost);
    EXPECT_EQ(ids(book.due(listed, kStart)), (std::vector<int> { 4 }));
}

// The server's words for a refusal come with its event, which a listing hinted at by a program's
// connection may come before: such a job is not taken up until the events were asked for.
TEST(JobBook, ARefusalIsTakenUpWithTheServersWordsForIt)
{
    JobBook book;
    ServerJob refused = heldJob(6, "movra-network");
    refused.heldIndefinitely = false;
    refused.refusedByPrinter = true;
    refused.processedAt = 100;
    std::vector<ServerJob> listed = { heldJob(2, "movra"), refused };
    EXPECT_TRUE(book.refusalUntold(listed));
    book.noteRefusal(6, "account-authorization-failed");
    EXPECT_FALSE(book.refusalUntold(listed));
    EXPECT_EQ(ids(book.due(listed, kStart)), (std::vector<int> { 2, 6 }));
    book.record(refused, JobFate::LeftHeld);
    EXPECT_FALSE(book.refusalUntold(listed)) << "a refusal handled needs its words no more";
    refused.processedAt = 200;
    EXPECT_TRUE(book.refusalUntold({ refused })) << "each refusal is a new one";
}

TEST(JobBook, AJobWaitingForItsDocumentIsLookedAtAgainAfterAGrowingWait)
{
    JobBook book;
    std::vector<ServerJob> incoming = { heldJob(6, "movra", false) };
    EXPECT_FALSE(book.nextLook());
    EXPECT_TRUE(book.due(incoming, kStart).empty()) << "not before its document has come";
    EXPECT_EQ(ids(book.waitingForDocument(incoming)), (std::vector<int> { 6 }));
    ASSERT_TRUE(book.nextLook());
    EXPECT_EQ(*book.nextLook(), kStart + 50ms);
    book.due(incoming, kStart + 10ms);
    EXPECT_EQ(*book.nextLook(), kStart + 50ms) << "a listing before the time does not put the look off";
    book.due(incoming, kStart + 50ms);
    EXPECT_EQ(*book.nextLook(), kStart + 150ms);
    auto now = kStart + 150ms;
    for (int looks = 0; looks < 10; ++looks) {
        book.due(incoming, now);
        now = *book.nextLook();
    }
    book.due(incoming, now);
    EXPECT_EQ(*book.nextLook() - now, 5000ms) << "the wait grows to five seconds, no more";

    std::vector<ServerJob> arrived = { heldJob(6, "movra", true) };
    EXPECT_EQ(ids(book.due(arrived, now)), (std::vector<int> { 6 }));
}

TEST(JobBook, AJobNoLongerListedIsForgotten)
{
    JobBook book;
    std::vector<ServerJob> listed = { heldJob(8, "movra", false) };
    book.due(listed, kStart);
    ASSERT_TRUE(book.nextLook());
    book.due({}, kStart);
    EXPECT_FALSE(book.nextLook()) << "a cancelled job is not looked for again";
}

}
