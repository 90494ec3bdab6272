#include "tests/cups/LpJobs.h"

#include "tests/support/ProgramRun.h"

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

std::vector<int> submitMany(const std::string& socket, const std::string& queue, const std::string& file, int count)
{
    std::vector<int> jobs;
    http_t* http = httpConnect2(socket.c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
    for (int i = 0; http && i < count; ++i) {
        if (int job = cupsPrintFile2(http, queue.c_str(), file.c_str(), "report.pdf", 0, nullptr); job > 0)
            jobs.push_back(job);
    }
    if (http)
        httpClose(http);
    return jobs;
}

bool changeWithLp(const std::string& socket, int job, const std::vector<std::string>& arguments)
{
    std::vector<std::string> command = { "/usr/bin/lp", "-h", socket, "-i", std::to_string(job) };
    command.insert(command.end(), arguments.begin(), arguments.end());
    ProgramOptions options;
    options.timeout = std::chrono::milliseconds(10000);
    return runProgram(command, options).exitStatus == 0;
}
