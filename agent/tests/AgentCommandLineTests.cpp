// accounting-agent's command line: what it takes, and a clear word for what it does not.
#include "agent/AgentCommandLine.h"

#include <gtest/gtest.h>

namespace {

TEST(AgentArguments, EveryOptionIsTaken)
{
    AgentOptions options;
    std::string error;
    ASSERT_TRUE(parseAgentArguments({ "--server", "/run/cups.sock", "--once", "--script", "-", "--settings-dir", "/tmp/s" }, &options, &error))
        << error;
    EXPECT_EQ(options.server, "/run/cups.sock");
    EXPECT_TRUE(options.once);
    EXPECT_EQ(options.scriptPath, "-");
    EXPECT_EQ(options.settingsFolder, "/tmp/s");
    EXPECT_NE(options.plugInPath.find("/Accounting.plugin"), std::string::npos) << "the bundle in the product's folder";
}

TEST(AgentArguments, NothingGivenWatchesTheDefaultServer)
{
    AgentOptions options;
    std::string error;
    ASSERT_TRUE(parseAgentArguments({}, &options, &error)) << error;
    EXPECT_EQ(options.server, "");
    EXPECT_FALSE(options.once);
    EXPECT_EQ(options.scriptPath, "");
    EXPECT_EQ(options.settingsFolder, "");
}

TEST(AgentArguments, ABadCommandLineIsRefusedWithItsReason)
{
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        { { "--server" }, "--server needs a value" },
        { { "--script", "" }, "--script needs a value" },
        { { "--settings-dir" }, "--settings-dir needs a value" },
        { { "--ppd", "a.ppd" }, "unknown option \"--ppd\"" },
        { { "movra" }, "unknown option \"movra\"" },
        { { "--check", "--once" }, "--check handles no job: only --server and --settings-dir go with it" },
        { { "--script", "-", "--check" }, "--check handles no job: only --server and --settings-dir go with it" },
    };
    for (const auto& [arguments, says] : cases) {
        AgentOptions options;
        std::string error;
        EXPECT_FALSE(parseAgentArguments(arguments, &options, &error)) << says;
        EXPECT_EQ(error, says);
    }
}

}
