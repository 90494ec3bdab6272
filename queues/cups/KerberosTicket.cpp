#include "queues/cups/KerberosTicket.h"

#include <krb5.h>

#include <ctime>

KerberosTicket kerberosTicket()
{
    KerberosTicket ticket;
    krb5_context context = nullptr;
    if (krb5_init_context(&context) != 0) {
        ticket.problem = "Kerberos is not set up on this computer";
        return ticket;
    }
    krb5_ccache cache = nullptr;
    krb5_principal client = nullptr;
    if (krb5_cc_default(context, &cache) != 0 || krb5_cc_get_principal(context, cache, &client) != 0) {
        ticket.problem = "you have no Kerberos ticket";
    } else {
        char* name = nullptr;
        if (krb5_unparse_name(context, client, &name) == 0) {
            ticket.principal = name;
            krb5_free_unparsed_name(context, name);
        }
        // The ticket-granting ticket of the principal's own realm: krbtgt/REALM@REALM.
        const krb5_data* realm = krb5_princ_realm(context, client);
        krb5_principal granting = nullptr;
        krb5_cc_cursor cursor;
        bool expired = false;
        if (krb5_build_principal(context, &granting, realm->length, realm->data, "krbtgt", std::string(realm->data, realm->length).c_str(), nullptr) == 0
            && krb5_cc_start_seq_get(context, cache, &cursor) == 0) {
            krb5_creds credentials;
            while (!ticket.valid && krb5_cc_next_cred(context, cache, &cursor, &credentials) == 0) {
                if (krb5_principal_compare(context, credentials.server, granting)) {
                    ticket.valid = credentials.times.endtime > time(nullptr);
                    expired = !ticket.valid;
                }
                krb5_free_cred_contents(context, &credentials);
            }
            krb5_cc_end_seq_get(context, cache, &cursor);
        }
        if (granting)
            krb5_free_principal(context, granting);
        if (!ticket.valid)
            ticket.problem = expired ? "your Kerberos ticket has expired" : "you have no Kerberos ticket";
    }
    if (client)
        krb5_free_principal(context, client);
    if (cache)
        krb5_cc_close(context, cache);
    krb5_free_context(context);
    return ticket;
}
