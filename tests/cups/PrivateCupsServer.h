// A CUPS server of the tests' own: its own configuration, spool and keychain in a temporary folder,
// a socket there, no effect on any system CUPS. It runs the policy that the administrators' guide
// recommends (or, on request, Debian's as installed, or Debian's whole cupsd.conf and no queue),
// has file-device queues with the Movra PPD and a filter that records the options a driver would
// read, network queues that print through CUPS's own ipp backend (driverless ones too), queues of
// Debian's printer drivers whose printer keeps each job's print data, and answers IPP as any local
// user.
#pragma once

#include "tests/cups/PrivateSystemBus.h"
#include "tests/support/TemporaryTree.h"

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

// Why a test that needs a private server is skipped where startForSuite gives none.
constexpr const char* kNoPrivateCupsServer = "a private CUPS server needs root and cupsd (scripts/setup installs it; CI runs as root)";

class PrivateCupsServer {
public:
    // Who owns a job: the user the server authenticated (the administrators' guide's policy), or
    // whoever the request names (Debian's policy as installed, which lets any local user print in
    // another's name; with the guide's JobPrivateAccess and JobPrivateValues lines in place of
    // Debian's).
    enum class JobOwners {
        Authenticated,
        NamedInTheRequest,
    };

    struct Setup {
        // A network namespace to run in (see TestNetwork); empty: this one.
        std::string network;
        // An address and port to listen on besides the socket, as a remote server does.
        std::string listen;
        // Besides "movra" and "lumio", "movra-hold" and "lumio-hold", which hold every new job
        // as an administrator sets a queue up for the accounting agent.
        bool holdingQueues { false };
        // A system bus of its own, which the server's D-Bus notifier rings (see PrivateSystemBus).
        bool systemBus { false };
        JobOwners owners { JobOwners::Authenticated };
        // The administrators' guide's policy as an administrator may have changed it: each pair a
        // part of it and what stands there instead, wherever it is. The server does not start with
        // a change that finds nothing to change.
        std::vector<std::pair<std::string, std::string>> policyChanges;
        // cupsd.conf lines after the server's own, whose settings they replace ("MaxClients 1000");
        // a <Location /> of theirs takes the place of the server's own, which lets anyone in (cupsd
        // would merge the two).
        std::string configuration;
        // Login names the server knows besides the system's, as a server of many desktops knows
        // their users: in a copy of /etc/passwd that only the server's process sees.
        std::vector<std::string> accounts;
        // Passwords the server takes for Basic authentication (user, password), checked through
        // PAM as Debian's cupsd checks them: its "cups" service is the server's own, seen only by
        // its process.
        std::vector<std::pair<std::string, std::string>> passwords;
        // Debian packages whose CUPS filters (and those of the packages they depend on) the
        // server gets besides the tests' own, as installing them gives a server its filters; the
        // "movra-plain" queue prints through them with the example PPD as it is.
        std::vector<std::string> filterPackages;
        // Set in the server's own environment (KRB5_KTNAME, the keytab of its Kerberos principal).
        std::vector<std::pair<std::string, std::string>> environment;
        // A fresh server as Debian installs it: its cupsd.conf (kDebianConfiguration) with only
        // the server's own socket in place of /run/cups/cups.sock and its queues announced to
        // nobody (Browsing No), and no queue, for the test to add as an administrator does. Its
        // localhost:631 is free only in a network of its own. listen, holdingQueues, owners,
        // policyChanges and configuration above do not apply to it.
        bool asDebianInstallsIt { false };
    };

    // Debian's cupsd.conf as it installs it, kept by cups-daemon for putting it back.
    static constexpr const char* kDebianConfiguration = "/usr/share/cups/cupsd.conf.default";

    // Whether a queue holds every new job until someone releases it
    // (job-hold-until-default=indefinite).
    enum class JobHold {
        None,
        Indefinite,
    };

    PrivateCupsServer() = default;
    ~PrivateCupsServer() { stop(); }
    PrivateCupsServer(const PrivateCupsServer&) = delete;
    PrivateCupsServer& operator=(const PrivateCupsServer&) = delete;

    bool start(const Setup& setup, std::string* error);
    // The server that one suite's tests share, started with setup: null where no server can
    // run here (not root, or no cupsd), and, with *failure saying why, where it would not start.
    static PrivateCupsServer* startForSuite(const Setup& setup, std::string* failure);
    void stop();
    // Cancels every job on the server, held or not, so that the next test meets only its own.
    void cancelAllJobs();
    // The passwords the server takes (Setup::passwords) from now on, as an administrator
    // changes them.
    void changePasswords(const std::vector<std::pair<std::string, std::string>>& passwords);
    // Stops the server and starts it again on the same socket, with its queues, jobs and
    // subscriptions, as a system restarts its CUPS.
    bool restart(std::string* error);
    // The same, the server's policy and configuration lines now setup's, as an administrator
    // changes them (the address, certificate and bus stay).
    bool restart(const Setup& setup, std::string* error);
    // DBUS_SYSTEM_BUS_ADDRESS for a program that listens to the server's bus; empty without one.
    const std::string& busAddress() const { return m_bus.address(); }
    const PrivateSystemBus& systemBus() const { return m_bus; }
    // A queue with the Movra PPD (or, for "lumio", another maker's; for "lumio-codes", another
    // maker's that asks for a user code and a locked print's password; with "", none: a raw
    // queue), optionally under a policy of the configuration's: "stubborn" lets only
    // administrators (root) cancel jobs, "refusing-cancels" lets nobody.
    bool addQueue(const std::string& name, const std::string& ppd = "movra", const std::string& policy = "", JobHold hold = JobHold::None);
    // A Movra queue whose device is a network printer (ipp://...), which CUPS's own ipp backend
    // prints to; its driver writes the job's codes into the print data
    // (tests/cups/accounting-test-driver), so that the printer can charge the job to them. Adding
    // it again points it to another device.
    bool addNetworkQueue(const std::string& name, const std::string& device, JobHold hold = JobHold::None);
    // A driverless queue for the IPP Everywhere printer at uri, as "lpadmin -m everywhere" makes
    // it: its PPD made by the server from what the printer says of itself (*cupsJobAccountId and
    // the like for a printer that asks for codes), its jobs printed through CUPS's own ipp
    // backend. False when the server made no PPD for it.
    bool addDriverlessQueue(const std::string& name, const std::string& uri, JobHold hold = JobHold::None);
    // A queue for a printer of one of Debian's driver packages, made as an administrator makes it
    // with "lpadmin -m DRIVER": its PPD the package's own (driver: a PPD's name as "lpinfo -m"
    // lists it, "openprinting-ppds:0/ppd/openprinting/Ricoh/...ppd"), its jobs printed through
    // the filters of Setup::filterPackages to a printer that keeps each job's print data
    // (printData).
    bool addDriverQueue(const std::string& name, const std::string& driver, JobHold hold = JobHold::None);
    bool removeQueue(const std::string& name);

    std::string socket() const { return m_folder.path("cups.sock"); }
    // The scheduler's process, whose CPU time a benchmark reads; -1 while it is not running.
    pid_t pid() const { return m_server; }
    // printdialog printing the server's test document on queue through the socket.
    std::vector<std::string> printCommand(const std::string& queue) const;
    std::string path(const std::string& relative) const { return m_folder.path(relative); }
    // Every request the server has taken, one line each with its operation and answer.
    std::string accessLog() const;
    // The options the driver's filter received for the job, once it has run; empty when it has
    // not run within 10 s.
    std::string driverOptions(int job) const;
    // What a job of a driver queue (addDriverQueue) sent to its printer, once it has printed; empty
    // when it has not completed within awaitJobState's time.
    std::string printData(int job) const;
    // A job attribute as the server shows it to the test's own user over IPP ("pending-held" for
    // a job-state); empty when the job has none.
    std::string jobAttribute(int job, const char* name) const;
    // Whether the job comes to state (a job-state as jobAttribute gives it) within 30 s: a job
    // printed through the server's filters and backend to a printer takes a few seconds alone,
    // and several times that beside a whole suite of servers, as long as the agent's session
    // waits for anything.
    bool awaitJobState(int job, const std::string& state) const;
    // The largest request the server takes: a document beyond it is refused while it is sent.
    static constexpr size_t kMaxRequestBytes = 1024 * 1024;

private:
    bool launch(std::string* error);
    bool writeConfiguration(const Setup& setup, std::string* error);
    // lpadmin's options for one of the server's own PPDs by name ("-P FILE"); none for "".
    std::string ownPPD(const std::string& ppd) const;
    // model: lpadmin's options that give the queue its PPD ("-P FILE", "-m everywhere" for one the
    // server makes from the printer's answer, "-m DRIVER"), or "" for none.
    bool defineQueue(const std::string& name, const std::string& device, const std::string& model, const std::string& policy, JobHold hold);

    TemporaryTree m_folder;
    std::string m_network;
    std::vector<std::pair<std::string, std::string>> m_environment;
    bool m_ownAccounts { false };
    bool m_ownPasswords { false };
    PrivateSystemBus m_bus;
    pid_t m_server { -1 };
};

// What the server shows user (a login name) of its jobs: every attribute of every job through
// Get-Jobs (requested-attributes all) and of job through Get-Job-Attributes, as "name=value" lines
// after each request's status line, the server's clock (job-printer-up-time) left out. The requests
// are made by a process running as user.
std::string jobsAsSeenBy(const PrivateCupsServer& server, const std::string& user, int job);

// What a process running as user reads of the server's jobs (every attribute, through Get-Jobs,
// and of job, through Get-Job-Attributes) by giving name's name and proving nothing, as any
// program may ask: the same lines as jobsAsSeenBy's. server: the socket, or HOST:PORT (over TLS
// unless on this machine); network: a network namespace to ask from (TestNetwork), as another
// machine asks.
std::string jobsReadByNaming(const std::string& server, const std::string& user, const std::string& name, int job, const std::string& network = "");

// A subscription of user's, made by a process running as user, to every event of queue; its
// number, or 0 when the server made none. And the events it has kept, as Get-Notifications gives
// them to user: every attribute, as jobsAsSeenBy's lines.
int subscribedAs(const PrivateCupsServer& server, const std::string& user, const std::string& queue);
std::string notificationsSeenBy(const PrivateCupsServer& server, const std::string& user, int subscription);

// A job made by a process running as user with one Print-Job in name's name, sent by hand without
// the credentials the server may ask for (as any program can); its number, 0 when the server
// refused it.
int printedWithoutCredentials(const PrivateCupsServer& server, const std::string& queue, const std::string& name, const std::string& user);

// The job of printdialog's "printed job N" line in a transcript; 0 when there is none.
int printedJobNumber(const std::string& transcript);
