// The queues' stored settings, as printdialog and the agent keep them: what is stored after a
// job or a Save (never the codes typed into the prompt), where, and for whom alone.
#include "tests/support/EnvironmentChanges.h"
#include "tests/support/LiveObjects.h"
#include "tests/support/ProgramRun.h"
#include "queues/QueueSettingsStore.h"
#include "tests/support/SettingsFileValues.h"
#include "tests/support/TemporaryTree.h"

#include <cstdlib>
#include <map>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string kClient = "com.pmvendor.printingmanager";

StandIn::TicketItem number(const std::string& key, SInt32 value)
{
    StandIn::TicketItem item;
    item.key = "com.movra.Act.trel." + key;
    item.client = kClient;
    item.integer = value;
    return item;
}

StandIn::TicketItem text(const std::string& key, const std::string& value)
{
    StandIn::TicketItem item;
    item.key = "com.movra.Act.trel." + key;
    item.client = kClient;
    item.isString = true;
    item.string = value;
    return item;
}

// The pane's seven entries as Sync writes them when the job goes on: with prompting on, the
// codes are the ones typed into the prompt; with it off, the default codes.
std::vector<StandIn::TicketItem> jobSettings(SInt32 prompt, const std::string& userID, const std::string& accountID)
{
    return { number("On", 3), text("UID", userID), text("AID", accountID), number("Prm", prompt), number("CU", 1), number("CA", 0),
        number("AT", 1) };
}

std::string modeOf(const std::string& path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return "none";
    char mode[8];
    snprintf(mode, sizeof mode, "%04o", info.st_mode & 07777);
    return mode;
}

class QueueSettingsStoreTest : public BalancedTest {
protected:
    // No session bus, so that the codes stay in the files as they do without a keyring, and the
    // machine's own keyring is never touched.
    QueueSettingsStoreTest()
    {
        m_session.unset("DBUS_SESSION_BUS_ADDRESS");
        m_session.set("XDG_RUNTIME_DIR", m_tree.path("runtime"));
    }

    // The queue's stored file read back as the dialog reads it, by the entries' last names
    // ("UID"); empty when it cannot be read.
    std::map<std::string, std::string> stored(const std::string& queue) const
    {
        std::map<std::string, std::string> values;
        for (const auto& [key, value] : settingsFileValues(m_store.pathOf({ queue, "" })))
            values[key.substr(key.rfind('.') + 1)] = value;
        return values;
    }

    // The name of the queue's stored file on the default server.
    std::string fileName(const std::string& queue) const
    {
        std::string path = m_store.pathOf({ queue, "" });
        return path.substr(path.rfind('/') + 1);
    }

    bool store(const std::string& queue, const std::vector<StandIn::TicketItem>& items)
    {
        std::string error;
        bool stored = storeIn(m_store, queue, items, &error);
        EXPECT_TRUE(stored) << error;
        return stored;
    }

    // As a job's settings are stored, on a desktop without a keyring (below).
    static bool storeIn(const QueueSettingsStore& store, const std::string& queue, const std::vector<StandIn::TicketItem>& items, std::string* error)
    {
        std::string note;
        return store.store({ queue, "" }, items, QueueSettingsStore::CodesChoice::AsBefore, error, &note);
    }

    TemporaryTree m_tree;
    EnvironmentChanges m_session;
    QueueSettingsStore m_store { m_tree.path("config/accounting-pane") };
};

TEST_F(QueueSettingsStoreTest, DefaultCodesAreStoredWithTheSettings)
{
    ASSERT_TRUE(store("movra", jobSettings(0, "alice", "4711")));
    EXPECT_EQ(stored("movra"), (std::map<std::string, std::string> { { "On", "3" }, { "Prm", "0" }, { "UID", "alice" }, { "AID", "4711" }, { "CU", "1" }, { "CA", "0" }, { "AT", "1" } }));
}

TEST_F(QueueSettingsStoreTest, CodesTypedIntoThePromptAreNeverStored)
{
    // No default codes yet: the stored settings ask for the codes and keep none.
    ASSERT_TRUE(store("movra", jobSettings(1, "typed-user", "typed-account")));
    auto first = stored("movra");
    EXPECT_EQ(first.count("UID"), 0u);
    EXPECT_EQ(first.count("AID"), 0u);
    EXPECT_EQ(first["Prm"], "1");
    EXPECT_EQ(fileContents(m_store.pathOf({ "movra", "" })).find("typed"), std::string::npos);

    // Default codes stored, then a job that asked for the codes: the defaults stay.
    ASSERT_TRUE(store("movra", jobSettings(0, "alice", "4711")));
    ASSERT_TRUE(store("movra", jobSettings(1, "typed-user", "typed-account")));
    auto second = stored("movra");
    EXPECT_EQ(second["Prm"], "1") << "the prompt stays on";
    EXPECT_EQ(second["UID"], "alice");
    EXPECT_EQ(second["AID"], "4711");
    EXPECT_EQ(fileContents(m_store.pathOf({ "movra", "" })).find("typed"), std::string::npos);

    // Prompting off again, the defaults of the job are the ones stored.
    ASSERT_TRUE(store("movra", jobSettings(0, "bob", "")));
    auto third = stored("movra");
    EXPECT_EQ(third["UID"], "bob");
    EXPECT_EQ(third["AID"], "");
}

TEST_F(QueueSettingsStoreTest, SettingsWithoutAnIntegerPromptEntryCountAsPrompting)
{
    // The pane reads an absent prompt entry, or one that is a string, as "ask for the codes".
    ASSERT_TRUE(store("movra", { number("On", 3), text("UID", "typed-user"), text("AID", "typed-account") }));
    std::vector<StandIn::TicketItem> stringPrompt = jobSettings(0, "typed-user", "typed-account");
    stringPrompt[3] = text("Prm", "0");
    ASSERT_TRUE(store("lumio", stringPrompt));
    for (const char* queue : { "movra", "lumio" }) {
        auto values = stored(queue);
        EXPECT_EQ(values["On"], "3") << queue;
        EXPECT_EQ(values.count("UID"), 0u) << queue;
        EXPECT_EQ(values.count("AID"), 0u) << queue;
    }
}

TEST_F(QueueSettingsStoreTest, EachQueueHasItsOwnFileAndCaseDoesNotMatter)
{
    EXPECT_EQ(m_store.pathOf({ "Office_2", "PrintHost:631" }), m_tree.path("config/accounting-pane/office_2@printhost:631.plist"));
    EXPECT_EQ(m_store.pathOf({ "office", "/run/cups@2/cups.sock" }), m_tree.path("config/accounting-pane/office@%2Frun%2Fcups%402%2Fcups.sock.plist"));
    EXPECT_FALSE(m_store.holds({ "office_2", "" }));
    ASSERT_TRUE(store("Office_2", jobSettings(0, "alice", "4711")));
    EXPECT_TRUE(m_store.holds({ "office_2", "" })) << "CUPS takes Office_2 and office_2 for one queue";
    EXPECT_FALSE(m_store.holds({ "movra", "" }));
    ASSERT_TRUE(store("movra", jobSettings(0, "bob", "1")));
    EXPECT_EQ(stored("office_2")["UID"], "alice");
    EXPECT_EQ(stored("movra")["UID"], "bob");
}

// Codes stored for one server's queue go to no other server's queue of the same name; a file an
// earlier version kept under the queue's name alone is the server's asked first, and no other's.
TEST_F(QueueSettingsStoreTest, StoredCodesBelongToOneServersQueue)
{
    const CupsDestination first { "lp300", "print-a.example.com:631" };
    const CupsDestination second { "lp300", "print-b.example.com:631" };
    std::string error;
    std::string note;
    ASSERT_TRUE(m_store.store(first, jobSettings(0, "alice", "4711"), QueueSettingsStore::CodesChoice::AsBefore, &error, &note)) << error;
    EXPECT_TRUE(m_store.holds(first));
    EXPECT_FALSE(m_store.holds(second)) << "the other server's queue has nothing stored";
    ASSERT_TRUE(m_store.store(second, jobSettings(0, "carol", "5"), QueueSettingsStore::CodesChoice::AsBefore, &error, &note)) << error;
    auto codesOf = [this](const CupsDestination& destination) {
        QueueSettings settings;
        std::string problem;
        EXPECT_TRUE(m_store.load(
            destination, QueueSettingsStore::CodesRead::Always, [](const std::string&) {}, &settings, &problem))
            << problem;
        return settings.code(QueueSettings::Entry::UserID);
    };
    EXPECT_EQ(codesOf(first), "alice") << "each keeps its own";
    EXPECT_EQ(codesOf(second), "carol");

    const CupsDestination earlier { "office", "print-a.example.com:631" };
    ASSERT_TRUE(m_store.store(earlier, jobSettings(0, "dave", "7"), QueueSettingsStore::CodesChoice::AsBefore, &error, &note)) << error;
    ASSERT_EQ(rename(m_store.pathOf(earlier).c_str(), m_tree.path("config/accounting-pane/office.plist").c_str()), 0);
    const CupsDestination now { "office", "print-b.example.com:631" };
    EXPECT_EQ(codesOf(now), "dave") << "read for the server used now";
    EXPECT_EQ(access(m_tree.path("config/accounting-pane/office.plist").c_str(), F_OK), -1) << "and named for it";
    EXPECT_TRUE(m_store.holds(now));
    EXPECT_FALSE(m_store.holds(earlier)) << "no other server gets it after";
}

TEST_F(QueueSettingsStoreTest, ANameNoQueueCanHaveIsNeitherAPathNorStored)
{
    for (const std::string& bad : std::vector<std::string> { "", "../escape", "a/b", "a b", std::string(128, 'q') }) {
        EXPECT_EQ(m_store.pathOf({ bad, "" }), "") << bad;
        EXPECT_FALSE(m_store.holds({ bad, "" })) << bad;
        std::string error;
        EXPECT_FALSE(storeIn(m_store, bad, jobSettings(0, "alice", "4711"), &error)) << bad;
        EXPECT_EQ(error.rfind("the print settings cannot be stored for that queue: a CUPS queue name", 0), 0u) << error;
    }
    EXPECT_EQ(modeOf(m_tree.path("config")), "none") << "nothing was made";
    EXPECT_EQ(modeOf(m_tree.path("escape.plist")), "none");
}

TEST_F(QueueSettingsStoreTest, TheFoldersAreMadeForTheUserAloneAndTheFileIsTheirsAlone)
{
    // Whatever the user's umask lets through.
    mode_t previous = umask(0);
    bool stored = store("movra", jobSettings(0, "alice", "4711"));
    umask(previous);
    ASSERT_TRUE(stored);
    EXPECT_EQ(modeOf(m_tree.path("config")), "0700");
    EXPECT_EQ(modeOf(m_tree.path("config/accounting-pane")), "0700");
    EXPECT_EQ(modeOf(m_store.pathOf({ "movra", "" })), "0600");
    // Stored again: still one file, no temporary one left beside it.
    ASSERT_TRUE(store("movra", jobSettings(0, "alice", "4712")));
    EXPECT_EQ(modeOf(m_store.pathOf({ "movra", "" })), "0600");
    ProgramRun listing = runProgram({ "/bin/ls", "-A", m_store.folder() });
    EXPECT_EQ(listing.output, fileName("movra") + "\n");
}

TEST_F(QueueSettingsStoreTest, AnotherUserCannotReadTheStoredCodes)
{
    ASSERT_TRUE(store("movra", jobSettings(0, "alice", "secret-4711")));
    // Even with the folders on the way open to everyone, the file is its owner's alone.
    chmod(m_tree.root().c_str(), 0755);
    chmod(m_tree.path("config").c_str(), 0755);
    chmod(m_store.folder().c_str(), 0755);
    ProgramOptions asNobody;
    asNobody.user = "nobody";
    ProgramRun run = runProgram({ "/bin/cat", m_store.pathOf({ "movra", "" }) }, asNobody);
    EXPECT_NE(run.exitStatus, 0);
    EXPECT_EQ(run.output.find("secret"), std::string::npos) << run.output;
    EXPECT_NE(run.errors.find("Permission denied"), std::string::npos) << run.errors;

    // Opened to others by hand: the codes are still used, and a warning names the file.
    auto load = [this](std::vector<std::string>* warnings) {
        QueueSettings settings;
        std::string error;
        auto warn = [warnings](const std::string& warning) { warnings->push_back(warning); };
        EXPECT_TRUE(m_store.load({ "movra", "" }, QueueSettingsStore::CodesRead::WhenSent, warn, &settings, &error)) << error;
        return settings.codes();
    };
    std::vector<std::string> warnings;
    EXPECT_EQ(load(&warnings), (QueueCodes { "alice", "secret-4711" }));
    EXPECT_EQ(warnings, std::vector<std::string> {});
    // Readable by its group, or by everyone else.
    for (mode_t mode : { 0640, 0604 }) {
        SCOPED_TRACE(mode);
        warnings.clear();
        chmod(m_store.pathOf({ "movra", "" }).c_str(), mode);
        EXPECT_EQ(load(&warnings), (QueueCodes { "alice", "secret-4711" }));
        EXPECT_EQ(warnings, std::vector<std::string> { m_store.pathOf({ "movra", "" }) + ": other users may read the default codes kept in this file (chmod go-r)" });
    }
}

TEST_F(QueueSettingsStoreTest, AFolderOthersMayChangeOrOwnIsRefused)
{
    m_tree.addFolder("shared");
    QueueSettingsStore shared(m_tree.path("shared"));
    std::string error;
    // Everyone's, as /tmp is, or a group's.
    for (mode_t mode : { 01777, 0770 }) {
        chmod(m_tree.path("shared").c_str(), mode);
        SCOPED_TRACE(modeOf(m_tree.path("shared")));
        EXPECT_FALSE(storeIn(shared, "movra", jobSettings(0, "alice", "4711"), &error));
        EXPECT_EQ(error, m_tree.path("shared") + ": the stored print settings hold the default codes, and other users may change this folder (chmod go-w)");
        EXPECT_FALSE(shared.holds({ "movra", "" }));
    }
    // Another user's, which only its owner may change: the owner could read or replace the codes.
    const passwd* nobody = getpwnam("nobody");
    if (geteuid() == 0 && nobody) {
        chmod(m_tree.path("shared").c_str(), 0755);
        ASSERT_EQ(chown(m_tree.path("shared").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
        EXPECT_FALSE(storeIn(shared, "movra", jobSettings(0, "alice", "4711"), &error));
        EXPECT_EQ(error, m_tree.path("shared") + ": the stored print settings hold the default codes, and this folder belongs to another user");
        EXPECT_FALSE(shared.holds({ "movra", "" }));
    }

    m_tree.addFile("file");
    QueueSettingsStore notAFolder(m_tree.path("file"));
    EXPECT_FALSE(storeIn(notAFolder, "movra", jobSettings(0, "alice", "4711"), &error));
    EXPECT_EQ(error, m_tree.path("file") + ": the stored print settings need a folder here, and this is not one");
}

TEST_F(QueueSettingsStoreTest, AStoredFileThatCannotBeReadIsLeftAsItIs)
{
    const std::string hostile = "<plist><dict><key>com.movra.Act.trel.On</key><string>3";
    m_tree.addFile("config/accounting-pane/movra.plist", hostile);
    m_tree.addFolder("config/accounting-pane/lumio.plist");
    ASSERT_EQ(mkfifo(m_store.pathOf({ "other", "" }).c_str(), 0600), 0);
    for (const char* queue : { "movra", "lumio", "other" }) {
        EXPECT_TRUE(m_store.holds({ queue, "" })) << queue;
        for (SInt32 prompt : { 0, 1 }) {
            std::string error;
            EXPECT_FALSE(storeIn(m_store, queue, jobSettings(prompt, "typed", "typed"), &error)) << queue;
            EXPECT_EQ(error.rfind("the stored print settings cannot be read, so they are left as they are: " + m_store.pathOf({ queue, "" }) + ": ", 0), 0u)
                << error;
            EXPECT_EQ(error.find("typed"), std::string::npos) << error;
        }
    }
    EXPECT_EQ(fileContents(m_store.pathOf({ "movra", "" })), hostile);
    ProgramRun listing = runProgram({ "/bin/ls", "-A", m_store.folder() });
    EXPECT_EQ(listing.output, fileName("lumio") + "\n" + fileName("movra") + "\n" + fileName("other") + "\n") << "no temporary file is left";
}

TEST_F(QueueSettingsStoreTest, AStoredFileThatCannotBeReadIsSetAsideForAFreshStartAndNothingOfItIsLost)
{
    const std::string hostile = "<plist><dict><key>com.movra.Act.trel.On</key><string>3";
    m_tree.addFile("config/accounting-pane/movra.plist", hostile);
    std::string problem;
    EXPECT_FALSE(m_store.readable({ "movra", "" }, &problem));
    EXPECT_EQ(problem.rfind(m_store.pathOf({ "movra", "" }) + ": ", 0), 0u) << problem;
    EXPECT_TRUE(m_store.readable({ "lumio", "" }, &problem)) << "nothing stored reads as nothing";

    std::string first, second, error;
    ASSERT_TRUE(m_store.setAside({ "movra", "" }, &first, &error)) << error;
    EXPECT_EQ(first.rfind(m_store.pathOf({ "movra", "" }) + ".unreadable-", 0), 0u) << first;
    EXPECT_EQ(fileContents(first), hostile);
    EXPECT_FALSE(m_store.holds({ "movra", "" }));
    EXPECT_TRUE(store("movra", jobSettings(0, "alice", "4711"))) << "the queue starts afresh";
    // Set aside again within the same second: the first one kept is not replaced.
    m_tree.addFile("config/accounting-pane/" + fileName("movra"), hostile + "again");
    ASSERT_TRUE(m_store.setAside({ "movra", "" }, &second, &error)) << error;
    EXPECT_NE(second, first);
    EXPECT_EQ(fileContents(first), hostile);
    EXPECT_EQ(fileContents(second), hostile + "again");
}

TEST_F(QueueSettingsStoreTest, AnEntryThatPrintSettingsCannotHoldIsNotStored)
{
    ASSERT_TRUE(store("movra", jobSettings(0, "alice", "4711")));
    std::string error;
    EXPECT_FALSE(storeIn(m_store, "movra", jobSettings(0, std::string("al\0ice", 6), "4711"), &error));
    EXPECT_EQ(error, m_store.pathOf({ "movra", "" }) + ": cannot save: an entry is not text that print settings can hold");
    EXPECT_FALSE(storeIn(m_store, "movra", jobSettings(0, "al\x01ice", "4711"), &error));
    EXPECT_EQ(error.rfind(m_store.pathOf({ "movra", "" }) + ": cannot save: key \"com.movra.Act.trel.UID\"", 0), 0u) << error;
    EXPECT_EQ(error.find("ice"), std::string::npos) << "the code is not repeated: " << error;
    EXPECT_EQ(stored("movra")["UID"], "alice") << "the stored settings are as they were";
}

TEST(QueueSettingsStoreFolder, TheProductsFolderInTheUsersConfiguration)
{
    const char* savedConfig = getenv("XDG_CONFIG_HOME");
    std::optional<std::string> config = savedConfig ? std::optional<std::string>(savedConfig) : std::nullopt;
    std::string home = getenv("HOME") ? getenv("HOME") : "";
    setenv("HOME", "/home/alice", 1);
    setenv("XDG_CONFIG_HOME", "/srv/config", 1);
    EXPECT_EQ(QueueSettingsStore::defaultFolder(), "/srv/config/accounting-pane");
    setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ(QueueSettingsStore::defaultFolder(), "/home/alice/.config/accounting-pane") << "a relative one is ignored";
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(QueueSettingsStore::defaultFolder(), "/home/alice/.config/accounting-pane");
    setenv("HOME", home.c_str(), 1);
    if (config)
        setenv("XDG_CONFIG_HOME", config->c_str(), 1);
}

}
