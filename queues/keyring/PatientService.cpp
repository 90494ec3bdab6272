#include "queues/keyring/PatientService.h"

namespace {

struct PatientService {
    SecretService parent;
};

struct PatientServiceClass {
    SecretServiceClass parent;
};

G_DEFINE_TYPE(PatientService, patient_service, SECRET_TYPE_SERVICE)

constexpr const char* kPromptInterface = "org.freedesktop.Secret.Prompt";

// One prompt, from "Prompt" to its "Completed" signal or the cancellation of the call.
struct PromptWait {
    GDBusConnection* connection { nullptr };
    GVariantType* resultType { nullptr };
    guint completedSignal { 0 };
    GSource* cancelled { nullptr };
    bool done { false };
};

void freePromptWait(gpointer data)
{
    auto* wait = static_cast<PromptWait*>(data);
    if (wait->resultType)
        g_variant_type_free(wait->resultType);
    g_object_unref(wait->connection);
    delete wait;
}

// Ends the prompt's task once, with its result or with error.
void endPrompt(GTask* task, GVariant* result, GError* error)
{
    auto* wait = static_cast<PromptWait*>(g_task_get_task_data(task));
    if (wait->done) {
        if (result)
            g_variant_unref(result);
        if (error)
            g_error_free(error);
        return;
    }
    wait->done = true;
    g_dbus_connection_signal_unsubscribe(wait->connection, wait->completedSignal);
    if (wait->cancelled)
        g_source_destroy(wait->cancelled);
    wait->cancelled = nullptr;
    if (result)
        g_task_return_pointer(task, result, reinterpret_cast<GDestroyNotify>(g_variant_unref));
    else
        g_task_return_error(task, error);
}

void promptCompleted(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters, gpointer data)
{
    auto* task = static_cast<GTask*>(data);
    auto* wait = static_cast<PromptWait*>(g_task_get_task_data(task));
    gboolean dismissed = FALSE;
    GVariant* result = nullptr;
    if (g_variant_is_of_type(parameters, G_VARIANT_TYPE("(bv)")))
        g_variant_get(parameters, "(bv)", &dismissed, &result);
    // A dismissed prompt answers with an empty result of the right type, which says "nothing done".
    if (result && (!wait->resultType || g_variant_is_of_type(result, wait->resultType)))
        endPrompt(task, result, nullptr);
    else {
        if (result)
            g_variant_unref(result);
        endPrompt(task, nullptr, g_error_new_literal(G_IO_ERROR, G_IO_ERROR_INVALID_DATA, "the Secret Service ended a prompt with a result of another kind"));
    }
}

void promptShown(GObject* connection, GAsyncResult* result, gpointer data)
{
    auto* task = static_cast<GTask*>(data);
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(connection), result, &error);
    if (reply)
        g_variant_unref(reply);
    else
        endPrompt(task, nullptr, error);
    g_object_unref(task);
}

gboolean promptGivenUp(GCancellable*, gpointer data)
{
    endPrompt(static_cast<GTask*>(data), nullptr, g_error_new_literal(G_IO_ERROR, G_IO_ERROR_CANCELLED, "the prompt was given up"));
    return G_SOURCE_REMOVE;
}

void patientPrompt(SecretService* service, SecretPrompt* prompt, const GVariantType* resultType, GCancellable* cancellable,
    GAsyncReadyCallback callback, gpointer data)
{
    GTask* task = g_task_new(service, cancellable, callback, data);
    g_task_set_source_tag(task, reinterpret_cast<gpointer>(patientPrompt));
    auto* wait = new PromptWait;
    wait->connection = G_DBUS_CONNECTION(g_object_ref(g_dbus_proxy_get_connection(G_DBUS_PROXY(prompt))));
    wait->resultType = resultType ? g_variant_type_copy(resultType) : nullptr;
    g_task_set_task_data(task, wait, freePromptWait);
    gchar* owner = g_dbus_proxy_get_name_owner(G_DBUS_PROXY(prompt));
    const gchar* path = g_dbus_proxy_get_object_path(G_DBUS_PROXY(prompt));
    wait->completedSignal = g_dbus_connection_signal_subscribe(wait->connection, owner, kPromptInterface, "Completed", path, nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE, promptCompleted, g_object_ref(task), g_object_unref);
    if (cancellable) {
        wait->cancelled = g_cancellable_source_new(cancellable);
        g_source_set_callback(wait->cancelled, G_SOURCE_FUNC(promptGivenUp), g_object_ref(task), g_object_unref);
        g_source_attach(wait->cancelled, g_main_context_get_thread_default());
        g_source_unref(wait->cancelled);
    }
    g_dbus_connection_call(wait->connection, owner, path, kPromptInterface, "Prompt", g_variant_new("(s)", ""), nullptr,
        G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, cancellable, promptShown, task);
    g_free(owner);
}

GVariant* patientPromptResult(SecretService*, GAsyncResult* result, GError** error)
{
    return static_cast<GVariant*>(g_task_propagate_pointer(G_TASK(result), error));
}

void patient_service_init(PatientService*) { }

void patient_service_class_init(PatientServiceClass* serviceClass)
{
    serviceClass->parent.prompt_async = patientPrompt;
    serviceClass->parent.prompt_finish = patientPromptResult;
}

}

GType patientServiceType()
{
    return patient_service_get_type();
}
