// A print server's password as an item of the Secret Service, one per server and user, of the
// product's own schema: the password a person chose to remember when the server asked for it.
#include "queues/keyring/ServerPasswordItems.h"

#include "queues/keyring/QueueCodesSecret.h"
#include "queues/keyring/SecretServiceSession.h"

#include "program/PrintableText.h"

namespace {

const SecretSchema* serverPasswordSchema()
{
    static const SecretSchema schema = [] {
        SecretSchema made {};
        made.name = "com.movra.accounting-pane.ServerPassword";
        made.flags = SECRET_SCHEMA_NONE;
        made.attributes[0] = { "server", SECRET_SCHEMA_ATTRIBUTE_STRING };
        made.attributes[1] = { "user", SECRET_SCHEMA_ATTRIBUTE_STRING };
        return made;
    }();
    return &schema;
}

struct AttributesRelease {
    void operator()(GHashTable* attributes) const { g_hash_table_unref(attributes); }
};

// "the password of alice for print.example.com:631"
std::string passwordName(const std::string& server, const std::string& user)
{
    return "the password of " + printableText(user) + " for " + printableText(server);
}

std::string namingProblem(const std::string& server, const std::string& user)
{
    if (server.empty() || user.empty())
        return "the server or the user is not named";
    if (std::string problem = itemTextProblem(server); !problem.empty())
        return "the server's name " + problem;
    if (std::string problem = itemTextProblem(user); !problem.empty())
        return "the user's name " + problem;
    return "";
}

std::unique_ptr<GHashTable, AttributesRelease> attributesOf(const std::string& server, const std::string& user)
{
    return std::unique_ptr<GHashTable, AttributesRelease>(
        secret_attributes_build(serverPasswordSchema(), "server", server.c_str(), "user", user.c_str(), nullptr));
}

// Runs one libsecret call of the simple API on the session; false, with *problem, when it fails.
template<typename Start, typename Finish>
bool call(SecretServiceSession& session, Start start, Finish finish, std::string* problem)
{
    GObjectPtr<GAsyncResult> done = session.complete(start);
    GError* failure = nullptr;
    bool succeeded = done && finish(done.get(), &failure);
    GErrorPtr owned(failure);
    if (!succeeded)
        *problem = session.failure(failure);
    return succeeded;
}

}

bool storeServerPassword(const std::string& server, const std::string& user, const std::string& password, std::chrono::milliseconds timeout,
    std::string* error)
{
    std::string problem = namingProblem(server, user);
    if (problem.empty() && (password.empty() || !itemTextProblem(password).empty()))
        problem = "the password is empty or holds a control character";
    SecretServiceSession session(timeout);
    if (problem.empty() && session.open(&problem)) {
        auto attributes = attributesOf(server, user);
        std::string label = "Print server password of " + user + " for " + server;
        call(
            session,
            [&](GAsyncReadyCallback done, gpointer data) {
                secret_password_storev(serverPasswordSchema(), attributes.get(), SECRET_COLLECTION_DEFAULT, label.c_str(), password.c_str(),
                    session.cancellable(), done, data);
            },
            [](GAsyncResult* result, GError** failure) { return secret_password_store_finish(result, failure); }, &problem);
    }
    if (!problem.empty())
        *error = passwordName(server, user) + " was not stored in the keyring: " + problem;
    return problem.empty();
}

QueueCodesKeyring::Lookup readServerPassword(const std::string& server, const std::string& user, std::string* password,
    std::chrono::milliseconds timeout, std::string* error)
{
    std::string problem = namingProblem(server, user);
    SecretServiceSession session(timeout);
    gchar* found = nullptr;
    if (problem.empty() && session.open(&problem)) {
        auto attributes = attributesOf(server, user);
        call(
            session,
            [&](GAsyncReadyCallback done, gpointer data) {
                secret_password_lookupv(serverPasswordSchema(), attributes.get(), session.cancellable(), done, data);
            },
            [&](GAsyncResult* result, GError** failure) {
                found = secret_password_lookup_finish(result, failure);
                return !*failure;
            },
            &problem);
    }
    if (!problem.empty()) {
        *error = passwordName(server, user) + " could not be read from the keyring: " + problem;
        return QueueCodesKeyring::Lookup::Failed;
    }
    if (!found)
        return QueueCodesKeyring::Lookup::NotFound;
    *password = found;
    secret_password_free(found);
    return QueueCodesKeyring::Lookup::Found;
}

bool forgetServerPassword(const std::string& server, const std::string& user, std::chrono::milliseconds timeout, std::string* error)
{
    std::string problem = namingProblem(server, user);
    SecretServiceSession session(timeout);
    if (problem.empty() && session.open(&problem)) {
        auto attributes = attributesOf(server, user);
        call(
            session,
            [&](GAsyncReadyCallback done, gpointer data) {
                secret_password_clearv(serverPasswordSchema(), attributes.get(), session.cancellable(), done, data);
            },
            [](GAsyncResult* result, GError** failure) {
                secret_password_clear_finish(result, failure);
                return !*failure;
            },
            &problem);
    }
    if (!problem.empty())
        *error = passwordName(server, user) + " was not removed from the keyring: " + problem;
    return problem.empty();
}
