#include "queues/ServerPasswords.h"

#include "queues/CupsDestination.h"
#include "queues/KeyringModule.h"
#include "program/SecretWipe.h"

#include <chrono>
#include <cerrno>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>

namespace {

struct KnownPassword {
    std::string password;
    // Whether the keyring holds it, read from there or remembered.
    bool inKeyring { false };
    // The person chose to remember it: it goes to the keyring once the server has taken it.
    bool toRemember { false };
};

std::mutex gGuard;
PasswordAsker gAsker;
// By server key and user.
std::map<std::pair<std::string, std::string>, KnownPassword> gKnown;
// The servers whose keyring item was looked for: once is enough, found or not.
std::set<std::pair<std::string, std::string>> gKeyringRead;
// When the person last declined to give a server's password: a program that asks the server on
// and on (the watching agent) does not put the window back up at each request.
constexpr std::chrono::minutes kDeclinedFor { 5 };
std::map<std::pair<std::string, std::string>, std::pair<std::chrono::steady_clock::time_point, std::string>> gDeclined;

// A line of the program's own on standard error: the keyring's failure does not keep the password
// from being given, but the person should know that it was not remembered.
void tell(const std::string& line)
{
    fprintf(stderr, "%s: %s\n", program_invocation_short_name, line.c_str());
}

}

void setPasswordAsker(PasswordAsker asker)
{
    std::lock_guard<std::mutex> guard(gGuard);
    gAsker = std::move(asker);
}

bool passwordForServer(const std::string& serverKey, const PasswordQuestion& question, std::string* password, std::string* why)
{
    std::lock_guard<std::mutex> guard(gGuard);
    auto whose = std::make_pair(serverKey, question.user);
    if (auto known = gKnown.find(whose); known != gKnown.end()) {
        *password = known->second.password;
        return true;
    }
    std::string error;
    const KeyringModule* keyring = nullptr;
    if (!gKeyringRead.count(whose) && (keyring = keyringModule(&error))) {
        gKeyringRead.insert(whose);
        std::string stored;
        QueueCodesKeyring::Lookup found = keyring->readPassword(serverKey, question.user, &stored, kDefaultCupsTimeout, &error);
        if (found == QueueCodesKeyring::Lookup::Found) {
            gKnown[whose] = { stored, true };
            *password = stored;
            wipeSecret(stored);
            return true;
        }
        // Without anyone to ask, a keyring that cannot be read changes nothing the person can act on.
        if (found == QueueCodesKeyring::Lookup::Failed && gAsker)
            tell(error);
    }
    if (!gAsker)
        return false;
    auto now = std::chrono::steady_clock::now();
    if (auto declined = gDeclined.find(whose); declined != gDeclined.end() && now - declined->second.first < kDeclinedFor) {
        *why = declined->second.second;
        return false;
    }
    PasswordAnswer answer;
    if (!gAsker(question, &answer, why)) {
        gDeclined[whose] = { now, *why };
        return false;
    }
    gDeclined.erase(whose);
    gKnown[whose] = { answer.password, false, answer.remember };
    *password = answer.password;
    wipeSecret(answer.password);
    return true;
}

std::optional<std::chrono::seconds> passwordAskedAgainIn(const std::string& serverKey)
{
    std::lock_guard<std::mutex> guard(gGuard);
    auto now = std::chrono::steady_clock::now();
    std::optional<std::chrono::seconds> soonest;
    for (const auto& [whose, declined] : gDeclined) {
        auto left = std::chrono::ceil<std::chrono::seconds>(declined.first + kDeclinedFor - now);
        if (whose.first == serverKey && left.count() > 0 && (!soonest || left < *soonest))
            soonest = left;
    }
    return soonest;
}

void passwordAccepted(const std::string& serverKey, const std::string& user)
{
    std::lock_guard<std::mutex> guard(gGuard);
    auto known = gKnown.find({ serverKey, user });
    if (known == gKnown.end() || !known->second.toRemember)
        return;
    known->second.toRemember = false;
    std::string error;
    const KeyringModule* keyring = keyringModule(&error);
    known->second.inKeyring = keyring && keyring->storePassword(serverKey, user, known->second.password, kDefaultCupsTimeout, &error);
    if (!known->second.inKeyring)
        tell(error);
}

void passwordRefused(const std::string& serverKey, const std::string& user)
{
    std::lock_guard<std::mutex> guard(gGuard);
    auto known = gKnown.find({ serverKey, user });
    if (known == gKnown.end())
        return;
    std::string error;
    const KeyringModule* keyring = known->second.inKeyring ? keyringModule(&error) : nullptr;
    if (keyring && !keyring->forgetPassword(serverKey, user, kDefaultCupsTimeout, &error))
        tell(error);
    wipeSecret(known->second.password);
    gKnown.erase(known);
}

QueueCodesKeyring::Lookup passwordRemembered(const std::string& serverKey, const std::string& user, std::string* error)
{
    const KeyringModule* keyring = keyringModule(error);
    if (!keyring)
        return QueueCodesKeyring::Lookup::Failed;
    std::string stored;
    QueueCodesKeyring::Lookup found = keyring->readPassword(serverKey, user, &stored, kDefaultCupsTimeout, error);
    wipeSecret(stored);
    return found;
}
