#include "ServerNews.h"

#include "PrintableText.h"
#include "ProcessGuards.h"

#include <algorithm>

namespace {

constexpr std::chrono::seconds kFirstReconnectWait { 1 };
// However often the bell rings, the events are asked for at most this often.
constexpr std::chrono::milliseconds kShortestAskInterval { 250 };
// Cancelling the subscriptions at the end must not keep the agent past its second.
constexpr std::chrono::milliseconds kFarewellTimeout { 500 };

std::string inSeconds(std::chrono::seconds wait)
{
    return std::to_string(wait.count()) + " s";
}

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

void ServerNews::fail(const std::string& why)
{
    m_err << "accounting-agent: " << printableText(why) << "\n";
    m_failed = true;
}

void ServerNews::lost(const std::string& why)
{
    m_server.disconnect();
    // A wait that ended because the agent is to stop is no news of the server.
    if (interruptionRequested())
        return;
    m_askAt = m_renewAt = std::nullopt;
    if (!m_reconnectAt) {
        m_reconnectWait = kFirstReconnectWait;
        m_toldWhy = why.empty() ? m_server.serverName() + " has gone" : why;
        m_err << "accounting-agent: " << printableText(m_toldWhy) << "; trying again in " << inSeconds(m_reconnectWait)
              << ", then less and less often\n";
    }
    m_reconnectAt = Clock::now() + m_reconnectWait;
}

void ServerNews::reconnect(Tidings* tidings)
{
    std::string error;
    if (m_server.connect(&error) != Reply::Done) {
        m_reconnectWait = std::min(m_reconnectWait * 2, m_timing.longestReconnectWait);
        m_reconnectAt = Clock::now() + m_reconnectWait;
        // The same failure is told once; another (a server back with a certificate that is not
        // trusted) is news.
        if (error != m_toldWhy) {
            m_toldWhy = error;
            m_err << "accounting-agent: " << printableText(error) << "; trying again in " << inSeconds(m_reconnectWait) << "\n";
        }
        return;
    }
    m_err << "accounting-agent: " << m_server.serverName() << " is back\n";
    m_reconnectAt = std::nullopt;
    *tidings = resume();
}

// Connected (again): the subscriptions, and everything listed anew.
ServerNews::Tidings ServerNews::resume()
{
    Tidings tidings;
    if (m_eventsSubscription ? ask(&tidings) : subscribe())
        tidings.listJobs = true;
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
    if (reply == Reply::Refused)
        fail("cannot subscribe to the server's events: " + error + "; jobs held from now on are seen when the agent starts again");
    else
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
        m_err << "accounting-agent: " << m_server.serverName() << " rings no bell on the system bus (" << printableText(error)
              << "); new jobs are seen within " << inSeconds(m_askInterval) << "\n";
        m_bellRefusalTold = true;
    }
    return true;
}

// The bell rings only for a server on this machine; without it, the server's pace is the agent's.
bool ServerNews::openBell()
{
    std::string error;
    if (m_bell.isOpen() || m_bellRefusalTold)
        return m_bell.isOpen();
    if (!m_bell.open(&error)) {
        m_err << "accounting-agent: " << printableText(error) << "; new jobs are seen within " << inSeconds(m_askInterval) << "\n";
        m_bellRefusalTold = true;
    }
    return m_bell.isOpen();
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

bool ServerNews::ask(Tidings* tidings)
{
    if (!m_eventsSubscription)
        return true;
    Notifications news;
    news.askAgainIn = m_askInterval;
    bool gone = false;
    std::string error;
    m_lastAsk = Clock::now();
    Reply reply = m_server.notifications(m_eventsSubscription, m_sequence, &news, &gone, &error);
    if (reply == Reply::Lost) {
        lost(error);
        return false;
    }
    if (gone) {
        tidings->listJobs = true;
        return subscribeAgain();
    }
    if (reply == Reply::Refused)
        m_err << "accounting-agent: cannot get the server's events: " << printableText(error) << "\n";
    m_sequence = news.nextSequence;
    m_askInterval = news.askAgainIn;
    m_askAt = Clock::now() + m_askInterval;
    tidings->listJobs = tidings->listJobs || news.heldJobSeen;
    tidings->accountRefusals.merge(news.accountRefusals);
    tidings->jobsTold.merge(news.jobsTold);
    return true;
}

void ServerNews::addDescriptors(std::vector<pollfd>& watched)
{
    m_bellSlot = m_connectionSlot = -1;
    if (m_bell.isOpen()) {
        m_bellSlot = static_cast<int>(watched.size());
        watched.push_back({ m_bell.descriptor(), m_bell.events(), 0 });
    }
    // Nothing is asked of the server while the agent waits: it closing the connection is the
    // only thing the connection can tell.
    if (connected()) {
        m_connectionSlot = static_cast<int>(watched.size());
        watched.push_back({ m_server.socket(), POLLIN | POLLRDHUP, 0 });
    }
}

int ServerNews::waitMilliseconds(std::optional<Clock::time_point> other) const
{
    std::vector<Clock::time_point> times;
    for (const auto& when : { m_askAt, m_renewAt, m_reconnectAt, other }) {
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
            m_err << "accounting-agent: " << printableText(error) << "; new jobs are seen within " << inSeconds(m_askInterval) << "\n";
        if (rang && m_askAt)
            m_askAt = std::min(*m_askAt, std::max(Clock::now(), m_lastAsk + kShortestAskInterval));
    }
    bool askNow = m_askAt && Clock::now() >= *m_askAt;
    if (m_connectionSlot >= 0 && watched[static_cast<size_t>(m_connectionSlot)].revents) {
        // The server closes a connection that stayed idle: a new one tells whether it is still there.
        std::string error;
        if (m_server.connect(&error) != Reply::Done)
            lost(error);
    } else if (!connected() && m_reconnectAt && Clock::now() >= *m_reconnectAt) {
        reconnect(&tidings);
    }
    if (!connected())
        return tidings;
    if (m_renewAt && Clock::now() >= *m_renewAt && !renew())
        return tidings;
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
