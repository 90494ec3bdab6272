// Jobs as programs print them: lp through a server's socket, or many at once as a busy office
// sends them.
#pragma once

#include <string>
#include <vector>

// Submits file to queue with lp (-h SOCKET -d QUEUE, then arguments), as user when one is given
// (the test runs as root); the job's number, or 0 when lp failed.
int submitWithLp(const std::string& socket, const std::string& queue, const std::string& file, const std::vector<std::string>& arguments = {},
    const std::string& user = "");

// Submits file to queue count times over one connection, as the test's own user; the jobs'
// numbers, fewer when the server refused some.
std::vector<int> submitMany(const std::string& socket, const std::string& queue, const std::string& file, int count);

// Changes job with lp -i (-h SOCKET -i JOB, then arguments), as the job's owner does: its
// options with -o, a held job released with -H resume. Whether lp succeeded.
bool changeWithLp(const std::string& socket, int job, const std::vector<std::string>& arguments);
