#include "queues/CodesPrivacy.h"

const std::vector<std::string>& codesPrivacyPolicyLines()
{
    static const std::vector<std::string> lines = {
        "JobPrivateAccess default",
        "JobPrivateValues all",
        "<Limit Get-Jobs Get-Job-Attributes>",
        "  AuthType Default",
        "  Require valid-user",
        "  Order deny,allow",
        "</Limit>",
    };
    return lines;
}

std::string codesWouldBeShownAdvice(const std::string& server)
{
    std::string advice = server
        + " shows the codes of your jobs to anyone who asks in your name, so none are sent there; an administrator adds to each <Policy> of "
          "its cupsd.conf, in place of its JobPrivateAccess and JobPrivateValues lines:";
    for (const std::string& line : codesPrivacyPolicyLines())
        advice += "\n    " + line;
    return advice;
}
