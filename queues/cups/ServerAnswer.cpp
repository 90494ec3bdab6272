#include "queues/cups/ServerAnswer.h"

ServerAnswer askServer(CupsConnection& connection, IppMessage request, std::string* error, const std::string& resource,
    CupsConnection::Credentials credentials, int document)
{
    ServerAnswer answer;
    connection.startStep();
    answer.message = connection.exchange(std::move(request), resource, &answer.status, document, credentials);
    if (connection.succeeded(answer.status)) {
        answer.reply = Reply::Done;
        return answer;
    }
    *error = connection.failure();
    // Without an answer at all the server has gone, or stopped answering.
    bool gone = !answer.message
        && (answer.status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE || answer.status == IPP_STATUS_ERROR_INTERNAL || connection.pastDeadline());
    if (gone && error->rfind(connection.server(), 0) != 0)
        *error = connection.server() + " cannot be reached: " + *error;
    answer.reply = gone ? Reply::Lost : Reply::Refused;
    return answer;
}

std::string textValue(ipp_attribute_t* attribute)
{
    const char* text = attribute ? ippGetString(attribute, 0, nullptr) : nullptr;
    return text ? text : "";
}
