#include "LpJobs.h"

#include "ProgramRun.h"

#include <cups/cups.h>

#include <cstdlib>

int submitWithLp(const std::string& socket, const std::string& queue, const std::string& file, const std::vector<std::string>& arguments,
    const std::string& user)
{
    std::vector<std::string> command = { "/usr/bin/lp", "-h", socket, "-d", queue };
    command.insert(command.end(), arguments.begin(), arguments.end());
    command.push_back(file);
    ProgramOptions options;
    options.user = user;
    options.timeout = std::chrono::milliseconds(10000);
    ProgramRun run = runProgram(command, options);
    // "request id is QUEUE-N (1 file(s))"
    std::string marker = "request id is " + queue + "-";
    size_t at = run.output.find(marker);
    return run.exitStatus == 0 && at != std::string::npos ? atoi(run.output.c_str() + at + marker.size()) : 0;
}

std::string jobStateOf(const std::string& socket, int job)
{
    http_t* http = httpConnect2(socket.c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
    if (!http)
        return "";
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    std::string uri = "ipp://localhost/jobs/" + std::to_string(job);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, "root");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "job-state");
    ipp_t* response = cupsDoRequest(http, request, "/");
    ipp_attribute_t* state = ippFindAttribute(response, "job-state", IPP_TAG_ENUM);
    std::string text = state ? ippEnumString("job-state", ippGetInteger(state, 0)) : "";
    ippDelete(response);
    httpClose(http);
    return text;
}
