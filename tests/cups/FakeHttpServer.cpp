#include "tests/cups/FakeHttpServer.h"

#include "tests/cups/TestNetwork.h"
#include "tests/support/TemporaryTree.h"

#include <arpa/inet.h>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr unsigned kLifetimeSeconds = 10;
// The most of a PPD the pane takes from a server.
constexpr size_t kLargestPPD = 16 * 1024 * 1024;

bool sendText(int connection, const std::string& text)
{
    return send(connection, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

// Reads one request's head into *head, in lower case (header names are not case-sensitive);
// false when the client has gone.
bool readRequest(int connection, std::string* head = nullptr)
{
    std::string text;
    char c;
    while (text.size() < 65536 && text.find("\r\n\r\n") == std::string::npos) {
        if (recv(connection, &c, 1, 0) != 1)
            return false;
        text += static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    if (head)
        *head = text;
    return true;
}

bool readBytes(int connection, size_t size, std::string* bytes)
{
    bytes->resize(size);
    for (size_t done = 0; done < size;) {
        ssize_t count = recv(connection, bytes->data() + done, size - done, 0);
        if (count <= 0)
            return false;
        done += static_cast<size_t>(count);
    }
    return true;
}

void appendLine(const std::string& path, const std::string& line)
{
    std::ofstream(path, std::ios::app) << line << "\n";
}

void addAttribute(std::string* message, char tag, const std::string& name, const std::string& value)
{
    *message += tag;
    *message += { static_cast<char>(name.size() >> 8), static_cast<char>(name.size()) };
    *message += name;
    *message += { static_cast<char>(value.size() >> 8), static_cast<char>(value.size()) };
    *message += value;
}

// An IPP answer to the request whose id is requestID (its 4 bytes): success, with a job's number
// when job is not 0 and a printer's attributes (already encoded) when given, or
// client-error-not-possible with a status message when refusal is given.
std::string ippAnswer(const std::string& requestID, int job, const std::string& refusal = "", const std::string& printer = "")
{
    std::string message { 2, 0, 0, 0 };
    if (!refusal.empty())
        message[2] = message[3] = 4;
    message += requestID;
    message += '\x01';
    addAttribute(&message, '\x47', "attributes-charset", "utf-8");
    addAttribute(&message, '\x48', "attributes-natural-language", "en");
    if (!refusal.empty())
        addAttribute(&message, '\x41', "status-message", refusal);
    if (job) {
        message += '\x02';
        addAttribute(&message, '\x21', "job-id", { static_cast<char>(job >> 24), static_cast<char>(job >> 16), static_cast<char>(job >> 8), static_cast<char>(job) });
    }
    if (!printer.empty())
        message += '\x04' + printer;
    message += '\x03';
    return "HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nContent-Length: " + std::to_string(message.size()) + "\r\n\r\n" + message;
}

// The IPP operation in a request's body, recorded and answered. The body's first bytes are the
// version (2), the operation (2) and the request's id (4).
bool answerOperation(int connection, const std::string& body, const std::string& record)
{
    if (body.size() < 8)
        return false;
    int operation = static_cast<unsigned char>(body[2]) << 8 | static_cast<unsigned char>(body[3]);
    std::string requestID = body.substr(4, 4);
    // As a server of the administrators' guide's policy: jobs are shown to those alone who prove
    // who they are.
    if (operation == 0x000A) {
        appendLine(record, "Get-Jobs");
        return sendText(connection, "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"CUPS\"\r\nContent-Length: 0\r\n\r\n");
    }
    if (operation == 0x0005) {
        appendLine(record, "Create-Job");
        return sendText(connection, ippAnswer(requestID, FakeHttpServer::kHeldJob));
    }
    if (operation == 0x0008) {
        // The job by its job-id, whose value follows its name after two bytes of length, four
        // of number; or by its job-uri, .../jobs/JOB.
        size_t name = body.find("job-id");
        size_t uri = body.find("/jobs/");
        int job = 0;
        if (name != std::string::npos && name + 12 <= body.size()) {
            for (size_t i = name + 8; i < name + 12; ++i)
                job = job << 8 | static_cast<unsigned char>(body[i]);
        } else if (uri != std::string::npos)
            job = atoi(body.c_str() + uri + 6);
        appendLine(record, "Cancel-Job " + std::to_string(job) + (body.find("purge-job") != std::string::npos ? " purge" : ""));
        return sendText(connection, ippAnswer(requestID, 0));
    }
    appendLine(record, "operation " + std::to_string(operation));
    return sendText(connection, ippAnswer(requestID, 0));
}

// Tells a client that waits for it before sending a request's body to go on.
bool letBodyCome(int connection, const std::string& head)
{
    return head.find("expect: 100-continue") == std::string::npos || sendText(connection, "HTTP/1.1 100 Continue\r\n\r\n");
}

// A request's body of the length its head gives.
bool readSizedBody(int connection, const std::string& head, std::string* body)
{
    size_t length = head.find("content-length:");
    return length != std::string::npos && readBytes(connection, strtoul(head.c_str() + length + 15, nullptr, 10), body);
}

// One connection of the stalling printer: a GET is the PPD; a request whose body comes in
// chunks is a document, whose connection goes into *stalled and is never answered.
void serveStallingPrinter(int connection, const std::string& ppd, const std::string& record, std::vector<int>* stalled)
{
    std::string head;
    while (readRequest(connection, &head)) {
        if (head.rfind("get ", 0) == 0) {
            sendText(connection, "HTTP/1.1 200 OK\r\nContent-Type: application/vnd.cups-ppd\r\nContent-Length: " + std::to_string(ppd.size()) + "\r\n\r\n" + ppd);
            continue;
        }
        if (!letBodyCome(connection, head))
            return;
        if (head.find("transfer-encoding: chunked") != std::string::npos) {
            appendLine(record, "Send-Document");
            stalled->push_back(dup(connection));
            return;
        }
        std::string body;
        if (!readSizedBody(connection, head, &body) || !answerOperation(connection, body, record))
            return;
    }
}

// One connection of the refusing server: every request is read whole and refused.
void serveRefusals(int connection, const std::string& refusal)
{
    std::string head;
    std::string body;
    while (readRequest(connection, &head) && letBodyCome(connection, head) && readSizedBody(connection, head, &body) && body.size() >= 8
        && sendText(connection, ippAnswer(body.substr(4, 4), 0, refusal))) {
    }
}

std::string integerValue(int value)
{
    return std::string { static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8), static_cast<char>(value) };
}

// A successful IPP answer to the request whose id is requestID, of the groups given (each its
// tag, then its attributes already encoded).
std::string groupsAnswer(const std::string& requestID, const std::string& groups)
{
    std::string message { 2, 0, 0, 0 };
    message += requestID;
    message += '\x01';
    addAttribute(&message, '\x47', "attributes-charset", "utf-8");
    addAttribute(&message, '\x48', "attributes-natural-language", "en");
    message += groups + '\x03';
    return "HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nContent-Length: " + std::to_string(message.size()) + "\r\n\r\n" + message;
}

// The answer to a Get-Jobs: each job in a group of its own, held with its document.
std::string jobsAnswer(const std::string& requestID, const std::vector<FakeHttpServer::ListedJob>& jobs)
{
    std::string groups;
    for (const auto& job : jobs) {
        groups += '\x02';
        addAttribute(&groups, '\x21', "job-id", integerValue(job.id));
        addAttribute(&groups, '\x45', "job-printer-uri", job.printerURI);
        addAttribute(&groups, '\x42', "job-name", "report.pdf");
        addAttribute(&groups, '\x23', "job-state", integerValue(4));
        addAttribute(&groups, '\x44', "job-hold-until", job.refusal.empty() ? "indefinite" : "no-hold");
        addAttribute(&groups, '\x21', "number-of-documents", integerValue(1));
        if (!job.refusal.empty())
            addAttribute(&groups, '\x21', "time-at-processing", integerValue(1));
    }
    return groupsAnswer(requestID, groups);
}

// The answer to a Get-Notifications: an event for each refusal, as the server tells it.
std::string refusalsAnswer(const std::string& requestID, const std::vector<FakeHttpServer::ListedJob>& jobs)
{
    std::string groups;
    int sequence = 0;
    for (const auto& job : jobs) {
        if (job.refusal.empty())
            continue;
        groups += '\x07';
        addAttribute(&groups, '\x21', "notify-subscription-id", integerValue(1));
        addAttribute(&groups, '\x21', "notify-sequence-number", integerValue(++sequence));
        addAttribute(&groups, '\x21', "notify-job-id", integerValue(job.id));
        addAttribute(&groups, '\x41', "notify-text", job.refusal);
    }
    return groupsAnswer(requestID, groups);
}

// One connection of the listing server.
void serveListing(int connection, const std::vector<FakeHttpServer::ListedJob>& jobs, FakeHttpServer::QueueHold hold, const std::string& ppd)
{
    std::string head;
    std::string body;
    while (readRequest(connection, &head)) {
        if (head.rfind("get ", 0) == 0) {
            if (!ppd.empty()) {
                if (!sendText(connection, "HTTP/1.1 200 OK\r\nContent-Type: application/vnd.cups-ppd\r\nContent-Length: " + std::to_string(ppd.size()) + "\r\n\r\n" + ppd))
                    return;
                continue;
            }
            char buffer[4096];
            while (recv(connection, buffer, sizeof buffer, 0) > 0) {
            }
            return;
        }
        if (!letBodyCome(connection, head) || !readSizedBody(connection, head, &body) || body.size() < 8)
            return;
        int operation = static_cast<unsigned char>(body[2]) << 8 | static_cast<unsigned char>(body[3]);
        std::string requestID = body.substr(4, 4);
        std::string printer;
        if (operation == 0x000B && hold == FakeHttpServer::QueueHold::Indefinite)
            addAttribute(&printer, '\x44', "job-hold-until-default", "indefinite");
        std::string subscription { '\x06' };
        addAttribute(&subscription, '\x21', "notify-subscription-id", integerValue(1));
        std::string answer = operation == 0x000A ? jobsAnswer(requestID, jobs)
            : operation == 0x0016                ? groupsAnswer(requestID, subscription)
            : operation == 0x001C                ? refusalsAnswer(requestID, jobs)
                                                 : ippAnswer(requestID, 0, "", printer);
        if (!sendText(connection, answer))
            return;
    }
}

// One connection of the server that asks for passwords: a request without one is told to give
// one, and the connection closed, as cupsd does.
void servePasswordDemands(int connection, int record)
{
    std::string head;
    std::string body;
    while (readRequest(connection, &head) && write(record, head.data(), head.size()) == static_cast<ssize_t>(head.size())) {
        if (head.find("authorization: basic ") == std::string::npos) {
            sendText(connection, "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"CUPS\"\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
            return;
        }
        if (head.rfind("get ", 0) == 0) {
            if (!sendText(connection, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"))
                return;
            continue;
        }
        if (!letBodyCome(connection, head) || !readSizedBody(connection, head, &body) || body.size() < 8
            || !sendText(connection, ippAnswer(body.substr(4, 4), 0)))
            return;
    }
}

// The bytes of a client's connection both ways to address:port and back, until either side ends.
void relay(int connection, const std::string& address, int port)
{
    sockaddr_in server {};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<uint16_t>(port));
    int onward = socket(AF_INET, SOCK_STREAM, 0);
    if (inet_pton(AF_INET, address.c_str(), &server.sin_addr) == 1 && connect(onward, reinterpret_cast<sockaddr*>(&server), sizeof server) == 0) {
        pollfd ends[2] = { { connection, POLLIN, 0 }, { onward, POLLIN, 0 } };
        char buffer[16384];
        for (bool going = true; going && poll(ends, 2, -1) > 0;) {
            for (int side = 0; side < 2 && going; ++side) {
                if (!ends[side].revents)
                    continue;
                ssize_t count = recv(ends[side].fd, buffer, sizeof buffer, 0);
                going = count > 0 && sendText(ends[1 - side].fd, std::string(buffer, static_cast<size_t>(count)));
            }
        }
    }
    close(onward);
}

void serve(int connection, FakeHttpServer::Behaviour behaviour)
{
    const std::string ppdHead = "HTTP/1.1 200 OK\r\nContent-Type: application/vnd.cups-ppd\r\nConnection: close\r\n\r\n";
    switch (behaviour) {
    case FakeHttpServer::Behaviour::EndlessPPD: {
        // The connection stays open after the byte past the limit: a client that let that byte
        // through would wait for more, and end with another message than the limit's.
        std::string header = "*PPD-Adobe: \"4.3\"\n";
        if (!readRequest(connection) || !sendText(connection, ppdHead + header))
            return;
        std::string line = "*% " + std::string(4093, 'x') + "\n";
        for (size_t sent = header.size(); sent <= kLargestPPD; sent += line.size()) {
            if (!sendText(connection, line.substr(0, kLargestPPD + 1 - sent)))
                return;
        }
        char buffer[4096];
        while (recv(connection, buffer, sizeof buffer, 0) > 0) {
        }
        return;
    }
    case FakeHttpServer::Behaviour::Silent: {
        char buffer[4096];
        while (recv(connection, buffer, sizeof buffer, 0) > 0) {
        }
        return;
    }
    case FakeHttpServer::Behaviour::Trickling: {
        if (!readRequest(connection) || !sendText(connection, ppdHead))
            return;
        while (sendText(connection, "*"))
            usleep(100000);
        return;
    }
    case FakeHttpServer::Behaviour::Plain:
        while (readRequest(connection) && sendText(connection, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")) {
        }
        return;
    }
}

}

FakeHttpServer::~FakeHttpServer()
{
    if (m_child > 0) {
        kill(m_child, SIGKILL);
        waitpid(m_child, nullptr, 0);
    }
}

template<typename Serve>
bool FakeHttpServer::listen(const std::string& address, const std::string& network, Serve serve, uid_t owner)
{
    int portPipe[2];
    if (pipe(portPipe) != 0)
        return false;
    m_child = fork();
    if (m_child == 0) {
        close(portPipe[0]);
        alarm(kLifetimeSeconds);
        sockaddr_in bound {};
        bound.sin_family = AF_INET;
        socklen_t size = sizeof bound;
        int listener = -1;
        // The socket is the user's who makes it, whatever the process becomes later.
        const passwd* account = owner ? getpwuid(owner) : nullptr;
        bool dropped = owner == 0 || (account && setgroups(0, nullptr) == 0 && setgid(account->pw_gid) == 0 && setuid(owner) == 0);
        if (dropped && (network.empty() || TestNetwork::enter(network)) && inet_pton(AF_INET, address.c_str(), &bound.sin_addr) == 1)
            listener = socket(AF_INET, SOCK_STREAM, 0);
        if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&bound), sizeof bound) != 0 || ::listen(listener, 8) != 0
            || getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &size) != 0)
            _exit(1);
        unsigned short port = ntohs(bound.sin_port);
        if (write(portPipe[1], &port, sizeof port) != sizeof port)
            _exit(1);
        close(portPipe[1]);
        // One client at a time is all a test needs; each connection is served to its end.
        for (;;) {
            int connection = accept(listener, nullptr, nullptr);
            if (connection < 0)
                _exit(1);
            serve(connection);
            close(connection);
        }
    }
    close(portPipe[1]);
    unsigned short port = 0;
    bool started = m_child > 0 && read(portPipe[0], &port, sizeof port) == sizeof port;
    close(portPipe[0]);
    m_server = address + ":" + std::to_string(port);
    return started;
}

bool FakeHttpServer::start(Behaviour behaviour, const std::string& address, const std::string& network)
{
    return listen(address, network, [behaviour](int connection) { serve(connection, behaviour); });
}

bool FakeHttpServer::startRefusing(const std::string& refusal)
{
    return listen("127.0.0.1", "", [refusal](int connection) { serveRefusals(connection, refusal); });
}

bool FakeHttpServer::startListing(const std::vector<ListedJob>& jobs, QueueHold hold, const std::string& ppdPath)
{
    std::string ppd = ppdPath.empty() ? "" : fileContents(ppdPath);
    // The PPD is asked for on a connection of its own while the agent's stays open: each is served
    // by a process of its own.
    return listen("127.0.0.1", "", [jobs, hold, ppd](int connection) {
        if (fork() == 0) {
            serveListing(connection, jobs, hold, ppd);
            _exit(0);
        }
    });
}

bool FakeHttpServer::startAskingForPasswords(const std::string& user, const std::string& recordPath)
{
    const passwd* account = getpwnam(user.c_str());
    // Opened here, where the test's folders can be reached: the server may run as nobody.
    int record = open(recordPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    bool started = account && record >= 0
        && listen(
            "127.0.0.1", "", [record](int connection) { servePasswordDemands(connection, record); }, account->pw_uid);
    if (record >= 0)
        close(record);
    return started;
}

bool FakeHttpServer::startSwitching(const std::string& address, const std::string& network, int firstPort, int laterPort)
{
    return listen(address, network, [address, firstPort, laterPort, served = 0](int connection) mutable {
        relay(connection, address, served++ == 0 ? firstPort : laterPort);
    });
}

bool FakeHttpServer::startStallingPrinter(const std::string& ppdPath, const std::string& recordPath)
{
    std::string ppd = fileContents(ppdPath);
    if (ppd.empty())
        return false;
    return listen("127.0.0.1", "", [ppd, recordPath, stalled = std::vector<int>()](int connection) mutable {
        serveStallingPrinter(connection, ppd, recordPath, &stalled);
    });
}
