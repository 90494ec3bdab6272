// The queues' default codes in the desktop's keyring, with a Secret Service of the test's own
// (PrivateSecretService.h): the item a person finds there, the codes read back and forgotten, and
// the keyrings that cannot give them: locked, absent, silent, or holding something else under
// the queue's name.
#include "queues/keyring/tests/PrivateSecretService.h"
#include "queues/QueueCodesKeyring.h"
#include "tests/support/TemporaryTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

void PrintTo(const QueueCodes& codes, std::ostream* out)
{
    *out << "{ \"" << codes.userID << "\", \"" << codes.accountID << "\"";
    for (const auto& [name, value] : codes.printerCodes)
        *out << ", " << name << ": \"" << value << "\"";
    *out << " }";
}

namespace {

using Clock = std::chrono::steady_clock;
using Lookup = QueueCodesKeyring::Lookup;

const std::string kServer = "localhost:631";
const std::string kSchema = "com.movra.accounting-pane.QueueCodes";
constexpr std::chrono::milliseconds kTimeout { 10000 };
// A call that fails at once still loads the module, and runs slower under the sanitizers.
constexpr std::chrono::milliseconds kAtOnce { 1000 };

// Filled in before a call that must leave it alone.
const QueueCodes kUntouched = { "untouched-user", "untouched-account" };

class KeyringTest : public ::testing::Test {
protected:
    enum class Session {
        NoBus,
        BusAlone,
        BusAndKeyring,
    };

    void start(Session session, PrivateSecretService::UnlockPrompt prompt = PrivateSecretService::UnlockPrompt::Dismissed)
    {
        if (std::string why = PrivateSecretService::unavailable(); !why.empty())
            GTEST_SKIP() << why;
        std::string error;
        if (session != Session::NoBus) {
            ASSERT_TRUE(m_session.startBus(&error, prompt)) << error;
        }
        if (session == Session::BusAndKeyring) {
            ASSERT_TRUE(m_session.startKeyring(&error)) << error;
        }
    }

    void SetUp() override { start(Session::BusAndKeyring); }

    bool store(const std::string& queue, const QueueCodes& codes, const std::string& server = kServer)
    {
        std::string error;
        bool stored = m_keyring.store(server, queue, codes, &error);
        EXPECT_TRUE(stored) << error;
        return stored;
    }

    // The codes read back; nothing when there are none or they cannot be read.
    std::optional<QueueCodes> read(const std::string& queue, const std::string& server = kServer)
    {
        QueueCodes codes;
        std::string error;
        Lookup lookup = m_keyring.read(server, queue, &codes, &error);
        EXPECT_NE(lookup, Lookup::Failed) << error;
        return lookup == Lookup::Found ? std::optional<QueueCodes>(codes) : std::nullopt;
    }

    TemporaryTree m_tree;
    PrivateSecretService m_session { m_tree };
    QueueCodesKeyring m_keyring { kTimeout };
};

class UnansweredPromptTest : public KeyringTest {
protected:
    void SetUp() override { start(Session::BusAndKeyring, PrivateSecretService::UnlockPrompt::Unanswered); }
};

class BusWithoutKeyringTest : public KeyringTest {
protected:
    void SetUp() override { start(Session::BusAlone); }
};

class NoSessionBusTest : public KeyringTest {
protected:
    void SetUp() override { start(Session::NoBus); }
};

TEST_F(KeyringTest, TheCodesAreOneItemThatAPersonRecognisesAndNoFileHoldsThem)
{
    std::string reason;
    EXPECT_TRUE(m_keyring.available(&reason)) << reason;
    ASSERT_TRUE(store("Movra", { "alice-7731", "acct-90210" }));
    std::vector<KeyringEntry> entries = m_session.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].label, "Printer accounting codes for movra on localhost:631");
    EXPECT_EQ(entries[0].attributes, (std::map<std::string, std::string> { { "xdg:schema", kSchema }, { "server", kServer }, { "queue", "movra" } }));
    EXPECT_EQ(entries[0].secret, kSchema + " 1\nUser ID: alice-7731\nAccount ID: acct-90210\n");
    EXPECT_EQ(read("MOVRA"), (QueueCodes { "alice-7731", "acct-90210" })) << "CUPS takes Movra and MOVRA for one queue";

    // Stored again: the item's codes change, and it stays the one item.
    ASSERT_TRUE(store("movra", { "bob-4455", "" }));
    EXPECT_EQ(m_session.entries().size(), 1u);
    EXPECT_EQ(read("movra"), (QueueCodes { "bob-4455", "" }));

    for (const char* code : { "alice-7731", "acct-90210", "bob-4455" })
        EXPECT_EQ(m_tree.filesHolding(code), std::vector<std::string> {}) << code;

    // A printer's own codes, one line each, in a format the programs that knew only the pane's
    // two refuse rather than read as theirs.
    QueueCodes printers { "", "", { { "UserCode", "13579" }, { "LockedPrintPassword", "2468" } } };
    ASSERT_TRUE(store("ricoh", printers));
    std::vector<KeyringEntry> items = m_session.entries();
    auto ricoh = std::find_if(items.begin(), items.end(), [](const KeyringEntry& item) { return item.attributes.at("queue") == "ricoh"; });
    ASSERT_NE(ricoh, items.end());
    EXPECT_EQ(ricoh->secret, kSchema + " 2\nUser ID: \nAccount ID: \nCode UserCode: 13579\nCode LockedPrintPassword: 2468\n");
    EXPECT_EQ(read("ricoh"), printers);
    EXPECT_EQ(m_tree.filesHolding("13579"), std::vector<std::string> {});
    std::string error;
    EXPECT_FALSE(m_keyring.store(kServer, "ricoh", { "", "", { { "User Code", "1" } } }, &error)) << "a name no code has";
}

TEST_F(KeyringTest, EachQueueOnEachServerHasItsOwnCodes)
{
    ASSERT_TRUE(store("movra", { "alice", "4711" }));
    ASSERT_TRUE(store("movra", { "alice-remote", "4712" }, "print.example.com:631"));
    ASSERT_TRUE(store("lumio", { "carol", "" }));
    EXPECT_EQ(read("movra"), (QueueCodes { "alice", "4711" }));
    EXPECT_EQ(read("movra", "print.example.com:631"), (QueueCodes { "alice-remote", "4712" }));
    EXPECT_EQ(read("lumio"), (QueueCodes { "carol", "" }));

    QueueCodes codes = kUntouched;
    std::string error;
    EXPECT_EQ(m_keyring.read(kServer, "office", &codes, &error), Lookup::NotFound) << error;
    EXPECT_EQ(m_keyring.read("/run/cups/cups.sock", "movra", &codes, &error), Lookup::NotFound) << error;
    EXPECT_EQ(codes, kUntouched);
}

TEST_F(KeyringTest, ForgettingAQueueRemovesItsItem)
{
    ASSERT_TRUE(store("movra", { "alice", "4711" }));
    ASSERT_TRUE(store("lumio", { "carol", "" }));
    std::string error;
    EXPECT_TRUE(m_keyring.forget(kServer, "Movra", &error)) << error;
    std::vector<KeyringEntry> entries = m_session.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].attributes["queue"], "lumio");
    EXPECT_EQ(read("movra"), std::nullopt);
    EXPECT_TRUE(m_keyring.forget(kServer, "movra", &error)) << "nothing left to forget is no error: " << error;
}

TEST_F(KeyringTest, ALockedKeyringWhoseUnlockIsDismissedGivesAndTakesNothing)
{
    ASSERT_TRUE(store("movra", { "alice", "4711" }));
    ASSERT_TRUE(m_session.lockDefaultKeyring());
    const std::string locked = "the keyring that holds them is locked, and the unlock prompt was dismissed";

    QueueCodes codes = kUntouched;
    std::string error;
    Clock::time_point start = Clock::now();
    EXPECT_EQ(m_keyring.read(kServer, "movra", &codes, &error), Lookup::Failed);
    EXPECT_EQ(error, "the codes for movra on localhost:631 could not be read from the keyring: " + locked);
    EXPECT_EQ(codes, kUntouched);
    EXPECT_FALSE(m_keyring.store(kServer, "movra", { "bob", "1" }, &error));
    EXPECT_EQ(error, "the codes for movra on localhost:631 were not stored in the keyring: the default keyring is locked, and the unlock prompt was dismissed");
    EXPECT_FALSE(m_keyring.forget(kServer, "movra", &error));
    EXPECT_EQ(error, "the codes for movra on localhost:631 were not removed from the keyring: " + locked + ", so they stay in it");
    EXPECT_LT(Clock::now() - start, 3 * kAtOnce) << "a dismissed prompt is an answer, not a wait for the timeout";

    std::vector<KeyringEntry> entries = m_session.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].locked);
}

TEST_F(KeyringTest, AnItemOfTheQueueInAnotherFormatIsRefusedByName)
{
    const std::string format = kSchema + " 1\n";
    const std::vector<std::string> foreign = {
        "alice:4711",
        "",
        kSchema + " 2\nUser ID: alice\nAccount ID: 4711\n",
        format + "User ID: alice\nAccount ID: 4711",
        format + "User ID: alice\nAccount ID: 4711\nNote: alice\n",
        format + "Account ID: 4711\nUser ID: alice\n",
        format + "User ID: " + std::string(80, 'a') + "\nAccount ID: 4711\n",
        format + "User ID: al\tice\nAccount ID: 4711\n",
        format + "User ID: al\xC3ice\nAccount ID: 4711\n",
    };
    const std::map<std::string, std::string> queueAttributes = { { "xdg:schema", kSchema }, { "server", kServer }, { "queue", "movra" } };
    for (const std::string& secret : foreign) {
        SCOPED_TRACE(secret);
        ASSERT_TRUE(m_session.addItem("Imported passwords", queueAttributes, secret));
        std::vector<KeyringEntry> entries = m_session.entries();
        ASSERT_EQ(entries.size(), 1u);
        QueueCodes codes = kUntouched;
        std::string error;
        EXPECT_EQ(m_keyring.read(kServer, "movra", &codes, &error), Lookup::Failed);
        EXPECT_EQ(error, "the keyring item \"Imported passwords\" (" + entries[0].path + ") has the attributes of the codes for movra on localhost:631, but its secret is not in this product's format, so it is not used");
        EXPECT_EQ(codes, kUntouched);
        EXPECT_TRUE(m_keyring.forget(kServer, "movra", &error)) << error;
        EXPECT_EQ(m_session.entries().size(), 0u);
    }
}

TEST_F(KeyringTest, CodesThatPrintSettingsCouldNotHoldAreRefusedBeforeTheKeyringIsAsked)
{
    // 79 bytes, in characters of two bytes and one.
    std::string longest;
    for (int i = 0; i < 39; ++i)
        longest += "\xC3\xA9";
    longest += "e";
    ASSERT_TRUE(store("movra", { longest, longest }));
    EXPECT_EQ(read("movra"), (QueueCodes { longest, longest }));

    struct Refusal {
        std::string server;
        std::string queue;
        QueueCodes codes;
        std::string reason;
    };
    const std::vector<Refusal> refusals = {
        { kServer, "movra", { longest + "e", "" }, "the User ID is longer than 79 bytes" },
        { kServer, "movra", { "", "", { { "UserCode", std::string(256, '7') } } }, "a printer's code is longer than 255 bytes" },
        { kServer, "movra", { "secret", "sec\nret" }, "the Account ID holds a control character" },
        { kServer, "movra", { std::string("sec\0ret", 7), "" }, "the User ID holds a control character" },
        { kServer, "movra", { "secret", "sec\xFFret" }, "the Account ID is not UTF-8 text" },
        { kServer, "a/b", { "secret", "" }, "a CUPS queue name holds no blank, control character, slash, backslash, question mark, quote or \"#\"" },
        { "", "movra", { "secret", "" }, "the server is not named" },
        { "local\x1Bhost", "movra", { "secret", "" }, "the server's name holds a control character" },
    };
    for (const Refusal& refusal : refusals) {
        std::string error;
        EXPECT_FALSE(m_keyring.store(refusal.server, refusal.queue, refusal.codes, &error));
        EXPECT_EQ(error, "the codes cannot be stored in the keyring: " + refusal.reason);
    }
    EXPECT_EQ(m_session.entries().size(), 1u);
    EXPECT_EQ(read("movra"), (QueueCodes { longest, longest }));
}

TEST_F(KeyringTest, WithoutABusAddressTheBusOfTheRuntimeFolderIsUsed)
{
    EnvironmentChanges environment;
    environment.unset("DBUS_SESSION_BUS_ADDRESS");
    std::string reason;
    EXPECT_TRUE(m_keyring.available(&reason)) << "systemd's user session puts its bus there: " << reason;
    ASSERT_TRUE(store("movra", { "alice", "4711" }));
    EXPECT_EQ(read("movra"), (QueueCodes { "alice", "4711" }));
}

TEST_F(NoSessionBusTest, NoSessionBusIsToldAtOnceAndNoneIsStarted)
{
    // GLib would run dbus-launch to start one.
    EnvironmentChanges environment;
    m_tree.addFile("bin/dbus-launch", "#!/bin/sh\ntouch '" + m_tree.path("autolaunched") + "'\nexit 1\n");
    chmod(m_tree.path("bin/dbus-launch").c_str(), 0755);
    environment.set("PATH", m_tree.path("bin"));
    environment.set("DISPLAY", ":0");
    // A socket "bus" in the runtime folder that another user made is no bus of the person's.
    sockaddr_un address { .sun_family = AF_UNIX, .sun_path = {} };
    std::string socketPath = std::string(getenv("XDG_RUNTIME_DIR")) + "/bus";
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    unlink(socketPath.c_str());
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(listener);
    ASSERT_EQ(chown(socketPath.c_str(), 65534, 65534), 0);
    const std::string noBus = "there is no session bus (DBUS_SESSION_BUS_ADDRESS is not set, and the runtime folder holds no bus socket)";

    std::string reason;
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(m_keyring.available(&reason));
    EXPECT_EQ(reason, noBus);
    QueueCodes codes = kUntouched;
    EXPECT_EQ(m_keyring.read(kServer, "movra", &codes, &reason), Lookup::Failed);
    EXPECT_EQ(reason, "the codes for movra on localhost:631 could not be read from the keyring: " + noBus);
    EXPECT_EQ(codes, kUntouched);
    EXPECT_FALSE(m_keyring.store(kServer, "movra", { "alice", "4711" }, &reason));
    EXPECT_EQ(reason, "the codes for movra on localhost:631 were not stored in the keyring: " + noBus);
    EXPECT_FALSE(m_keyring.forget(kServer, "movra", &reason));
    EXPECT_EQ(reason, "the codes for movra on localhost:631 were not removed from the keyring: " + noBus);
    EXPECT_LT(Clock::now() - start, kAtOnce);
    EXPECT_FALSE(std::filesystem::exists(m_tree.path("autolaunched")));
    unlink(socketPath.c_str());
}

TEST_F(BusWithoutKeyringTest, ASessionWithoutASecretServiceIsToldAtOnce)
{
    std::string reason;
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(m_keyring.available(&reason));
    EXPECT_EQ(reason, "no Secret Service answers on the session bus (The name org.freedesktop.secrets was not provided by any .service files)");
    QueueCodes codes = kUntouched;
    EXPECT_EQ(m_keyring.read(kServer, "movra", &codes, &reason), Lookup::Failed);
    EXPECT_EQ(reason.rfind("the codes for movra on localhost:631 could not be read from the keyring: no Secret Service answers", 0), 0u) << reason;
    EXPECT_EQ(codes, kUntouched);
    EXPECT_LT(Clock::now() - start, kAtOnce);
}

TEST_F(KeyringTest, AKeyringThatDoesNotAnswerIsGivenUpAtTheTimeout)
{
    ASSERT_TRUE(store("movra", { "alice", "4711" }));
    m_session.pauseKeyring();
    QueueCodesKeyring impatient(std::chrono::milliseconds(1000));
    std::string reason;
    QueueCodes codes = kUntouched;
    auto timed = [&](const auto& call, const std::string& what) {
        Clock::time_point start = Clock::now();
        EXPECT_FALSE(call()) << what;
        std::chrono::milliseconds elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        EXPECT_GE(elapsed.count(), 1000) << what;
        EXPECT_LT(elapsed.count(), 1000 + kAtOnce.count()) << what;
        EXPECT_NE(reason.find("the Secret Service did not answer within 1 s"), std::string::npos) << what << ": " << reason;
    };
    timed([&] { return impatient.available(&reason); }, "available");
    timed([&] { return impatient.read(kServer, "movra", &codes, &reason) == Lookup::Found; }, "read");
    timed([&] { return impatient.store(kServer, "movra", { "bob", "1" }, &reason); }, "store");
    timed([&] { return impatient.forget(kServer, "movra", &reason); }, "forget");
    EXPECT_EQ(codes, kUntouched);

    m_session.resumeKeyring();
    EXPECT_EQ(read("movra"), (QueueCodes { "alice", "4711" })) << "nothing was lost";
}

}

TEST_F(UnansweredPromptTest, AnUnlockPromptThatNobodyAnswersIsGivenUpAtTheTimeout)
{
    ASSERT_TRUE(store("movra", { "alice", "4711" }));
    ASSERT_TRUE(m_session.lockDefaultKeyring());
    QueueCodesKeyring impatient(std::chrono::milliseconds(1000));
    QueueCodes codes = kUntouched;
    std::string reason;
    Clock::time_point start = Clock::now();
    EXPECT_EQ(impatient.read(kServer, "movra", &codes, &reason), Lookup::Failed);
    EXPECT_EQ(reason, "the codes for movra on localhost:631 could not be read from the keyring: the Secret Service did not answer within 1 s");
    EXPECT_EQ(codes, kUntouched);
    EXPECT_FALSE(impatient.store(kServer, "movra", { "bob", "1" }, &reason));
    EXPECT_EQ(reason, "the codes for movra on localhost:631 were not stored in the keyring: the Secret Service did not answer within 1 s");
    EXPECT_FALSE(impatient.forget(kServer, "movra", &reason));
    EXPECT_EQ(reason, "the codes for movra on localhost:631 were not removed from the keyring: the Secret Service did not answer within 1 s");
    std::chrono::milliseconds elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    EXPECT_GE(elapsed.count(), 3000);
    EXPECT_LT(elapsed.count(), 3000 + kAtOnce.count());
    std::vector<KeyringEntry> entries = m_session.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].locked);
}
