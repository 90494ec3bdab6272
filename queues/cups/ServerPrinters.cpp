#include "queues/cups/ServerPrinters.h"

#include "queues/cups/CupsConnection.h"
#include "queues/cups/CupsRequests.h"

#include <cstring>
#include <iterator>

namespace {

// CUPS-Get-Printers for the attributes asked, as anyone may ask.
IppMessage listPrinters(CupsConnection& connection, const char* const* asked, int count, ipp_status_t* status)
{
    IppMessage request = newIppRequest(IPP_OP_CUPS_GET_PRINTERS);
    ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", count, nullptr, asked);
    connection.startStep();
    return connection.exchange(std::move(request), "/", status, -1, CupsConnection::Credentials::Anonymous);
}

}

std::set<std::string> printerIdentities(CupsConnection& connection)
{
    static const char* const kAsked[] = { "printer-uuid" };
    ipp_status_t status;
    IppMessage response = listPrinters(connection, kAsked, std::size(kAsked), &status);
    std::set<std::string> identities;
    for (ipp_attribute_t* attribute = ippFindAttribute(response.get(), "printer-uuid", IPP_TAG_URI); attribute;
         attribute = ippFindNextAttribute(response.get(), "printer-uuid", IPP_TAG_URI))
        identities.insert(ippGetString(attribute, 0, nullptr));
    return connection.succeeded(status) ? identities : std::set<std::string>();
}

PrinterAuthentication printerAuthentication(CupsConnection& connection)
{
    static const char* const kAsked[] = { "printer-name", "uri-authentication-supported" };
    ipp_status_t status;
    IppMessage response = listPrinters(connection, kAsked, std::size(kAsked), &status);
    PrinterAuthentication found;
    std::string name;
    bool password = false;
    for (ipp_attribute_t* attribute = ippFirstAttribute(response.get());; attribute = ippNextAttribute(response.get())) {
        const char* attributeName = attribute ? ippGetName(attribute) : nullptr;
        if (!attributeName) {
            if (password && found.passwordPrinter.empty())
                found.passwordPrinter = name;
            name.clear();
            if (!attribute)
                break;
            continue;
        }
        if (!strcmp(attributeName, "printer-name"))
            name = ippGetString(attribute, 0, nullptr);
        for (int i = 0; !strcmp(attributeName, "uri-authentication-supported") && i < ippGetCount(attribute); ++i) {
            found.kerberos = found.kerberos || !strcmp(ippGetString(attribute, i, nullptr), "negotiate");
            password = password || !strcmp(ippGetString(attribute, i, nullptr), "basic");
        }
    }
    found.password = password;
    found.answered = connection.succeeded(status);
    return found;
}

bool credentialsTaken(CupsConnection& connection, const std::string& queue)
{
    ipp_status_t status;
    connection.startStep();
    connection.exchange(newQueueRequest(IPP_OP_VALIDATE_JOB, queue), "/printers/" + queue, &status);
    return status != IPP_STATUS_ERROR_NOT_AUTHENTICATED && status != IPP_STATUS_ERROR_NOT_AUTHORIZED && status != IPP_STATUS_ERROR_FORBIDDEN
        && status != IPP_STATUS_ERROR_SERVICE_UNAVAILABLE && !connection.waitGivenUp();
}
