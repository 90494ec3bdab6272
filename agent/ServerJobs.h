// The agent's conversation with the CUPS server: the user's own jobs and what happens to a held
// one (UserJobs.h), what the queues' settings and the server's policy say (QueuePolicies.h), and
// the subscriptions that bring news of new jobs (JobSubscriptions.h). Every request goes over one
// connection that libcups reopens when the server closed it while it was idle; one that is lost
// is made again by the next request, and what was learnt of the queues is asked again.
#pragma once

#include "queues/CupsDestination.h"
#include "queues/cups/JobSubscriptions.h"
#include "queues/cups/QueuePolicies.h"
#include "queues/cups/UserJobs.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CupsConnection;

// Whether a request to stop the program ends the waits on the server: the agent's work, yes; its
// farewell to the server, which it does when asked to stop, no.
enum class StopRequest {
    EndsWaits,
    IsIgnored,
};

class ServerJobs {
public:
    explicit ServerJobs(std::string server, std::chrono::milliseconds timeout = kDefaultCupsTimeout, StopRequest stop = StopRequest::EndsWaits);
    ~ServerJobs();

    Reply connect(std::string* error);
    // The server went: the connection, and what was learnt of its queues, which it may have
    // changed by the time it is back.
    void disconnect();
    // The connection closed while the agent sleeps; what was learnt of the queues is kept, and the
    // next request connects again.
    void rest();
    // The connection's socket, to watch while it is idle: the server closing it makes it
    // readable. -1 when not connected.
    int socket() const;
    // Whether the server runs on this machine (a socket, or a loopback address), as the last
    // connection found.
    bool isLocal() const { return m_local; }
    // "the CUPS server at ...", for messages, from the first connection on.
    const std::string& serverName() const { return m_serverName; }
    // The server as the passwords given to it are known by (ServerPasswords.h).
    std::string serverKey() const;
    CupsDestination destination(const std::string& queue) const { return { queue, m_server, m_timeout, m_stop == StopRequest::EndsWaits }; }

    // The user's jobs that are not completed, each once.
    Reply listJobs(std::vector<ServerJob>* jobs, std::string* error);
    // Whether the queue holds every new job until someone releases it
    // (job-hold-until-default=indefinite), as a queue set up for accounting does.
    Reply queueHoldsNewJobs(const std::string& queue, bool* holds, std::string* error);
    // Whether the queue takes a job from anyone who asks without proving who they are: the job
    // is then the user's whom the request names, and anyone may have made it in the user's
    // name. Each operation that creates a job (Print-Job, Create-Job, and Print-URI where the
    // queue has it) is sent to the queue as lp sends it, in the user's name and without
    // credentials, with a value the server refuses once it has let the request in: a server that
    // checks who asks refuses it for want of credentials, one that does not refuses the value, and
    // neither makes a job. (One that makes a job all the same has it cancelled at once.) The
    // answer holds for the connection it was learnt on: on one made since, the server may be
    // another, or run another policy, and it is asked again.
    Reply queueTakesJobsInAnyName(const std::string& queue, bool* takes, std::string* error);
    // Whether the queue shows jobs only to those who prove who they are (JobPrivacy.h), so that
    // nobody reads the codes of the user's jobs by giving the user's name: asked of Get-Jobs,
    // and of Get-Job-Attributes of job (a job of the user's on the queue). The answer holds for
    // the connection it was learnt on, as queueTakesJobsInAnyName's does.
    Reply queueShowsJobsOnlyToProvenUsers(const std::string& queue, int job, bool* onlyProven, std::string* error);
    // Sets every option on the held job and releases it, in one request (releaseJob).
    Reply release(int job, const std::vector<StandIn::TicketItem>& items, std::string* error);
    // Sets what the job carries for its printer's codes and releases it, in one request
    // (releaseJobWithCodes). The caller takes the codes out of *error
    // (QueueSettings::withoutCodes): a setting's value is a code's part, a digit of a PIN.
    Reply releaseWithCodes(int job, const std::vector<CodeSetting>& settings, std::string* error);
    Reply cancel(int job, std::string* error);

    // A subscription to the creation and state changes of every job on the server
    // (subscribeToJobs).
    Reply subscribe(Delivery delivery, std::chrono::seconds lease, int* subscription, std::string* error);
    Reply renew(int subscription, std::chrono::seconds lease, std::string* error);
    Reply unsubscribe(int subscription, std::string* error);
    // The events from sequence on (fetchNotifications).
    Reply notifications(int subscription, int sequence, Notifications* news, bool* gone, std::string* error);

private:
    // A request over the connection, made first when there is none; a connection lost on the way
    // is let go.
    Reply ask(const std::function<Reply(CupsConnection&)>& request, std::string* error);
    // Whether the queue lets in a request of operation that offers no credentials; a job made of
    // it all the same is cancelled at once.
    Reply letsInAnonymous(const std::string& queue, JobCreation operation, bool* letsIn, std::string* error);
    // Which connection to the server this is: the first one counts 1, and each one made anew after.
    unsigned connectionNumber() const;

    std::string m_server;
    std::chrono::milliseconds m_timeout;
    StopRequest m_stop;
    // Null while not connected; a request connects again, the server's certificate checked as on
    // the first connection.
    std::unique_ptr<CupsConnection> m_connection;
    bool m_local { false };
    std::string m_serverName;
    // What the server said of each queue, until the agent connects again.
    std::map<std::string, bool> m_holdingQueues;
    // What the server's policy said of each queue, which holds for one connection: the server may
    // have started again with another policy, or be another server, on the next.
    struct PolicyAnswers {
        // The answer for queue learnt on connection, if there is one.
        const bool* find(const std::string& queue, unsigned connection);
        void remember(const std::string& queue, unsigned connection, bool answer);
        void clear() { answers.clear(); }

        unsigned learntOn { 0 };
        std::map<std::string, bool> answers;
    };
    PolicyAnswers m_queuesTakingAnyName;
    PolicyAnswers m_queuesShowingJobsToProvenUsers;
    // The connections made before the present one.
    unsigned m_earlierConnections { 0 };
};
