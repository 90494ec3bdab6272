// One request sent to the server in a step of its own, and how the server answered it
// (ServerReply.h): the requests that the agent asks for by name are each made of one.
#pragma once

#include "queues/cups/CupsConnection.h"
#include "queues/cups/IppMessage.h"
#include "queues/cups/ServerReply.h"

#include <string>

struct ServerAnswer {
    Reply reply { Reply::Lost };
    // The answer's status, or an error status when there is none.
    ipp_status_t status { IPP_STATUS_ERROR_SERVICE_UNAVAILABLE };
    // Null when no answer came.
    IppMessage message;
};

// Sends request to resource; *error says why when the server did not do what was asked. An answer
// lost with the connection is Lost, and *error then names the server that cannot be reached.
ServerAnswer askServer(CupsConnection& connection, IppMessage request, std::string* error, const std::string& resource = "/",
    CupsConnection::Credentials credentials = CupsConnection::Credentials::AsTheUser, int document = -1);

// The first value of a text attribute of an answer; empty for none.
std::string textValue(ipp_attribute_t* attribute);
