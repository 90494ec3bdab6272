#include "tests/cups/AccountCheckingPrinter.h"

#include "tests/cups/TestNetwork.h"

#include "queues/cups/IppMessage.h"

#include <cups/cups.h>

#include <arpa/inet.h>
#include <csignal>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Codes = AccountCheckingPrinter::Codes;

// The account statuses and the job-state-reasons keyword of a job refused with each.
const char* refusalReason(ipp_status_t refusal)
{
    switch (refusal) {
    case IPP_STATUS_ERROR_CUPS_ACCOUNT_INFO_NEEDED: return "account-info-needed";
    case IPP_STATUS_ERROR_CUPS_ACCOUNT_CLOSED: return "account-closed";
    case IPP_STATUS_ERROR_CUPS_ACCOUNT_LIMIT_REACHED: return "account-limit-reached";
    default: return "account-authorization-failed";
    }
}

// The printer's side of the tests: its jobs and its answers.
class Printer {
public:
    Printer(std::string uri, Codes good, ipp_status_t refusal, std::string record)
        : m_uri(std::move(uri))
        , m_good(std::move(good))
        , m_refusal(refusal)
        , m_record(std::move(record))
    {
    }

    IppMessage answer(ipp_t* request, const std::string& document);

private:
    struct Job {
        ipp_jstate_t state { IPP_JSTATE_PENDING };
        const char* reason { "none" };
    };

    void addPrinterAttributes(ipp_t* response) const;
    void addJobAttributes(ipp_t* response, int job) const;
    // The job's print data is in: it prints when its codes are the good ones.
    void takeDocument(ipp_t* response, int job, const std::string& document);

    std::string m_uri;
    Codes m_good;
    ipp_status_t m_refusal;
    std::string m_record;
    // Job N is m_jobs[N - 1].
    std::vector<Job> m_jobs;
};

// The codes in the head that the driver writes before the document; empty where there is none.
Codes codesInPrintData(const std::string& document)
{
    Codes codes;
    std::istringstream lines(document);
    for (std::string line; std::getline(lines, line) && !line.empty();) {
        if (line.rfind("User ID: ", 0) == 0)
            codes.userID = line.substr(9);
        else if (line.rfind("Account ID: ", 0) == 0)
            codes.accountID = line.substr(12);
    }
    return codes;
}

IppMessage Printer::answer(ipp_t* request, const std::string& document)
{
    IppMessage answer(ippNewResponse(request));
    ipp_t* response = answer.get();
    int job = ippGetInteger(ippFindAttribute(request, "job-id", IPP_TAG_INTEGER), 0);
    bool known = job >= 1 && job <= static_cast<int>(m_jobs.size());
    switch (ippGetOperation(request)) {
    case IPP_OP_GET_PRINTER_ATTRIBUTES: addPrinterAttributes(response); break;
    case IPP_OP_VALIDATE_JOB: break;
    case IPP_OP_PRINT_JOB:
        m_jobs.emplace_back();
        takeDocument(response, static_cast<int>(m_jobs.size()), document);
        break;
    case IPP_OP_CREATE_JOB:
        m_jobs.emplace_back();
        addJobAttributes(response, static_cast<int>(m_jobs.size()));
        break;
    case IPP_OP_SEND_DOCUMENT:
        if (!known)
            ippSetStatusCode(response, IPP_STATUS_ERROR_NOT_FOUND);
        else if (m_jobs[job - 1].state != IPP_JSTATE_PENDING)
            ippSetStatusCode(response, IPP_STATUS_ERROR_NOT_POSSIBLE);
        else
            takeDocument(response, job, document);
        break;
    case IPP_OP_GET_JOB_ATTRIBUTES:
        if (known)
            addJobAttributes(response, job);
        else
            ippSetStatusCode(response, IPP_STATUS_ERROR_NOT_FOUND);
        break;
    case IPP_OP_GET_JOBS:
        // The backend lists the jobs only to find a Print-Job's number before the answer gives
        // it; an empty list leaves it to wait for that answer.
        break;
    case IPP_OP_CANCEL_JOB:
        if (!known)
            ippSetStatusCode(response, IPP_STATUS_ERROR_NOT_FOUND);
        else if (m_jobs[job - 1].state > IPP_JSTATE_HELD)
            ippSetStatusCode(response, IPP_STATUS_ERROR_NOT_POSSIBLE);
        else
            m_jobs[job - 1] = { IPP_JSTATE_CANCELED, "job-canceled-by-user" };
        break;
    default: ippSetStatusCode(response, IPP_STATUS_ERROR_OPERATION_NOT_SUPPORTED); break;
    }
    return answer;
}

void Printer::addPrinterAttributes(ipp_t* response) const
{
    static const int operations[] = { IPP_OP_PRINT_JOB, IPP_OP_VALIDATE_JOB, IPP_OP_CREATE_JOB, IPP_OP_SEND_DOCUMENT, IPP_OP_CANCEL_JOB,
        IPP_OP_GET_JOB_ATTRIBUTES, IPP_OP_GET_JOBS, IPP_OP_GET_PRINTER_ATTRIBUTES };
    static const char* const formats[] = { "application/octet-stream", "text/plain" };
    static const char* const versions[] = { "1.1", "2.0" };
    ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_URI, "printer-uri-supported", nullptr, m_uri.c_str());
    ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "uri-security-supported", nullptr, "none");
    ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "uri-authentication-supported", nullptr, "none");
    ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name", nullptr, "Movra RK7700");
    ippAddIntegers(response, IPP_TAG_PRINTER, IPP_TAG_ENUM, "operations-supported", std::size(operations), operations);
    ippAddStrings(response, IPP_TAG_PRINTER, IPP_TAG_MIMETYPE, "document-format-supported", std::size(formats), nullptr, formats);
    ippAddStrings(response, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "ipp-versions-supported", std::size(versions), nullptr, versions);
    ippAddInteger(response, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_IDLE);
    ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "printer-state-reasons", nullptr, "none");
    ippAddBoolean(response, IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
}

void Printer::addJobAttributes(ipp_t* response, int job) const
{
    ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_INTEGER, "job-id", job);
    ippAddString(response, IPP_TAG_JOB, IPP_TAG_URI, "job-uri", nullptr, (m_uri + "/" + std::to_string(job)).c_str());
    ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_ENUM, "job-state", m_jobs[job - 1].state);
    ippAddString(response, IPP_TAG_JOB, IPP_TAG_KEYWORD, "job-state-reasons", nullptr, m_jobs[job - 1].reason);
}

void Printer::takeDocument(ipp_t* response, int job, const std::string& document)
{
    Codes codes = codesInPrintData(document);
    bool printed = codes == m_good;
    std::ofstream(m_record, std::ios::app) << (printed ? "printed" : "refused") << '\t' << codes.userID << '\t' << codes.accountID << '\n';
    // A refused job waits at the printer for its account to be settled. Were it aborted, the
    // backend, which watches the job on another connection, could see that before the refusal
    // and end as for a job cancelled at the printer: CUPS would cancel the job, not hold it.
    m_jobs[job - 1] = printed ? Job { IPP_JSTATE_COMPLETED, "job-completed-successfully" } : Job { IPP_JSTATE_HELD, refusalReason(m_refusal) };
    if (!printed)
        ippSetStatusCode(response, m_refusal);
    addJobAttributes(response, job);
}

// One request on a connection and its answer; false when the connection is over.
bool serveRequest(http_t* client, Printer& printer)
{
    char resource[1024];
    http_state_t state = httpReadRequest(client, resource, sizeof resource);
    if (state != HTTP_STATE_POST)
        return false;
    http_status_t status;
    while ((status = httpUpdate(client)) == HTTP_STATUS_CONTINUE) {
    }
    if (status != HTTP_STATUS_OK)
        return false;
    if (httpGetExpect(client) == HTTP_STATUS_CONTINUE && httpWriteResponse(client, HTTP_STATUS_CONTINUE) != 0)
        return false;
    IppMessage request(ippNew());
    ipp_state_t read;
    while ((read = ippRead(client, request.get())) != IPP_STATE_DATA && read != IPP_STATE_ERROR) {
    }
    // What follows the request is the document.
    std::string document;
    char buffer[8192];
    for (ssize_t count; read == IPP_STATE_DATA && (count = httpRead2(client, buffer, sizeof buffer)) > 0;)
        document.append(buffer, static_cast<size_t>(count));
    bool answered = false;
    if (read == IPP_STATE_DATA) {
        IppMessage response = printer.answer(request.get(), document);
        httpClearFields(client);
        httpSetField(client, HTTP_FIELD_CONTENT_TYPE, "application/ipp");
        httpSetLength(client, ippLength(response.get()));
        answered = httpWriteResponse(client, HTTP_STATUS_OK) == 0;
        ipp_state_t written;
        while (answered && (written = ippWrite(client, response.get())) != IPP_STATE_DATA)
            answered = written != IPP_STATE_ERROR;
    }
    return answered && httpFlushWrite(client) >= 0;
}

// Serves every connection as its requests come: the backend asks about the job on a connection
// of its own while the document goes on another.
[[noreturn]] void serve(int listener, Printer& printer)
{
    std::vector<http_t*> clients;
    for (;;) {
        std::vector<pollfd> ready { { listener, POLLIN, 0 } };
        for (http_t* client : clients)
            ready.push_back({ httpGetFd(client), POLLIN, 0 });
        if (poll(ready.data(), ready.size(), -1) < 0)
            _exit(1);
        for (size_t i = clients.size(); i > 0; --i) {
            if (!ready[i].revents)
                continue;
            http_t* client = clients[i - 1];
            bool open = serveRequest(client, printer);
            while (open && httpGetReady(client))
                open = serveRequest(client, printer);
            if (!open) {
                httpClose(client);
                clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(i - 1));
            }
        }
        if (ready[0].revents) {
            if (http_t* client = httpAcceptConnection(listener, 1))
                clients.push_back(client);
        }
    }
}

}

AccountCheckingPrinter::~AccountCheckingPrinter()
{
    if (m_child > 0) {
        kill(m_child, SIGKILL);
        waitpid(m_child, nullptr, 0);
    }
}

bool AccountCheckingPrinter::start(const Codes& good, ipp_status_t refusal)
{
    int port = 0;
    int listener = TestNetwork::loopbackListener(&port);
    if (listener < 0)
        return false;
    m_uri = "ipp://127.0.0.1:" + std::to_string(port) + "/ipp/print";
    // The printer answers no SNMP, for which the backend would wait 4 s as each job starts. (It
    // then sends the document with Create-Job and Send-Document: its Print-Job, in CUPS 2.4,
    // crashes without SNMP.)
    m_device = m_uri + "?snmp=false";
    m_child = fork();
    if (m_child == 0) {
        // The printer goes with the test, however the test ends.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        Printer printer(m_uri, good, refusal, m_folder.path("jobs"));
        serve(listener, printer);
    }
    close(listener);
    return m_child > 0;
}

std::vector<AccountCheckingPrinter::ReceivedJob> AccountCheckingPrinter::receivedJobs() const
{
    std::vector<ReceivedJob> jobs;
    std::istringstream lines(fileContents(m_folder.path("jobs")));
    for (std::string outcome, userID, accountID; std::getline(lines, outcome, '\t') && std::getline(lines, userID, '\t') && std::getline(lines, accountID);)
        jobs.push_back({ { userID, accountID }, outcome == "printed" });
    return jobs;
}
