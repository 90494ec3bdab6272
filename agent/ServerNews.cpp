#include "agent/ServerNews.h"

#include "program/PrintableText.h"
#include "program/ProcessGuards.h"
#include "program/Seconds.h"
#include "queues/ServerPasswords.h"

#include <algorithm>

namespace {

constexpr std::chrono::seconds kFirstReconnectWait { 1 };
// However often the bell rings, the events are asked for at most once in this interval on
// average; as many as the burst at once, so that a person's prints one after another are each
// taken up as they come, and only a flood of rings (another user's many jobs) waits its turn.
constexpr std::chrono::milliseconds kAskInterval { 50 };
constexpr int kAskBurst = 20;
// Cancelling the subscriptions at the end must not keep the agent past its second.
constexpr std::chrono::milliseconds kFarewellTimeout { 500 };
// How often this computer's connections to a server on another machine are looked at: a job sent
// from here is looked for within this, and the look costs the server nothing.
constexpr std::chrono::milliseconds kConnectionsLookInterval { 250 };
// However often this computer's connections change, jobs are listed for them at most this often.
constexpr std::chrono::seconds kShortestHintInterval { 1 };
// Without a subscription, the user's jobs are listed at this pace: a Get-Jobs costs a server on
// this machine next to nothing; one on another machine serves many desktops, and jobs sent from
// this computer are looked for as they go.
constexpr std::chrono::seconds kLocalListingInterval { 5 };
// The events of a server on this machine that rings no bell here are asked for this often: a
// print's connection to its socket is often over before a look at the connections sees it, and
// asking costs that server next to nothing.
constexpr std::chrono::seconds kUnbelledAskInterval { 1 };
constexpr std::chrono::seconds kRemoteListingInterval { 60 };
// A server that had no subscription to give is asked for one again this often.
constexpr std::chrono::seconds kSubscribeAgainInterval { 600 };

}

ServerNews::ServerNews(ServerJobs& server, const AgentOptions& options, const AgentTiming& timing, std::ostream& err)
    : m_server(server)
    , m_options(options)
    , m_timing(timing)
    , m_err(err)
{
}

ServerNews::Tidings ServerNews::start()
{
    std::string error;
    if (m_server.connect(&error) == Reply::Done)
        return resume();
    lost(error);
    return {};
}

std::chrono::seconds ServerNews::listingInterval() const
{
    return m_server.isLocal() ? kLocalListingInterval : kRemoteListingInterval;
}

void ServerNews::lost(const std::string& why)
{
    m_server.disconnect();
    // A wait that ended because the agent is to stop is no news of the server.
    if (interruptionRequested())
        return;
    m_askAt = m_renewAt = m_listAt = m_subscribeAt = std::nullopt;
    const std::string told = why.empty() ? m_server.serverName() + " has gone" : why;
    // Lost while trying it again: a server that takes the connection and fails its first request
    // is not back, and is tried less and less often like one that takes none.
    if (m_reconnectAt) {
        triedInVain(told);
        return;
    }
    m_reconnectWait = kFirstReconnectWait;
    m_toldWhy = told;
    m_err << "accounting-agent: " << printableText(m_toldWhy) << "; " << whatFollows() << "\n";
    m_reconnectAt = Clock::now() + m_reconnectWait;
}

void ServerNews::triedInVain(const std::string& why)
{
    m_reconnectWait = std::min(m_reconnectWait * 2, m_timing.longestReconnectWait);
    m_reconnectAt = Clock::now() + m_reconnectWait;
    // The same failure is told once; another (a server back with a certificate that is not
    // trusted) is news.
    if (why != m_toldWhy) {
        m_toldWhy = why;
        m_err << "accounting-agent: " << printableText(why) << "; trying again in " << inSeconds(m_reconnectWait) << "\n";
    }
}

// The server is tried again and again, but a password the person declined to give is not asked
// for again until its pause is over (ServerPasswords.h): until then each try fails the same way.
std::string ServerNews::whatFollows() const
{
    if (auto askedAgainIn = passwordAskedAgainIn(m_server.serverKey()))
        return "the password is asked for again in " + inSeconds(*askedAgainIn);
    return "trying again in " + inSeconds(m_reconnectWait) + ", then less and less often";
}

void ServerNews::reconnect(Tidings* tidings)
{
    std::string error;
    // A request may have found the server back already (the person's answer to a prompt).
    if (m_server.socket() < 0 && m_server.connect(&error) != Reply::Done) {
        // A try given up because the agent is to stop is no news of the server.
        if (interruptionRequested())
            return;
        triedInVain(error);
        return;
    }
    // Back once it answers: a failed request on the way has it tried again later (lost).
    Tidings resumed = resume();
    if (m_server.socket() < 0)
        return;
    m_err << "accounting-agent: " << m_server.serverName() << " is back\n";
    m_reconnectAt = std::nullopt;
    *tidings = resumed;
}

// Connected (again): the subscriptions, and everything listed anew.
ServerNews::Tidings ServerNews::resume()
{
    Tidings tidings;
    if (!m_server.isLocal())
        watchConnections();
    if (!(m_eventsSubscription ? ask(&tidings) : subscribe()))
        return tidings;
    tidings.listJobs = true;
    if (!m_server.isLocal() && !m_remoteTold && m_eventsSubscription) {
        m_err << "accounting-agent: " << m_server.serverName()
              << " is on another machine, whose events cannot reach this one: your jobs there are looked for as this computer sends them, and "
                 "others are seen within "
              << inSeconds(m_askInterval) << "\n";
        m_remoteTold = true;
    }
    return tidings;
}

bool ServerNews::subscribe()
{
    std::string error;
    m_sequence = 1;
    m_askAt = std::nullopt;
    Reply reply = m_server.subscribe(Delivery::Pull, m_timing.lease, &m_eventsSubscription, &error);
    if (reply == Reply::Lost) {
        lost(error);
        return false;
    }
    if (reply == Reply::Refused) {
        // A server that has given all the subscriptions it allows (many desktops on one server)
        // still lists the user's jobs.
        if (!m_subscriptionRefusalTold) {
            m_err << "accounting-agent: " << m_server.serverName() << " gives no subscription to its events (" << printableText(error)
                  << "): your jobs are listed every " << inSeconds(listingInterval())
                  << (m_server.isLocal() ? "" : ", and looked for as this computer sends them,") << " instead; a subscription is asked for again every "
                  << inSeconds(kSubscribeAgainInterval) << "\n";
            m_subscriptionRefusalTold = true;
        }
        m_listAt = Clock::now() + listingInterval();
        m_subscribeAt = Clock::now() + kSubscribeAgainInterval;
        return true;
    }
    m_listAt = m_subscribeAt = std::nullopt;
    m_askAt = Clock::now() + m_askInterval;
    m_renewAt = Clock::now() + m_timing.lease / 2;
    if (!m_server.isLocal() || !openBell())
        return true;
    reply = m_server.subscribe(Delivery::SystemBus, m_timing.lease, &m_bellSubscription, &error);
    if (reply == Reply::Lost) {
        lost(error);
        return false;
    }
    if (reply == Reply::Refused && !m_bellRefusalTold) {
        withoutTheBell(m_server.serverName() + " rings no bell on the system bus (" + printableText(error) + ")");
        m_bellRefusalTold = true;
    }
    return true;
}

// The bell rings only for a server on this machine; without it, the server's pace is the agent's
// for jobs sent from elsewhere, and this computer's connections to the server's socket tell of
// those sent from here.
bool ServerNews::openBell()
{
    std::string error;
    if (m_bell.isOpen() || m_bellRefusalTold)
        return m_bell.isOpen();
    if (!m_bell.open(&error)) {
        withoutTheBell(printableText(error));
        m_bellRefusalTold = true;
    }
    return m_bell.isOpen();
}

void ServerNews::withoutTheBell(const std::string& why)
{
    m_askInterval = paceOfAsking(m_askInterval);
    if (m_askAt)
        m_askAt = std::min(*m_askAt, Clock::now() + m_askInterval);
    m_err << "accounting-agent: " << why << "; jobs sent from this computer are looked for as they go, others are seen within "
          << inSeconds(m_askInterval) << "\n";
    watchConnections();
}

void ServerNews::watchConnections()
{
    m_connections.follow(m_server.socket());
    if (!m_lookAt)
        m_lookAt = Clock::now() + kConnectionsLookInterval;
}

std::chrono::seconds ServerNews::paceOfAsking(std::chrono::seconds serverSays) const
{
    return m_server.isLocal() && !m_bell.isOpen() ? std::min(serverSays, kUnbelledAskInterval) : serverSays;
}

// A subscription the server no longer knows (it expired, or the server forgot it) is made anew.
bool ServerNews::subscribeAgain()
{
    std::string ignored;
    for (int* subscription : { &m_eventsSubscription, &m_bellSubscription }) {
        if (*subscription)
            m_server.unsubscribe(*subscription, &ignored);
        *subscription = 0;
    }
    return subscribe();
}

bool ServerNews::renew()
{
    std::string error;
    for (int subscription : { m_eventsSubscription, m_bellSubscription }) {
        if (!subscription)
            continue;
        Reply reply = m_server.renew(subscription, m_timing.lease, &error);
        if (reply == Reply::Lost) {
            lost(error);
            return false;
        }
        if (reply == Reply::Refused)
            return subscribeAgain();
    }
    m_renewAt = Clock::now() + m_timing.lease / 2;
    return true;
}

ServerNews::Tidings ServerNews::catchUp()
{
    Tidings tidings;
    if (reachable())
        ask(&tidings);
    return tidings;
}

bool ServerNews::ask(Tidings* tidings)
{
    if (!m_eventsSubscription)
        return true;
    Notifications news;
    news.askAgainIn = m_askInterval;
    bool gone = false;
    std::string error;
    m_asksPaidUntil = std::max(m_asksPaidUntil, Clock::now()) + kAskInterval;
    Reply reply = m_server.notifications(m_eventsSubscription, m_sequence, &news, &gone, &error);
    if (reply == Reply::Lost) {
        lost(error);
        return false;
    }
    if (gone) {
        tidings->listJobs = true;
        return subscribeAgain();
    }
    m_askAt = Clock::now() + m_askInterval;
    if (reply == Reply::Refused) {
        // Without the events (a server that will not take the user for the subscription's owner),
        // the user's jobs are listed whenever the events would have been asked for. Told once.
        if (error != m_eventsRefusalTold)
            m_err << "accounting-agent: cannot get the server's events: " << printableText(error) << "; your jobs are listed instead\n";
        m_eventsRefusalTold = error;
        tidings->listJobs = true;
        return true;
    }
    m_eventsRefusalTold.clear();
    m_sequence = news.nextSequence;
    m_askInterval = paceOfAsking(news.askAgainIn);
    m_askAt = Clock::now() + m_askInterval;
    tidings->listJobs = tidings->listJobs || news.heldJobSeen;
    tidings->accountRefusals.merge(news.accountRefusals);
    tidings->jobsTold.merge(news.jobsTold);
    return true;
}

void ServerNews::rest()
{
    if (m_server.isLocal() || m_server.socket() < 0)
        return;
    m_connections.follow(m_server.socket());
    m_server.rest();
}

void ServerNews::addDescriptors(std::vector<pollfd>& watched)
{
    m_connectionSlot = -1;
    if (m_bell.isOpen())
        watched.push_back({ m_bell.descriptor(), m_bell.events(), 0 });
    // Nothing is asked of the server while the agent waits: it closing the connection is the
    // only thing the connection can tell. To a server on another machine none is kept (rest).
    if (m_server.socket() >= 0 && m_server.isLocal()) {
        m_connectionSlot = static_cast<int>(watched.size());
        watched.push_back({ m_server.socket(), POLLIN | POLLRDHUP, 0 });
    }
}

int ServerNews::waitMilliseconds(std::optional<Clock::time_point> other) const
{
    std::vector<Clock::time_point> times;
    for (const auto& when : { m_askAt, m_renewAt, m_listAt, m_subscribeAt, m_lookAt, m_hintAt, m_reconnectAt, other }) {
        if (when)
            times.push_back(*when);
    }
    int wait = m_bell.timeout();
    if (!times.empty()) {
        auto until = std::chrono::ceil<std::chrono::milliseconds>(*std::min_element(times.begin(), times.end()) - Clock::now());
        int next = static_cast<int>(std::max<long>(0, until.count()));
        wait = wait < 0 ? next : std::min(wait, next);
    }
    return wait;
}

ServerNews::Tidings ServerNews::wake(const std::vector<pollfd>& watched)
{
    Tidings tidings;
    if (m_bell.isOpen()) {
        bool rang = false;
        std::string error;
        if (!m_bell.takeRings(&rang, &error))
            withoutTheBell(printableText(error));
        // An ask is due once the asks already made are paid for, but for the burst.
        if (rang && m_askAt)
            m_askAt = std::min(*m_askAt, std::max(Clock::now(), m_asksPaidUntil - (kAskBurst - 1) * kAskInterval));
    }
    Clock::time_point now = Clock::now();
    bool askNow = m_askAt && now >= *m_askAt;
    if (m_connectionSlot >= 0 && watched[static_cast<size_t>(m_connectionSlot)].revents) {
        // The server closes a connection that stayed idle, or is going: a new one tells whether it
        // is still there, and what it says of its queues is asked again.
        std::string error;
        m_server.disconnect();
        if (m_server.connect(&error) != Reply::Done)
            lost(error);
    } else if (m_reconnectAt && (m_server.socket() >= 0 || now >= *m_reconnectAt)) {
        reconnect(&tidings);
    }
    if (!reachable())
        return tidings;
    if (m_lookAt && now >= *m_lookAt) {
        if (m_server.socket() >= 0)
            m_connections.follow(m_server.socket());
        // However often the user's programs connect, their jobs are listed at most so often:
        // the first at once, and one more once the floor has passed.
        if (m_connections.changed() && !m_hintAt)
            m_hintAt = std::max(now, m_lastHintListing + kShortestHintInterval);
        m_lookAt = now + kConnectionsLookInterval;
    }
    if (m_hintAt && now >= *m_hintAt) {
        tidings.listJobs = true;
        m_lastHintListing = now;
        m_hintAt = std::nullopt;
    }
    if (m_renewAt && now >= *m_renewAt && !renew())
        return tidings;
    if (m_subscribeAt && now >= *m_subscribeAt) {
        m_subscribeAt = std::nullopt;
        if (!subscribe())
            return tidings;
        if (m_eventsSubscription) {
            m_err << "accounting-agent: " << m_server.serverName() << " gives a subscription to its events again\n";
            tidings.listJobs = true;
        }
    }
    if (m_listAt && now >= *m_listAt) {
        tidings.listJobs = true;
        m_listAt = now + listingInterval();
    }
    if (askNow)
        ask(&tidings);
    return tidings;
}

// Over a connection of its own: the one in use may be in any state.
void ServerNews::farewell()
{
    if (!m_eventsSubscription && !m_bellSubscription)
        return;
    ServerJobs server(m_options.server, kFarewellTimeout, StopRequest::IsIgnored);
    std::string error;
    if (server.connect(&error) != Reply::Done)
        return;
    for (int subscription : { m_eventsSubscription, m_bellSubscription }) {
        if (subscription)
            server.unsubscribe(subscription, &error);
    }
}
