// A suite whose tests share one private CUPS server: the suite's SetUpTestSuite starts it with
// startServer, it stops as the suite ends, and each test is skipped, with the reason, where no
// server can run here.
#pragma once

#include "PrivateCupsServer.h"

#include <gtest/gtest.h>

class SharedCupsServerTest : public ::testing::Test {
protected:
    static void startServer(const PrivateCupsServer::Setup& setup) { gServer = PrivateCupsServer::startForSuite(setup); }

    static void TearDownTestSuite()
    {
        delete gServer;
        gServer = nullptr;
    }

    void SetUp() override
    {
        if (!gServer)
            GTEST_SKIP() << kNoPrivateCupsServer;
    }

    static inline PrivateCupsServer* gServer = nullptr;
};
