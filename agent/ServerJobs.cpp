#include "agent/ServerJobs.h"

#include "queues/cups/CupsConnection.h"
#include "queues/QueueSettings.h"

ServerJobs::ServerJobs(std::string server, std::chrono::milliseconds timeout, StopRequest stop)
    : m_server(std::move(server))
    , m_timeout(timeout)
    , m_stop(stop)
{
}

ServerJobs::~ServerJobs() = default;

Reply ServerJobs::connect(std::string* error)
{
    rest();
    auto connection = std::make_unique<CupsConnection>();
    bool opened = connection->open(destination(""), error);
    m_serverName = connection->server();
    m_local = connection->isLocal();
    // The user's jobs are listed as theirs only to a request that proves who they are.
    if (opened && !connection->proveTheUser()) {
        *error = connection->failure();
        opened = false;
    }
    m_connection = opened ? std::move(connection) : nullptr;
    return opened ? Reply::Done : Reply::Lost;
}

std::string ServerJobs::serverKey() const
{
    return CupsConnection::key(m_server);
}

void ServerJobs::disconnect()
{
    rest();
    m_holdingQueues.clear();
    m_queuesTakingAnyName.clear();
    m_queuesShowingJobsToProvenUsers.clear();
}

void ServerJobs::rest()
{
    if (m_connection)
        m_earlierConnections += m_connection->connectionsMade();
    m_connection.reset();
}

const bool* ServerJobs::PolicyAnswers::find(const std::string& queue, unsigned connection)
{
    if (learntOn != connection)
        answers.clear();
    auto known = answers.find(queue);
    return known != answers.end() ? &known->second : nullptr;
}

void ServerJobs::PolicyAnswers::remember(const std::string& queue, unsigned connection, bool answer)
{
    if (learntOn != connection)
        answers.clear();
    learntOn = connection;
    answers[queue] = answer;
}

unsigned ServerJobs::connectionNumber() const
{
    return m_earlierConnections + (m_connection ? m_connection->connectionsMade() : 0);
}

int ServerJobs::socket() const
{
    return m_connection ? m_connection->socket() : -1;
}

Reply ServerJobs::ask(const std::function<Reply(CupsConnection&)>& request, std::string* error)
{
    if (!m_connection && connect(error) != Reply::Done)
        return Reply::Lost;
    Reply reply = request(*m_connection);
    if (reply == Reply::Lost)
        disconnect();
    return reply;
}

Reply ServerJobs::listJobs(std::vector<ServerJob>* jobs, std::string* error)
{
    return ask([&](CupsConnection& connection) { return listUsersJobs(connection, jobs, error); }, error);
}

Reply ServerJobs::queueHoldsNewJobs(const std::string& queue, bool* holds, std::string* error)
{
    if (auto known = m_holdingQueues.find(queue); known != m_holdingQueues.end()) {
        *holds = known->second;
        return Reply::Done;
    }
    Reply reply = ask([&](CupsConnection& connection) { return ::queueHoldsNewJobs(connection, queue, holds, error); }, error);
    if (reply == Reply::Done)
        m_holdingQueues[queue] = *holds;
    return reply;
}

Reply ServerJobs::queueTakesJobsInAnyName(const std::string& queue, bool* takes, std::string* error)
{
    if (const bool* known = m_queuesTakingAnyName.find(queue, connectionNumber())) {
        *takes = *known;
        return Reply::Done;
    }
    bool printURI = false;
    if (ask([&](CupsConnection& connection) { return queueHasPrintURI(connection, queue, &printURI, error); }, error) == Reply::Lost)
        return Reply::Lost;
    std::vector<JobCreation> creating { JobCreation::PrintJob, JobCreation::CreateJob };
    if (printURI)
        creating.push_back(JobCreation::PrintURI);
    unsigned learntOn = connectionNumber();
    *takes = false;
    for (JobCreation operation : creating) {
        bool letsIn = true;
        if (letsInAnonymous(queue, operation, &letsIn, error) == Reply::Lost)
            return Reply::Lost;
        *takes = *takes || letsIn;
    }
    // Learnt on the connections the probes went over; one made anew meanwhile asks again.
    if (connectionNumber() == learntOn)
        m_queuesTakingAnyName.remember(queue, learntOn, *takes);
    return Reply::Done;
}

Reply ServerJobs::queueShowsJobsOnlyToProvenUsers(const std::string& queue, int job, bool* onlyProven, std::string* error)
{
    if (const bool* known = m_queuesShowingJobsToProvenUsers.find(queue, connectionNumber())) {
        *onlyProven = *known;
        return Reply::Done;
    }
    if (!m_connection && connect(error) != Reply::Done)
        return Reply::Lost;
    unsigned learntOn = connectionNumber();
    bool ofTheQueue = true;
    bool ofTheJob = true;
    if (ask([&](CupsConnection& connection) { return probeQueueJobsShown(connection, queue, &ofTheQueue, error); }, error) == Reply::Lost
        || ask([&](CupsConnection& connection) { return probeJobShown(connection, queue, job, &ofTheJob, error); }, error) == Reply::Lost)
        return Reply::Lost;
    *onlyProven = ofTheQueue && ofTheJob;
    if (connectionNumber() == learntOn)
        m_queuesShowingJobsToProvenUsers.remember(queue, learntOn, *onlyProven);
    return Reply::Done;
}

Reply ServerJobs::letsInAnonymous(const std::string& queue, JobCreation operation, bool* letsIn, std::string* error)
{
    int made = 0;
    Reply reply = ask([&](CupsConnection& connection) { return probeAnonymousJob(connection, queue, operation, letsIn, &made, error); }, error);
    // A server that made a job of it all the same loses it at once.
    if (made > 0) {
        std::string ignored;
        cancel(made, &ignored);
    }
    return reply;
}

Reply ServerJobs::release(int job, const std::vector<StandIn::TicketItem>& items, std::string* error)
{
    Reply reply = ask([&](CupsConnection& connection) { return releaseJob(connection, job, items, error); }, error);
    if (reply != Reply::Done)
        *error = QueueSettings(items).withoutCodes(*error);
    return reply;
}

Reply ServerJobs::releaseWithCodes(int job, const std::vector<CodeSetting>& settings, std::string* error)
{
    return ask([&](CupsConnection& connection) { return releaseJobWithCodes(connection, job, settings, error); }, error);
}

Reply ServerJobs::cancel(int job, std::string* error)
{
    return ask([&](CupsConnection& connection) { return cancelJob(connection, job, error); }, error);
}

Reply ServerJobs::subscribe(Delivery delivery, std::chrono::seconds lease, int* subscription, std::string* error)
{
    *subscription = 0;
    return ask([&](CupsConnection& connection) { return subscribeToJobs(connection, delivery, lease, subscription, error); }, error);
}

Reply ServerJobs::renew(int subscription, std::chrono::seconds lease, std::string* error)
{
    return ask([&](CupsConnection& connection) { return renewSubscription(connection, subscription, lease, error); }, error);
}

Reply ServerJobs::unsubscribe(int subscription, std::string* error)
{
    return ask([&](CupsConnection& connection) { return cancelSubscription(connection, subscription, error); }, error);
}

Reply ServerJobs::notifications(int subscription, int sequence, Notifications* news, bool* gone, std::string* error)
{
    *gone = false;
    *news = Notifications { false, {}, {}, sequence, news->askAgainIn };
    return ask([&](CupsConnection& connection) { return fetchNotifications(connection, subscription, sequence, news, gone, error); }, error);
}
