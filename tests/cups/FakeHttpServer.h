// An HTTP server that misbehaves on purpose, in a process of its own: it answers every request
// for a printer's PPD the way a broken or hostile server might, takes a job and then stalls on
// its document, or refuses every request. It ends by itself after a few seconds, whatever the
// client does.
#pragma once

#include <string>
#include <vector>
#include <sys/types.h>

class FakeHttpServer {
public:
    enum class Behaviour {
        EndlessPPD, // "200 OK" and a PPD that never ends: one byte past 16 MiB of it, then no more
        Silent, // takes the request and never answers
        Trickling, // "200 OK" and a PPD, one byte every 100 ms
        Plain, // "200 OK" to everything, an upgrade to TLS included, which it never makes
    };

    FakeHttpServer() = default;
    ~FakeHttpServer();
    FakeHttpServer(const FakeHttpServer&) = delete;
    FakeHttpServer& operator=(const FakeHttpServer&) = delete;

    // Listens on address (port chosen by the system), in network namespace network if given.
    bool start(Behaviour behaviour, const std::string& address = "127.0.0.1", const std::string& network = "");
    // A printer on 127.0.0.1 that gives the PPD at ppdPath, answers Create-Job with job
    // kHeldJob, then takes a document's request in and never answers it. Each IPP operation
    // is appended to recordPath as a line: "Create-Job", "Send-Document", "Cancel-Job 7 purge"
    // (the job's number, and "purge" when asked to purge it), or "operation N".
    bool startStallingPrinter(const std::string& ppdPath, const std::string& recordPath);
    static constexpr int kHeldJob = 7;
    // A server on 127.0.0.1 that refuses every IPP request (client-error-not-possible) with
    // refusal as its status message, as a server may that quotes the options it refused.
    bool startRefusing(const std::string& refusal);
    // A server on 127.0.0.1 that lists jobs, for every Get-Jobs, as the user's own, held
    // indefinitely with their documents in, or held by the server for the printer's refusal;
    // says of every queue that it holds new jobs, or that it does not; gives a subscription, whose
    // events are the refusals alone; gives the PPD at ppdPath for every queue, or never answers a
    // request for one; and answers every other request with success alone. What a server that
    // lies, or stalls, puts before the agent.
    struct ListedJob {
        int id;
        std::string printerURI;
        // What the server said as it held the job for the printer's refusal ("" for none).
        std::string refusal {};
    };
    enum class QueueHold {
        Indefinite,
        None,
    };
    bool startListing(const std::vector<ListedJob>& jobs, QueueHold hold, const std::string& ppdPath = "");
    // A server on 127.0.0.1 that asks for a password as cupsd does where its policy wants one
    // (401, "WWW-Authenticate: Basic"), run by user (root, or an ordinary user who found the port
    // free): it takes any password, answers every IPP request with success alone and has no PPD.
    // The head of each request is appended to recordPath as it came, in lower case.
    bool startAskingForPasswords(const std::string& user, const std::string& recordPath);
    // A relay at address in network (port chosen by the system): its first connection goes on
    // to firstPort of the same address, every later one to laterPort, as when another machine
    // takes a server's address between two of a client's connections.
    bool startSwitching(const std::string& address, const std::string& network, int firstPort, int laterPort);
    // "ADDRESS:PORT", for --server.
    const std::string& server() const { return m_server; }

private:
    // owner: the user whose socket listens (root's by default).
    template<typename Serve>
    bool listen(const std::string& address, const std::string& network, Serve serve, uid_t owner = 0);

    pid_t m_child { -1 };
    std::string m_server;
};
