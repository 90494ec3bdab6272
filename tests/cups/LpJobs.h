// Jobs as programs print them: lp through a server's socket.
#pragma once

#include <string>
#include <vector>

// Submits file to queue with lp (-h SOCKET -d QUEUE, then arguments), as user when one is given
// (the test runs as root); the job's number, or 0 when lp failed.
int submitWithLp(const std::string& socket, const std::string& queue, const std::string& file, const std::vector<std::string>& arguments = {},
    const std::string& user = "");
// Changes job with lp -i (-h SOCKET -i JOB, then arguments), as the job's owner does: its
// options with -o, a held job released with -H resume. Whether lp succeeded.
bool changeWithLp(const std::string& socket, int job, const std::vector<std::string>& arguments);
