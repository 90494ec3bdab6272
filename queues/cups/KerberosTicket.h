// The person's Kerberos ticket, as a server that asks who they are with Kerberos ("negotiate")
// will see it: libcups makes its token from the default credentials cache, the one KRB5CCNAME
// names or else the system's default for the user.
#pragma once

#include "program/ProgramsExport.h"

#include <string>

struct KerberosTicket {
    // The cache holds a ticket-granting ticket that is still valid.
    bool valid { false };
    // Whose it is ("alice@EXAMPLE.COM"); empty when the cache names nobody.
    std::string principal;
    // Why there is no valid ticket, in words: no cache, an empty one, or its ticket expired.
    std::string problem;
};

PROGRAMS_EXPORT KerberosTicket kerberosTicket();
