// Every test ends with the platform's live objects back where they started: a test fixture
// that records the count in SetUp and checks it in TearDown.
#pragma once

#include <gtest/gtest.h>

#include <string>

// Live objects of every kind the stand-in counts: CoreFoundation objects, windows, controls,
// menus, events, handler registrations, alerts and handles.
long PlatformLiveObjectCount();
// One line per kind with a non-zero count, for a failure message.
std::string PlatformLiveObjectSummary();

class BalancedTest : public ::testing::Test {
protected:
    void SetUp() override { m_liveAtStart = PlatformLiveObjectCount(); }
    void TearDown() override
    {
        EXPECT_EQ(PlatformLiveObjectCount(), m_liveAtStart) << "objects left alive:\n"
                                                            << PlatformLiveObjectSummary();
    }

private:
    long m_liveAtStart { 0 };
};

// A whole dialog in the test's own process, speaking English: every object and every plug-in
// instance the test made is released by its end.
class BalancedDialogTest : public BalancedTest {
protected:
    void SetUp() override;
    void TearDown() override;
};
