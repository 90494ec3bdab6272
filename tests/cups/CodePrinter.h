// A network printer that asks for a code with every job, as IPP Everywhere printers say so
// (job-account-id-supported, job-accounting-user-id-supported, job-password-supported 4 with
// job-password-encryption-supported none): CUPS's own ippeveprinter on a free port of the
// loopback address, which a driverless queue ("lpadmin -m everywhere", see
// PrivateCupsServer::addDriverlessQueue) prints to through CUPS's ipp backend. It prints every
// job, and keeps what each carried as it came: every attribute of the request that made the job,
// job-password among them, which the printer keeps nowhere else (it is an operation attribute,
// not one of the job's).
#pragma once

#include "tests/support/BackgroundProcess.h"
#include "tests/cups/PrivateSystemBus.h"
#include "tests/support/TemporaryTree.h"

#include <map>
#include <string>
#include <vector>

// Why a test that needs the printer is skipped where it is not installed.
constexpr const char* kNoCodePrinter = "a printer that asks for codes needs CUPS's ippeveprinter (cups-ipp-utils; scripts/setup installs it)";

class CodePrinter {
public:
    struct ReceivedJob {
        // Each attribute of the request that made the job, as the printer logged it
        // ("job-password" -> "1234"), and maybe some of the printer's own, of a request that came
        // in between (see receivedJobs); an attribute the request did not have is absent.
        std::map<std::string, std::string> attributes;
        bool printed { false };
        // The attribute's value; empty when the request had none.
        std::string attribute(const std::string& name) const;
    };

    CodePrinter() = default;
    ~CodePrinter() { stop(); }
    CodePrinter(const CodePrinter&) = delete;
    CodePrinter& operator=(const CodePrinter&) = delete;

    static bool installed();
    // False, with the reason in *error, when the printer does not come up.
    bool start(std::string* error);
    void stop();
    // ipp://127.0.0.1:PORT/ipp/print
    const std::string& uri() const { return m_uri; }
    // A page in the printer's own format (Apple raster), which a queue for it prints without any
    // filter.
    std::string page() const { return m_folder.path("page.urf"); }
    // Every job received so far, in the order the printer numbered them, once count of them have
    // printed, or after 30 s (a job leaves a holding queue and goes through the backend in a few
    // seconds, several times that beside a whole suite).
    std::vector<ReceivedJob> awaitJobs(size_t count) const;
    // What the printer wrote, for a test's failure messages.
    std::string log() const { return fileContents(m_folder.path("log")); }

private:
    std::vector<ReceivedJob> receivedJobs() const;

    TemporaryTree m_folder;
    PrivateSystemBus m_bus;
    BackgroundProcess m_process;
    std::string m_uri;
};
