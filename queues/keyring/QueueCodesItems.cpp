// The queues' codes as items of the Secret Service: one per queue and server, of the product's
// own schema, so that a program that keeps other passwords for the same server never meets them.
#include "queues/keyring/QueueCodesItems.h"

#include "queues/keyring/QueueCodesSecret.h"
#include "queues/keyring/SecretServiceSession.h"
#include "queues/keyring/ServerPasswordItems.h"

#include "program/PrintableText.h"
#include "queues/QueueName.h"

namespace {

constexpr const char* kContentType = "text/plain";

const SecretSchema* queueCodesSchema()
{
    static const SecretSchema schema = [] {
        SecretSchema made {};
        made.name = "com.movra.accounting-pane.QueueCodes";
        made.flags = SECRET_SCHEMA_NONE;
        made.attributes[0] = { "server", SECRET_SCHEMA_ATTRIBUTE_STRING };
        made.attributes[1] = { "queue", SECRET_SCHEMA_ATTRIBUTE_STRING };
        return made;
    }();
    return &schema;
}

struct AttributesRelease {
    void operator()(GHashTable* attributes) const { g_hash_table_unref(attributes); }
};

struct ItemsRelease {
    void operator()(GList* items) const { g_list_free_full(items, g_object_unref); }
};
using FoundItems = std::unique_ptr<GList, ItemsRelease>;

struct SecretValueRelease {
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};
using SecretValuePtr = std::unique_ptr<SecretValue, SecretValueRelease>;

// The item of one queue on one server: its attributes, its label, and how messages name it.
class QueueItem {
public:
    QueueItem(const std::string& server, const std::string& queue)
        : m_server(server)
        , m_queue(foldedQueueName(queue))
    {
    }

    // What keeps the server and the queue from naming an item, in words that repeat neither;
    // empty when nothing does.
    std::string problem() const
    {
        if (std::string problem = cupsQueueNameProblem(m_queue); !problem.empty())
            return problem;
        if (m_server.empty())
            return "the server is not named";
        if (std::string problem = itemTextProblem(m_server); !problem.empty())
            return "the server's name " + problem;
        return "";
    }

    std::unique_ptr<GHashTable, AttributesRelease> attributes() const
    {
        return std::unique_ptr<GHashTable, AttributesRelease>(
            secret_attributes_build(queueCodesSchema(), "server", m_server.c_str(), "queue", m_queue.c_str(), nullptr));
    }

    // As a person finds it in the keyring's manager.
    std::string label() const { return "Printer accounting codes for " + m_queue + " on " + m_server; }

    // "the codes for movra on localhost:631"
    std::string codes() const { return "the codes for " + m_queue + " on " + printableText(m_server); }

private:
    std::string m_server;
    std::string m_queue;
};

std::string codesProblem(const QueueCodes& codes)
{
    if (std::string problem = queueCodeProblem(codes.userID); !problem.empty())
        return "the User ID " + problem;
    if (std::string problem = queueCodeProblem(codes.accountID); !problem.empty())
        return "the Account ID " + problem;
    for (const auto& [name, value] : codes.printerCodes) {
        if (std::string problem = printerCodeProblem(name, value); !problem.empty())
            return "a printer's code " + problem;
    }
    return "";
}

// The items of the queue, unlocked as the desktop's unlock prompt allows; those it does not stay
// locked. Null with the reason in *error when the search fails.
FoundItems findItems(SecretServiceSession& session, const QueueItem& item, SecretSearchFlags flags, std::string* error)
{
    auto attributes = item.attributes();
    GObjectPtr<GAsyncResult> searched = session.complete([&](GAsyncReadyCallback done, gpointer data) {
        secret_service_search(session.service(), queueCodesSchema(), attributes.get(), SecretSearchFlags(flags | SECRET_SEARCH_UNLOCK),
            session.cancellable(), done, data);
    });
    GError* problem = nullptr;
    FoundItems found(searched ? secret_service_search_finish(session.service(), searched.get(), &problem) : nullptr);
    GErrorPtr owned(problem);
    if (problem || !searched)
        *error = session.failure(problem);
    return found;
}

// Why keyring stayed locked: its unlock prompt was dismissed, or given up.
std::string lockedKeyring(const SecretServiceSession& session, const std::string& keyring)
{
    return session.givenUp() ? session.failure(nullptr) : keyring + " is locked, and the unlock prompt was dismissed";
}

// "the keyring item "Label" (/org/freedesktop/secrets/collection/login/3)"
std::string itemName(SecretItem* item)
{
    gchar* label = secret_item_get_label(item);
    std::string name = "the keyring item \"" + printableText(label ? label : "") + "\" (" + g_dbus_proxy_get_object_path(G_DBUS_PROXY(item)) + ")";
    g_free(label);
    return name;
}

bool available(std::chrono::milliseconds timeout, std::string* reason, bool* givenUp)
{
    SecretServiceSession session(timeout);
    bool answers = session.open(reason);
    *givenUp = session.givenUp();
    return answers;
}

bool store(const std::string& server, const std::string& queue, const QueueCodes& codes, std::chrono::milliseconds timeout, std::string* error)
{
    QueueItem item(server, queue);
    std::string problem = item.problem();
    if (problem.empty())
        problem = codesProblem(codes);
    if (!problem.empty()) {
        *error = "the codes cannot be stored in the keyring: " + problem;
        return false;
    }
    SecretServiceSession session(timeout);
    bool stored = session.open(&problem);
    if (stored) {
        QueueCodesSecret secret(codes);
        SecretValuePtr value(secret_value_new(secret.text().data(), static_cast<gssize>(secret.text().size()), kContentType));
        auto attributes = item.attributes();
        std::string label = item.label();
        GObjectPtr<GAsyncResult> storing = session.complete([&](GAsyncReadyCallback done, gpointer data) {
            secret_service_store(session.service(), queueCodesSchema(), attributes.get(), SECRET_COLLECTION_DEFAULT, label.c_str(), value.get(),
                session.cancellable(), done, data);
        });
        GError* failure = nullptr;
        stored = storing && secret_service_store_finish(session.service(), storing.get(), &failure);
        GErrorPtr owned(failure);
        if (!stored)
            problem = g_error_matches(failure, SECRET_ERROR, SECRET_ERROR_IS_LOCKED) ? lockedKeyring(session, "the default keyring") : session.failure(failure);
    }
    if (!stored)
        *error = item.codes() + " were not stored in the keyring: " + problem;
    return stored;
}

QueueCodesKeyring::Lookup read(const std::string& server, const std::string& queue, QueueCodes* codes, std::chrono::milliseconds timeout,
    std::string* error)
{
    QueueItem item(server, queue);
    if (std::string problem = item.problem(); !problem.empty()) {
        *error = "the codes cannot be read from the keyring: " + problem;
        return QueueCodesKeyring::Lookup::Failed;
    }
    SecretServiceSession session(timeout);
    std::string problem;
    FoundItems found;
    if (session.open(&problem))
        found = findItems(session, item, SECRET_SEARCH_LOAD_SECRETS, &problem);
    if (problem.empty() && !found)
        return QueueCodesKeyring::Lookup::NotFound;
    auto* first = found ? static_cast<SecretItem*>(found->data) : nullptr;
    if (problem.empty() && secret_item_get_locked(first))
        problem = lockedKeyring(session, "the keyring that holds them");
    if (!problem.empty()) {
        *error = item.codes() + " could not be read from the keyring: " + problem;
        return QueueCodesKeyring::Lookup::Failed;
    }
    SecretValuePtr value(secret_item_get_secret(first));
    gsize length = 0;
    const gchar* secret = value ? secret_value_get(value.get(), &length) : nullptr;
    if (!secret || !readQueueCodesSecret(std::string_view(secret, length), codes)) {
        *error = itemName(first) + " has the attributes of " + item.codes() + ", but its secret is not in this product's format, so it is not used";
        return QueueCodesKeyring::Lookup::Failed;
    }
    return QueueCodesKeyring::Lookup::Found;
}

bool forget(const std::string& server, const std::string& queue, std::chrono::milliseconds timeout, std::string* error)
{
    QueueItem item(server, queue);
    if (std::string problem = item.problem(); !problem.empty()) {
        *error = "the codes cannot be removed from the keyring: " + problem;
        return false;
    }
    SecretServiceSession session(timeout);
    std::string problem;
    FoundItems found;
    if (session.open(&problem))
        found = findItems(session, item, SECRET_SEARCH_ALL, &problem);
    bool locked = false;
    for (GList* each = found.get(); each && problem.empty(); each = each->next) {
        auto* stored = static_cast<SecretItem*>(each->data);
        if (secret_item_get_locked(stored)) {
            locked = true;
            continue;
        }
        GObjectPtr<GAsyncResult> deleting = session.complete(
            [&](GAsyncReadyCallback done, gpointer data) { secret_item_delete(stored, session.cancellable(), done, data); });
        GError* failure = nullptr;
        bool deleted = deleting && secret_item_delete_finish(stored, deleting.get(), &failure);
        GErrorPtr owned(failure);
        if (!deleted)
            problem = session.failure(failure);
    }
    if (problem.empty() && locked)
        problem = lockedKeyring(session, "the keyring that holds them") + ", so they stay in it";
    if (!problem.empty())
        *error = item.codes() + " were not removed from the keyring: " + problem;
    return problem.empty();
}

}

const KeyringModule* KeyringModuleEntry()
{
    static const KeyringModule module = { available, store, read, forget, storeServerPassword, readServerPassword, forgetServerPassword };
    return &module;
}
