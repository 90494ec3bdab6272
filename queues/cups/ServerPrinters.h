// What a server says of its printers to anyone who asks, without credentials: which printers they
// are, and how their jobs prove who makes them. What the connection learns of the server before
// it asks the user for anything.
#pragma once

#include <set>
#include <string>

class CupsConnection;

// The printer-uuid of every printer the server lists; empty when it lists none, or did not answer.
std::set<std::string> printerIdentities(CupsConnection& connection);

// How the server's printers have jobs prove who makes them (uri-authentication-supported).
struct PrinterAuthentication {
    bool answered { false };
    bool kerberos { false }; // some printer asks for "negotiate"
    bool password { false }; // some printer asks for "basic"
    // The first printer whose jobs are made with a password: where a password is tried.
    std::string passwordPrinter;
};
PrinterAuthentication printerAuthentication(CupsConnection& connection);

// Whether the server takes the user's credentials for a job on queue: Validate-Job, which makes
// none, and which cupsd refuses a wrong password for where listing jobs would take it as none.
// Any answer but a demand for credentials proves them: the request itself may be refused.
bool credentialsTaken(CupsConnection& connection, const std::string& queue);
