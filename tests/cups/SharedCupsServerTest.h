// A suite whose tests share one private CUPS server: the suite's SetUpTestSuite starts it with
// startServer, it stops as the suite ends, and each test is skipped, with the reason, where no
// server can run here, or fails where it would not start.
#pragma once

#include "tests/cups/PrivateCupsServer.h"

#include <gtest/gtest.h>

class SharedCupsServerTest : public ::testing::Test {
protected:
    static void startServer(const PrivateCupsServer::Setup& setup)
    {
        gFailure.clear();
        gServer = PrivateCupsServer::startForSuite(setup, &gFailure);
    }

    static void TearDownTestSuite()
    {
        delete gServer;
        gServer = nullptr;
    }

    // A server that would not start fails every test of the suite: only one that cannot run here
    // skips them.
    void SetUp() override
    {
        if (!gServer && !gFailure.empty())
            FAIL() << gFailure;
        if (!gServer)
            GTEST_SKIP() << kNoPrivateCupsServer;
    }

    static inline PrivateCupsServer* gServer = nullptr;
    static inline std::string gFailure;
};
