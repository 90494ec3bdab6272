#include "tests/cups/PrivateCupsServer.h"

#include "tests/support/GuideBlocks.h"

#include "queues/cups/IppMessage.h"

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sstream>
#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// The administrators' guide's lines that keep a job's codes out of what other users see of it,
// indented as in a policy.
std::string indentedPrivacyLines()
{
    std::istringstream lines(guidePrivacyLines());
    std::string indented;
    for (std::string line; std::getline(lines, line);)
        indented += "  " + line + "\n";
    return indented;
}

// Debian's own default policy, as a server left as installed runs it, with the guide's privacy
// lines in place of its own: anyone may create a job in any user's name, and an owner's operation
// is granted to whoever names the owner, but what other users see of a job is what the guide's
// lines alone leave them. Empty when Debian's cupsd.conf has no such policy.
std::string namesOnTrustPolicy()
{
    std::string debian = fileContents(PrivateCupsServer::kDebianConfiguration);
    const std::string privacy = "  JobPrivateAccess default\n  JobPrivateValues default\n";
    const std::string close = "</Policy>\n";
    size_t start = debian.find("<Policy default>\n");
    if (start == std::string::npos)
        return "";
    size_t end = debian.find(close, start);
    size_t lines = debian.find(privacy, start);
    if (end == std::string::npos || lines > end)
        return "";
    std::string policy = debian.substr(start, end + close.size() - start);
    policy.replace(lines - start, privacy.size(), indentedPrivacyLines());
    return policy;
}

// A server that lets only its administrators cancel: what a job left half-made meets when the
// server has gone.
std::string stubbornPolicy()
{
    return "<Policy stubborn>\n" + indentedPrivacyLines() + R"(  <Limit Create-Job Print-Job Print-URI Validate-Job>
    AuthType Default
    Require valid-user
    Order deny,allow
  </Limit>
  <Limit Cancel-Job Cancel-Jobs Cancel-My-Jobs Purge-Jobs>
    AuthType Default
    Require user @SYSTEM
    Order deny,allow
  </Limit>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
)";
}

// A server that lets nobody cancel a job, whoever asks: what the person's Cancel meets when the
// server refuses it.
std::string refusingCancelsPolicy()
{
    return "<Policy refusing-cancels>\n" + indentedPrivacyLines() + R"(  <Limit Cancel-Job>
    AuthType Default
    Require user nobody-at-all
    Order deny,allow
  </Limit>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
)";
}

// The attribute's values as CUPS writes them: "a,b" for two, an enum by its keyword.
std::string valueText(ipp_attribute_t* attribute)
{
    std::string value(ippAttributeString(attribute, nullptr, 0) + 1, '\0');
    ippAttributeString(attribute, value.data(), value.size());
    value.resize(value.size() - 1);
    return value;
}

// Every attribute but the server's clock (job-printer-up-time), so that the jobs seen before
// and after something are the same when nothing came of it, whenever the second turned.
void addAttributes(ipp_t* response, std::string& text)
{
    for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute; attribute = ippNextAttribute(response)) {
        if (ippGetName(attribute) && strcmp(ippGetName(attribute), "job-printer-up-time") != 0)
            text += std::string(ippGetName(attribute)) + "=" + valueText(attribute) + "\n";
    }
}

// Whether a reading of jobs proves who asks when the server asks it, as lpstat does, or offers
// nothing but a name.
enum class JobsReading {
    Proven,
    NameOnly,
};

// A request (taken) as any program may send it by hand, with document after it, offering no
// credentials even when the server asks for them: the answer, or null; *status says which.
IppMessage sentWithoutCredentials(http_t* http, IppMessage request, const std::string& resource, const std::string& document, ipp_status_t* status)
{
    httpClearFields(http);
    httpSetField(http, HTTP_FIELD_CONTENT_TYPE, "application/ipp");
    httpSetLength(http, ippLength(request.get()) + document.size());
    IppMessage response;
    http_status_t answer = HTTP_STATUS_ERROR;
    if (httpPost(http, resource.c_str()) == 0) {
        ipp_state_t state;
        while ((state = ippWrite(http, request.get())) != IPP_STATE_DATA && state != IPP_STATE_ERROR) {
        }
        if (state == IPP_STATE_DATA && (document.empty() || httpWrite2(http, document.data(), document.size()) == static_cast<ssize_t>(document.size())))
            while ((answer = httpUpdate(http)) == HTTP_STATUS_CONTINUE) {
            }
        if (answer == HTTP_STATUS_OK) {
            response.reset(ippNew());
            while ((state = ippRead(http, response.get())) != IPP_STATE_DATA && state != IPP_STATE_ERROR) {
            }
        } else {
            httpFlush(http);
        }
    }
    *status = response ? ippGetStatusCode(response.get()) : answer == HTTP_STATUS_UNAUTHORIZED ? IPP_STATUS_ERROR_NOT_AUTHENTICATED
                                                                                               : IPP_STATUS_ERROR_INTERNAL;
    return response;
}

// What the server shows of its jobs (and of job) to a request in name's name, proving who asks
// when the server asks it (as lpstat does), or never.
std::string jobsAsSeenHere(const std::string& server, const std::string& name, int job, JobsReading reading)
{
    std::string text;
    // A connection each: cupsd may close one on its demand for credentials.
    for (ipp_op_t operation : { IPP_OP_GET_JOBS, IPP_OP_GET_JOB_ATTRIBUTES }) {
        bool socket = server[0] == '/';
        // A server on another machine is asked over TLS, as the programs ask it.
        std::string host = socket ? server : server.substr(0, server.rfind(':'));
        bool loopback = socket || host == "localhost" || host.rfind("127.", 0) == 0;
        http_t* http = httpConnect2(host.c_str(), socket ? 0 : atoi(server.c_str() + server.rfind(':') + 1), nullptr, AF_UNSPEC,
            loopback ? HTTP_ENCRYPTION_IF_REQUESTED : HTTP_ENCRYPTION_ALWAYS, 1, 5000, nullptr);
        if (!http)
            return text + "cannot connect\n";
        httpSetTimeout(http, 10, nullptr, nullptr);
        IppMessage request = newIppRequest(operation);
        if (operation == IPP_OP_GET_JOBS) {
            ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
            ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
        } else {
            ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, ("ipp://localhost/jobs/" + std::to_string(job)).c_str());
        }
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, name.c_str());
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "all");
        ipp_status_t status;
        IppMessage response;
        if (reading == JobsReading::Proven) {
            response.reset(cupsDoRequest(http, request.release(), "/"));
            status = cupsLastError();
        } else {
            response = sentWithoutCredentials(http, std::move(request), "/", "", &status);
        }
        text += std::string(ippOpString(operation)) + ": " + ippErrorString(status) + "\n";
        addAttributes(response.get(), text);
        httpClose(http);
    }
    return text;
}

// What a command writes on its standard output.
std::string commandOutput(const std::string& command)
{
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t count; (count = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            text.append(buffer, count);
        pclose(pipe);
    }
    return text;
}

// The packages and those they depend on, as installing them brings them.
std::vector<std::string> withDependencies(const std::vector<std::string>& packages)
{
    std::vector<std::string> all = packages;
    for (const std::string& package : packages) {
        // "a (>= 1), b | c, d:any": the first of each choice, without versions and architectures.
        std::istringstream depends(commandOutput("dpkg-query -W -f='${Depends}' '" + package + "' 2>/dev/null"));
        for (std::string choice; std::getline(depends, choice, ',');) {
            std::istringstream words(choice);
            std::string name;
            words >> name;
            name = name.substr(0, name.find(':'));
            if (!name.empty())
                all.push_back(name);
        }
    }
    return all;
}

}

PrivateCupsServer* PrivateCupsServer::startForSuite(const Setup& setup, std::string* failure)
{
    if (geteuid() != 0 || access("/usr/sbin/cupsd", X_OK) != 0)
        return nullptr;
    auto* server = new PrivateCupsServer;
    if (!server->start(setup, failure)) {
        delete server;
        return nullptr;
    }
    return server;
}

bool PrivateCupsServer::start(const Setup& setup, std::string* error)
{
    std::string root = m_folder.root();
    for (const char* folder : { "spool", "tmp", "cache", "state", "log", "records", "out", "ssl", "bin/filter", "bin/backend" })
        m_folder.addFolder(folder);
    if (!writeConfiguration(setup, error))
        return false;
    m_folder.addFile("cups-files.conf", "ServerRoot " + root + "\nRequestRoot " + root + "/spool\nTempDir " + root + "/tmp\nCacheDir " + root + "/cache\nStateDir " + root + "/state\nServerBin " + root + "/bin\nErrorLog " + root + "/log/error_log\nAccessLog " + root + "/log/access_log\nPageLog " + root + "/log/page_log\nServerKeychain " + root + "/ssl\nCreateSelfSignedCerts yes\n" + "FileDevice Yes\nSystemGroup root\n");
    for (const char* filter : { "accounting-test-filter", "accounting-test-driver" }) {
        m_folder.addFile("bin/filter/" + std::string(filter), fileContents(TESTS_DIR "/cups/" + std::string(filter)));
        chmod((root + "/bin/filter/" + filter).c_str(), 0755);
    }
    // The printer of the queues of real drivers, which keeps each job's print data. Others may
    // read it, so the scheduler runs it as its own user (lp), as it runs a printer's backend.
    m_folder.addFile("bin/backend/print-data", fileContents(TESTS_DIR "/cups/print-data-backend"));
    chmod((root + "/bin/backend/print-data").c_str(), 0755);
    // Each example PPD with a test filter as its driver; network queues get the one that puts the
    // codes into the print data, as a Movra printer's driver does.
    const struct {
        const char* file;
        const char* example;
        const char* filter;
    } ppds[] = { { "movra", "Movra-RK7700", "accounting-test-filter" }, { "lumio", "Lumio-LP200", "accounting-test-filter" },
        { "lumio-codes", "Lumio-LP300", "accounting-test-filter" },
        { "movra-network", "Movra-RK7700", "accounting-test-driver" }, { "movra-plain", "Movra-RK7700", nullptr } };
    for (const auto& ppd : ppds) {
        std::string text = fileContents(EXAMPLES_DIR "/" + std::string(ppd.example) + ".ppd");
        if (ppd.filter)
            text.replace(text.find("*DefaultResolution"), 0, "*cupsFilter: \"text/plain 0 " + std::string(ppd.filter) + "\"\n");
        m_folder.addFile(ppd.file + std::string(".ppd"), text);
    }
    m_folder.addFile("document.txt", "A page to print.\n");
    for (const std::string& package : withDependencies(setup.filterPackages)) {
        std::istringstream files(commandOutput("dpkg -L '" + package + "' 2>/dev/null"));
        for (std::string file; std::getline(files, file);) {
            if (file.rfind("/usr/lib/cups/filter/", 0) == 0 && file.size() > 21)
                symlink(file.c_str(), (root + "/bin/filter/" + file.substr(21)).c_str());
        }
    }
    // The scheduler runs filters through its own helper, which lives in the standard folder.
    symlink("/usr/lib/cups/daemon", (root + "/bin/daemon").c_str());
    // Network queues print through CUPS's own ipp backend. The scheduler runs only a program that
    // root owns and nobody else may change, as the link's target is; and since others may read
    // it, as its own user (lp) rather than as root.
    symlink("/usr/lib/cups/backend/ipp", (root + "/bin/backend/ipp").c_str());
    // And its notifiers, whose D-Bus one rings the bus named in its environment.
    symlink("/usr/lib/cups/notifier", (root + "/bin/notifier").c_str());
    // And the driver programs of the installed driver packages, which give "lpadmin -m" a PPD of
    // theirs.
    symlink("/usr/lib/cups/driver", (root + "/bin/driver").c_str());
    if (setup.systemBus) {
        m_folder.addFolder("bus");
        if (!m_bus.start(m_folder.path("bus"), error))
            return false;
        std::ofstream(root + "/cups-files.conf", std::ios::app) << "SetEnv DBUS_SYSTEM_BUS_ADDRESS " << m_bus.address() << "\n";
    }
    // Every local user reaches the socket, as on a real system.
    chmod(root.c_str(), 0755);
    for (const char* shared : { "records", "out", "tmp" })
        chmod((root + "/" + shared).c_str(), 01777);

    if (!setup.accounts.empty()) {
        std::string passwd = fileContents("/etc/passwd");
        uid_t uid = 20000;
        for (const std::string& account : setup.accounts)
            passwd += account + ":x:" + std::to_string(uid++) + ":100::/nonexistent:/usr/sbin/nologin\n";
        m_folder.addFile("passwd", passwd);
        m_ownAccounts = true;
    }
    if (!setup.passwords.empty()) {
        // cupsd checks a Basic password through PAM's "cups" service; pam_exec hands the checker
        // the password on standard input, ended by a NUL, and the user in PAM_USER.
        changePasswords(setup.passwords);
        m_folder.addFile("check-password", "#!/bin/bash\nIFS= read -r -d '' password\ngrep -qxF \"$PAM_USER:$password\" \"$(dirname \"$0\")/passwords\"\n");
        chmod(path("check-password").c_str(), 0755);
        m_folder.addFile("pam-cups", "auth required pam_exec.so expose_authtok quiet " + path("check-password") + "\naccount required pam_permit.so\n");
        m_ownPasswords = true;
    }
    m_network = setup.network;
    m_environment = setup.environment;
    if (!launch(error))
        return false;
    if (setup.asDebianInstallsIt)
        return true;
    bool holding = !setup.holdingQueues
        || (addQueue("movra-hold", "movra", "", JobHold::Indefinite) && addQueue("lumio-hold", "lumio", "", JobHold::Indefinite));
    bool plain = setup.filterPackages.empty() || addQueue("movra-plain", "movra-plain");
    if (!addQueue("movra") || !addQueue("lumio", "lumio") || !holding || !plain) {
        *error = "the private CUPS server did not take the queue; its log: " + fileContents(root + "/log/error_log");
        return false;
    }
    return true;
}

bool PrivateCupsServer::writeConfiguration(const Setup& setup, std::string* error)
{
    if (setup.asDebianInstallsIt) {
        std::string debian = fileContents(kDebianConfiguration);
        for (const auto& [part, instead] : { std::pair<std::string, std::string> { "Listen /run/cups/cups.sock\n", "Listen " + socket() + "\n" },
                 { "Browsing Yes\n", "Browsing No\n" } }) {
            size_t at = debian.find(part);
            if (at == std::string::npos) {
                *error = std::string(kDebianConfiguration) + " has no line " + part.substr(0, part.size() - 1);
                return false;
            }
            debian.replace(at, part.size(), instead);
        }
        m_folder.addFile("cupsd.conf", debian);
        return true;
    }
    if (guidePolicyLine("JobPrivateAccess").empty() || guidePolicyLine("JobPrivateValues").empty() || guidePrivacyLines().empty()) {
        *error = "the administrators' guide's policy has no JobPrivateAccess or no JobPrivateValues line, or the guide no lines of privacy for Debian's policy";
        return false;
    }
    std::string policy = setup.owners == JobOwners::Authenticated ? guidePolicy() : namesOnTrustPolicy();
    if (policy.empty()) {
        *error = setup.owners == JobOwners::Authenticated ? "the administrators' guide has no <Policy default>"
                                                          : std::string(kDebianConfiguration) + " has no <Policy default> with Debian's privacy lines";
        return false;
    }
    for (const auto& [part, instead] : setup.policyChanges) {
        size_t at = policy.find(part);
        if (at == std::string::npos) {
            *error = "the administrators' guide's policy has no \"" + part + "\" to change";
            return false;
        }
        for (; at != std::string::npos; at = policy.find(part, at + instead.size()))
            policy.replace(at, part.size(), instead);
    }
    // A server on another machine is known by its address, and its certificate names it so.
    std::string listen = "Listen " + socket() + "\n"
        + (setup.listen.empty() ? "" : "Listen " + setup.listen + "\nServerName " + setup.listen.substr(0, setup.listen.rfind(':')) + "\n");
    m_folder.addFile("cupsd.conf", listen + "LogLevel warn\nAccessLogLevel all\nBrowsing No\nWebInterface No\nDefaultAuthType Basic\nMaxRequestSize " + std::to_string(kMaxRequestBytes) + "\n" + setup.configuration + (setup.configuration.find("<Location />") == std::string::npos ? "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n" : "") + "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n" + policy + stubbornPolicy() + refusingCancelsPolicy());
    return true;
}

void PrivateCupsServer::changePasswords(const std::vector<std::pair<std::string, std::string>>& passwords)
{
    std::string known;
    for (const auto& [user, password] : passwords)
        known += user + ":" + password + "\n";
    m_folder.addFile("passwords", known);
    chmod(path("passwords").c_str(), 0600);
}

bool PrivateCupsServer::launch(std::string* error)
{
    std::string root = m_folder.root();
    m_server = fork();
    if (m_server == 0) {
        if (!m_network.empty()) {
            int network = open(("/run/netns/" + m_network).c_str(), O_RDONLY | O_CLOEXEC);
            if (network < 0 || setns(network, CLONE_NEWNET) != 0)
                _exit(126);
        }
        if ((m_ownAccounts || m_ownPasswords)
            && (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                || (m_ownAccounts && mount(path("passwd").c_str(), "/etc/passwd", nullptr, MS_BIND, nullptr) != 0)
                || (m_ownPasswords && mount(path("pam-cups").c_str(), "/etc/pam.d/cups", nullptr, MS_BIND, nullptr) != 0)))
            _exit(125);
        for (const auto& [name, value] : m_environment)
            setenv(name.c_str(), value.c_str(), 1);
        execl("/usr/sbin/cupsd", "cupsd", "-f", "-c", (root + "/cupsd.conf").c_str(), "-s", (root + "/cups-files.conf").c_str(), nullptr);
        _exit(127);
    }
    for (int tries = 0; tries < 100 && access(socket().c_str(), F_OK) != 0; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (access(socket().c_str(), F_OK) != 0) {
        *error = "the private CUPS server did not come up; its log: " + fileContents(root + "/log/error_log");
        return false;
    }
    return true;
}

bool PrivateCupsServer::restart(std::string* error)
{
    stop();
    // The new server makes its socket anew; until it has, the old one's name must not answer.
    unlink(socket().c_str());
    return launch(error);
}

bool PrivateCupsServer::restart(const Setup& setup, std::string* error)
{
    stop();
    return writeConfiguration(setup, error) && restart(error);
}

void PrivateCupsServer::cancelAllJobs()
{
    system(("cancel -a -h '" + socket() + "' 2>/dev/null").c_str());
}

void PrivateCupsServer::stop()
{
    if (m_server > 0) {
        kill(m_server, SIGTERM);
        waitpid(m_server, nullptr, 0);
        m_server = -1;
    }
}

std::string PrivateCupsServer::ownPPD(const std::string& ppd) const
{
    return ppd.empty() ? "" : "-P '" + m_folder.path(ppd + ".ppd") + "'";
}

bool PrivateCupsServer::addQueue(const std::string& name, const std::string& ppd, const std::string& policy, JobHold hold)
{
    // A device's URI is of printable ASCII alone: a queue's name of other characters goes into it
    // in %XX.
    std::string file;
    for (unsigned char c : name) {
        char escaped[4];
        snprintf(escaped, sizeof escaped, "%%%02X", c);
        file += c > ' ' && c < 0x7F && c != '%' ? std::string(1, static_cast<char>(c)) : escaped;
    }
    return defineQueue(name, "file://" + m_folder.path("out/" + file + ".out"), ownPPD(ppd), policy, hold);
}

bool PrivateCupsServer::addNetworkQueue(const std::string& name, const std::string& device, JobHold hold)
{
    return defineQueue(name, device, ownPPD("movra-network"), "", hold);
}

bool PrivateCupsServer::addDriverQueue(const std::string& name, const std::string& driver, JobHold hold)
{
    return defineQueue(name, "print-data:" + m_folder.path("out"), "-m '" + driver + "'", "", hold);
}

std::string PrivateCupsServer::printData(int job) const
{
    return awaitJobState(job, "completed") ? fileContents(path("out/job-" + std::to_string(job) + ".prn")) : "";
}

bool PrivateCupsServer::addDriverlessQueue(const std::string& name, const std::string& uri, JobHold hold)
{
    // The server writes the PPD once the printer has answered, and lpadmin succeeds even when
    // the printer's answer makes none.
    std::string ppd = path("ppd/" + name + ".ppd");
    unlink(ppd.c_str());
    if (!defineQueue(name, uri, "-m everywhere", "", hold))
        return false;
    for (int tries = 0; tries < 200 && access(ppd.c_str(), F_OK) != 0; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return access(ppd.c_str(), F_OK) == 0;
}

bool PrivateCupsServer::defineQueue(const std::string& name, const std::string& device, const std::string& model, const std::string& policy, JobHold hold)
{
    std::string command = "lpadmin -h '" + socket() + "' -p " + name + " -E -v '" + device + "' " + model
        + (policy.empty() ? "" : " -o printer-op-policy=" + policy) + (hold == JobHold::Indefinite ? " -o job-hold-until-default=indefinite" : "")
        + " 2>/dev/null";
    return system(command.c_str()) == 0;
}

std::vector<std::string> PrivateCupsServer::printCommand(const std::string& queue) const
{
    return { PRINTDIALOG_PATH, "--printer", queue, "--server", socket(), "--file", path("document.txt") };
}

bool PrivateCupsServer::removeQueue(const std::string& name)
{
    return system(("lpadmin -h '" + socket() + "' -x " + name).c_str()) == 0;
}

std::string PrivateCupsServer::accessLog() const
{
    return fileContents(path("log/access_log"));
}

std::string PrivateCupsServer::driverOptions(int job) const
{
    std::string record = path("records/job-" + std::to_string(job) + ".options");
    for (int tries = 0; tries < 200 && access(record.c_str(), F_OK) != 0; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return fileContents(record);
}

std::string PrivateCupsServer::jobAttribute(int job, const char* name) const
{
    http_t* http = httpConnect2(socket().c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
    if (!http)
        return "";
    IppMessage request = newIppRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    std::string uri = "ipp://localhost/jobs/" + std::to_string(job);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    IppMessage response(cupsDoRequest(http, request.release(), "/"));
    ipp_attribute_t* attribute = response ? ippFindAttribute(response.get(), name, IPP_TAG_ZERO) : nullptr;
    std::string text = attribute ? valueText(attribute) : "";
    httpClose(http);
    return text;
}

bool PrivateCupsServer::awaitJobState(int job, const std::string& state) const
{
    for (int tries = 0; tries < 600; ++tries) {
        if (jobAttribute(job, "job-state") == state)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

namespace {

// What work gives, done by a process running as user, in the network namespace network when one
// is named (as on another machine).
std::string doneAs(const std::string& user, const std::function<std::string()>& work, const std::string& network = "")
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return "";
    pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        int space = network.empty() ? -1 : open(("/run/netns/" + network).c_str(), O_RDONLY | O_CLOEXEC);
        if (!network.empty() && (space < 0 || setns(space, CLONE_NEWNET) != 0))
            _exit(125);
        const passwd* account = getpwnam(user.c_str());
        if (!account || setgroups(0, nullptr) != 0 || setgid(account->pw_gid) != 0 || setuid(account->pw_uid) != 0)
            _exit(126);
        // libcups names the user it learnt of before the fork, and proves who asks in that name.
        cupsSetUser(account->pw_name);
        std::string text = work();
        bool written = write(pipeEnds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
        _exit(written ? 0 : 1);
    }
    close(pipeEnds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t count; (count = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(count));
    close(pipeEnds[0]);
    waitpid(child, nullptr, 0);
    return text;
}

// One Print-Job as a program may send it by hand: its document in the request, and no
// credentials offered even when the server asks for them. The job's number, as text.
std::string printedHere(const std::string& socket, const std::string& queue, const std::string& name)
{
    http_t* http = httpConnect2(socket.c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
    if (!http)
        return "";
    IppMessage request = newIppRequest(IPP_OP_PRINT_JOB);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, ("ipp://localhost/printers/" + queue).c_str());
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, name.c_str());
    ipp_status_t status;
    IppMessage response = sentWithoutCredentials(http, std::move(request), "/printers/" + queue, "A page to print.\n", &status);
    ipp_attribute_t* job = response ? ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER) : nullptr;
    std::string number = job ? std::to_string(ippGetInteger(job, 0)) : "";
    httpClose(http);
    return number;
}
}

std::string jobsAsSeenBy(const PrivateCupsServer& server, const std::string& user, int job)
{
    return doneAs(user, [&] { return jobsAsSeenHere(server.socket(), user, job, JobsReading::Proven); });
}

std::string jobsReadByNaming(const std::string& server, const std::string& user, const std::string& name, int job, const std::string& network)
{
    return doneAs(
        user, [&] { return jobsAsSeenHere(server, name, job, JobsReading::NameOnly); }, network);
}

int subscribedAs(const PrivateCupsServer& server, const std::string& user, const std::string& queue)
{
    return atoi(doneAs(user, [&] {
        http_t* http = httpConnect2(server.socket().c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
        if (!http)
            return std::string();
        IppMessage request = newIppRequest(IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS);
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, ("ipp://localhost/printers/" + queue).c_str());
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, user.c_str());
        ippAddString(request.get(), IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-pull-method", nullptr, "ippget");
        ippAddString(request.get(), IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-events", nullptr, "all");
        IppMessage response(cupsDoRequest(http, request.release(), "/"));
        ipp_attribute_t* id = response ? ippFindAttribute(response.get(), "notify-subscription-id", IPP_TAG_INTEGER) : nullptr;
        std::string number = id ? std::to_string(ippGetInteger(id, 0)) : "";
        httpClose(http);
        return number;
    }).c_str());
}

std::string notificationsSeenBy(const PrivateCupsServer& server, const std::string& user, int subscription)
{
    return doneAs(user, [&] {
        http_t* http = httpConnect2(server.socket().c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
        if (!http)
            return std::string("cannot connect\n");
        IppMessage request = newIppRequest(IPP_OP_GET_NOTIFICATIONS);
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, user.c_str());
        ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-ids", subscription);
        IppMessage response(cupsDoRequest(http, request.release(), "/"));
        std::string text = std::string("Get-Notifications: ") + ippErrorString(cupsLastError()) + "\n";
        addAttributes(response.get(), text);
        httpClose(http);
        return text;
    });
}

int printedWithoutCredentials(const PrivateCupsServer& server, const std::string& queue, const std::string& name, const std::string& user)
{
    return atoi(doneAs(user, [&] { return printedHere(server.socket(), queue, name); }).c_str());
}

int printedJobNumber(const std::string& transcript)
{
    size_t printed = transcript.find("printed job ");
    return printed == std::string::npos ? 0 : atoi(transcript.c_str() + printed + 12);
}
