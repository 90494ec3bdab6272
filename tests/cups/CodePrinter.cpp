#include "tests/cups/CodePrinter.h"

#include "tests/cups/TestNetwork.h"

#include <cups/cups.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

const char* const kProgram = "/usr/sbin/ippeveprinter";

// The printer's attributes for ippeveprinter's -a: an attribute file replaces all of its own
// but the operations and formats, so the media and the Apple raster support that a driverless
// queue needs ("lpadmin -m everywhere" makes no PPD without them) are here too.
const char* const kAttributes = "ATTR boolean job-account-id-supported true\n"
                                "ATTR boolean job-accounting-user-id-supported true\n"
                                "ATTR integer job-password-supported 4\n"
                                "ATTR keyword job-password-encryption-supported none\n"
                                "ATTR keyword media-supported iso_a4_210x297mm\n"
                                "ATTR keyword media-default iso_a4_210x297mm\n"
                                "ATTR keyword urf-supported CP1,IS1,MT1,RS300,V1.4,W8\n";

// Whether something listens on the port of 127.0.0.1.
bool listening(int port)
{
    http_t* http = httpConnect2("127.0.0.1", port, nullptr, AF_INET, HTTP_ENCRYPTION_IF_REQUESTED, 1, 1000, nullptr);
    if (http)
        httpClose(http);
    return http != nullptr;
}

}

std::string CodePrinter::ReceivedJob::attribute(const std::string& name) const
{
    auto found = attributes.find(name);
    return found == attributes.end() ? "" : found->second;
}

bool CodePrinter::installed()
{
    return access(kProgram, X_OK) == 0;
}

bool CodePrinter::start(std::string* error)
{
    m_folder.addFile("attributes.conf", kAttributes);
    m_folder.addFile("page.urf", std::string("UNIRAST\0\0\0\0\1", 12));
    m_folder.addFolder("spool");
    // ippeveprinter will not start without a system bus for announcing itself, even when told
    // not to announce.
    m_folder.addFolder("bus");
    if (!m_bus.start(m_folder.path("bus"), error))
        return false;
    int port = TestNetwork::freeLoopbackPort();
    // -vv logs every request whole, which is how the printer tells what a job carried; /bin/true
    // prints each job at once.
    if (!m_process.start({ kProgram, "-a", m_folder.path("attributes.conf"), "-c", "/bin/true", "-d", m_folder.path("spool"), "-n", "localhost", "-p",
                             std::to_string(port), "-r", "off", "-vv", "Code Printer" },
            { { "DBUS_SYSTEM_BUS_ADDRESS", m_bus.address() } }, m_folder.path("log"))) {
        *error = "ippeveprinter could not be started";
        return false;
    }
    for (int tries = 0; tries < 100 && m_process.running() && !listening(port); ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!listening(port)) {
        *error = "ippeveprinter did not come up on port " + std::to_string(port) + ": " + log();
        stop();
        return false;
    }
    m_uri = "ipp://127.0.0.1:" + std::to_string(port) + "/ipp/print";
    return true;
}

void CodePrinter::stop()
{
    m_process.stop();
    m_bus.stop();
}

// The log holds each request and each answer whole, an attribute a line:
//   Request:
//     operation-id=Create-Job(0005)
//     ...
//       job-password (octetString) 1234
//   Response:
//       job-id (integer) 1
// a line with each request's status ("localhost Create-Job successful-ok"), and one for each job
// that printed: [Job 1] Command "/bin/true" completed successfully. The printer serves each
// connection in a thread of its own, and the backend asks about the printer on a second
// connection while it makes the job, so that request's lines and its answer's may come anywhere
// among the job's own, headers and all. A job's attributes are therefore every attribute line
// from the request that makes it to the answer that names a job not seen before, the first value
// of each name; the other request's lines add only the printer's attributes and those that every
// request of the backend has alike (requesting-user-name).
std::vector<CodePrinter::ReceivedJob> CodePrinter::receivedJobs() const
{
    std::map<int, ReceivedJob> jobs;
    bool creating = false;
    std::map<std::string, std::string> creation;
    std::istringstream lines(log());
    for (std::string line; std::getline(lines, line);) {
        int job = 0;
        if (line.rfind("  operation-id=Create-Job(", 0) == 0 || line.rfind("  operation-id=Print-Job(", 0) == 0) {
            creating = true;
            creation.clear();
        } else if (sscanf(line.c_str(), "[Job %d] Command", &job) == 1 && line.ends_with("completed successfully.")) {
            jobs[job].printed = true;
        } else if (line.rfind(' ', 0) != 0 && (line.find(" Create-Job ") != std::string::npos || line.find(" Print-Job ") != std::string::npos)
            && line.find("-error-") != std::string::npos) {
            // A refused request made no job.
            creating = false;
        } else if (creating && sscanf(line.c_str(), "    job-id (integer) %d", &job) == 1 && jobs[job].attributes.empty()) {
            jobs[job].attributes = creation;
            creating = false;
        } else if (creating && line.rfind("    ", 0) == 0 && line[4] != ' ') {
            // "    name (type) value"
            size_t type = line.find(" (", 4);
            size_t value = line.find(") ", type);
            if (type != std::string::npos && value != std::string::npos)
                creation.emplace(line.substr(4, type - 4), line.substr(value + 2));
        }
    }
    std::vector<ReceivedJob> received;
    for (const auto& [number, job] : jobs) {
        if (!job.attributes.empty())
            received.push_back(job);
    }
    return received;
}

std::vector<CodePrinter::ReceivedJob> CodePrinter::awaitJobs(size_t count) const
{
    std::vector<ReceivedJob> jobs;
    for (int tries = 0; tries < 600; ++tries) {
        jobs = receivedJobs();
        size_t printed = 0;
        for (const ReceivedJob& job : jobs)
            printed += job.printed ? 1 : 0;
        if (printed >= count)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return jobs;
}
