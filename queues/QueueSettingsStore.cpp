#include "queues/QueueSettingsStore.h"

#include "queues/CupsPrinter.h"
#include "queues/QueueName.h"
#include "queues/SettingsFileWarnings.h"
#include "queues/StoredCodes.h"
#include "queues/TicketItems.h"

#include <PrintCore/PrintCore.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kProductFolder = "accounting-pane";
constexpr const char* kSettingsSuffix = ".plist";

std::string homeFolder()
{
    const char* home = getenv("HOME");
    if (home && home[0] == '/')
        return home;
    const passwd* account = getpwuid(getuid());
    return account && account->pw_dir ? account->pw_dir : "";
}

class SettingsTicket {
public:
    SettingsTicket() { PMTicketCreate(kCFAllocatorDefault, kPMPrintSettingsTicket, &m_ticket); }
    ~SettingsTicket()
    {
        if (m_ticket)
            PMRelease(m_ticket);
    }
    SettingsTicket(const SettingsTicket&) = delete;
    SettingsTicket& operator=(const SettingsTicket&) = delete;

    PMTicketRef get() const { return m_ticket; }

    bool put(const StandIn::TicketItem& item) { return putTicketItem(m_ticket, item); }

private:
    PMTicketRef m_ticket { nullptr };
};

// A stored file's entries, the last of a key given twice; *warnings (when given) gets what the file
// got away with.
bool readStored(const std::string& path, QueueSettings* settings, std::vector<std::string>* warnings, std::string* error)
{
    SettingsTicket ticket;
    StandIn::SettingsFileReading reading;
    if (StandIn::readSettingsFile(ticket.get(), path, error, &reading) != noErr)
        return false;
    if (warnings)
        *warnings = settingsFileWarnings(path, reading);
    *settings = QueueSettings(StandIn::ticketItems(ticket.get()));
    return true;
}

// Whether other users may read the file at path, in a folder they may pass through: the store
// writes its files for the user alone, and a file copied in or changed by hand may not be.
bool othersMayRead(const std::string& path)
{
    struct stat file;
    struct stat folder;
    if (stat(path.c_str(), &file) != 0 || stat(path.substr(0, path.rfind('/')).c_str(), &folder) != 0)
        return false;
    return ((file.st_mode & S_IRGRP) && (folder.st_mode & S_IXGRP)) || ((file.st_mode & S_IROTH) && (folder.st_mode & S_IXOTH));
}

}

std::string QueueSettingsStore::defaultFolder()
{
    const char* config = getenv("XDG_CONFIG_HOME");
    std::string base = config && config[0] == '/' ? config : homeFolder() + "/.config";
    return base + "/" + kProductFolder;
}

QueueSettingsStore::QueueSettingsStore(std::string folder)
    : m_folder(std::move(folder))
{
}

std::string QueueSettingsStore::pathOf(const CupsDestination& destination) const
{
    if (!cupsQueueNameProblem(destination.queue).empty())
        return "";
    std::string name = foldedQueueName(destination.queue) + "@";
    for (char c : cupsServerKey(destination.server)) {
        static const char hex[] = "0123456789ABCDEF";
        auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '%' || c == '@' || byte <= ' ' || byte == 0x7f)
            name += { '%', hex[byte >> 4], hex[byte & 15] };
        else
            name += c;
    }
    name += kSettingsSuffix;
    return name.size() > NAME_MAX ? "" : m_folder + "/" + name;
}

std::string QueueSettingsStore::adoptedPath(const CupsDestination& destination) const
{
    std::string path = pathOf(destination);
    struct stat info;
    if (path.empty() || lstat(path.c_str(), &info) == 0 || errno != ENOENT)
        return path;
    std::string earlier = m_folder + "/" + foldedQueueName(destination.queue) + kSettingsSuffix;
    // Never over a file that came meanwhile; a rename that fails leaves the earlier file where it
    // is, read from there this once.
    if (renameat2(AT_FDCWD, earlier.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0 && errno != ENOENT && errno != EEXIST)
        return earlier;
    return path;
}

bool QueueSettingsStore::prepareFolder(std::string* error) const
{
    const std::string& folder = m_folder;
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0700) == 0)
            chmod(part.c_str(), 0700);
        else if (errno != EEXIST) {
            *error = part + ": cannot make the folder for the stored print settings: " + strerror(errno);
            return false;
        }
        if (slash == std::string::npos)
            break;
    }
    struct stat info;
    if (stat(folder.c_str(), &info) != 0) {
        *error = folder + ": cannot use the folder for the stored print settings: " + strerror(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        *error = folder + ": the stored print settings need a folder here, and this is not one";
        return false;
    }
    if (info.st_uid != geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH))) {
        *error = folder + ": the stored print settings hold the default codes, and "
            + (info.st_uid != geteuid() ? "this folder belongs to another user" : "other users may change this folder (chmod go-w)");
        return false;
    }
    return true;
}

bool QueueSettingsStore::holds(const CupsDestination& destination) const
{
    std::string path = adoptedPath(destination);
    struct stat info;
    return !path.empty() && (lstat(path.c_str(), &info) == 0 || (errno != ENOENT && errno != ENOTDIR));
}

bool QueueSettingsStore::readable(const CupsDestination& destination, std::string* problem) const
{
    QueueSettings stored;
    return !holds(destination) || readStored(adoptedPath(destination), &stored, nullptr, problem);
}

bool QueueSettingsStore::setAside(const CupsDestination& destination, std::string* keptAs, std::string* error) const
{
    std::string path = adoptedPath(destination);
    char date[32];
    time_t now = time(nullptr);
    tm local {};
    strftime(date, sizeof date, "%Y%m%d-%H%M%S", localtime_r(&now, &local));
    std::string aside = path + ".unreadable-" + date;
    for (int tries = 1; tries <= 100; ++tries) {
        std::string candidate = tries == 1 ? aside : aside + "-" + std::to_string(tries);
        if (renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE) == 0) {
            *keptAs = candidate;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    *error = path + ": cannot be set aside: " + strerror(errno);
    return false;
}

bool QueueSettingsStore::load(const CupsDestination& destination, CodesRead read, const Warning& warn, QueueSettings* settings,
    std::string* error) const
{
    std::string path = adoptedPath(destination);
    std::vector<std::string> warnings;
    QueueSettings stored;
    if (!readStored(path, &stored, &warnings, error))
        return false;
    for (const std::string& warning : warnings)
        warn(warning);
    // The codes are used all the same: the person's print goes on, and hears how to mend it.
    if (!stored.codes().empty() && othersMayRead(path))
        warn(path + ": other users may read the default codes kept in this file (chmod go-r)");
    bool wanted = read == CodesRead::Always || stored.sendsStoredCodes();
    if (wanted && stored.codesPlace() == QueueSettings::CodesPlace::Keyring && !StoredCodes(destination, path).readInto(&stored, warn, error))
        return false;
    *settings = std::move(stored);
    return true;
}

bool QueueSettingsStore::store(const CupsDestination& destination, const std::vector<StandIn::TicketItem>& items, CodesChoice choice,
    std::string* error, std::string* note) const
{
    const std::string& queue = destination.queue;
    if (std::string problem = cupsQueueNameProblem(queue); !problem.empty()) {
        *error = "the print settings cannot be stored for that queue: " + problem;
        return false;
    }
    std::string path = pathOf(destination);
    if (path.empty()) {
        *error = "the print settings cannot be stored for that queue: the name of its server is too long for a file's name";
        return false;
    }
    if (!prepareFolder(error))
        return false;
    QueueSettings before;
    std::string problem;
    std::string from = adoptedPath(destination);
    if (holds(destination) && !readStored(from, &before, nullptr, &problem)) {
        *error = "the stored print settings cannot be read, so they are left as they are: " + problem;
        return false;
    }
    // The codes typed into the prompt were for one job; the stored ones stay the defaults.
    QueueSettings kept = QueueSettings(items).keptAfter(before);
    StoredCodes codes(destination, path);
    if (!codes.place(before, choice, &kept, error, note))
        return false;
    SettingsTicket after;
    for (const auto& item : kept.items()) {
        if (!after.put(item)) {
            *error = path + ": cannot save: an entry is not text that print settings can hold";
            return false;
        }
    }
    if (StandIn::writeSettingsFile(after.get(), path, error) != noErr)
        return false;
    // An earlier version's file that could not be renamed is this server's now: no other gets it.
    if (from != path)
        unlink(from.c_str());
    codes.leaveKeyring(before, kept, note);
    return true;
}

bool QueueSettingsStore::forget(const CupsDestination& destination, std::string* error) const
{
    const std::string& queue = destination.queue;
    if (std::string problem = cupsQueueNameProblem(queue); !problem.empty()) {
        *error = "no settings are stored for that queue: " + problem;
        return false;
    }
    std::string path = adoptedPath(destination);
    QueueSettings stored;
    std::string unreadable;
    bool known = holds(destination) && readStored(path, &stored, nullptr, &unreadable);
    if (!StoredCodes(destination, path).forget(known ? &stored : nullptr, error))
        return false;
    if (unlink(path.c_str()) != 0 && errno != ENOENT) {
        *error = path + ": cannot be removed: " + strerror(errno);
        return false;
    }
    return true;
}
