// --help and --version, asked anywhere on a program's command line.
#include "program/ProgramInformation.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(ProgramInformation, HelpOrVersionIsAnsweredWhateverElseIsGiven)
{
    EXPECT_EQ(informationRequest({ "--ppd", "a.ppd", "--colour", "-h" }), InformationRequest::Help);
    EXPECT_EQ(informationRequest({ "--help", "--version" }), InformationRequest::Help) << "the first one asked counts";
    EXPECT_EQ(informationRequest({ "--once", "--version" }), InformationRequest::Version);
    EXPECT_EQ(informationRequest({ "--script", "help.txt", "--once" }), InformationRequest::None);

    std::ostringstream help;
    answerInformationRequest(InformationRequest::Help, "accounting-agent", "usage: accounting-agent [--once]", help);
    EXPECT_EQ(help.str(), "usage: accounting-agent [--once]\n");
    std::ostringstream version;
    answerInformationRequest(InformationRequest::Version, "accounting-agent", "usage: accounting-agent [--once]", version);
    EXPECT_EQ(version.str(), std::string("accounting-agent ") + ACCOUNTING_VERSION + "\n");
}

}
