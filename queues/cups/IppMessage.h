// An IPP message, a request or an answer, with one owner that deletes it: requests are handed on
// by moving them, and an answer goes with the last hand that holds it, on every path.
#pragma once

#include <cups/ipp.h>

#include <memory>

struct IppMessageDelete {
    void operator()(ipp_t* message) const { ippDelete(message); }
};

using IppMessage = std::unique_ptr<ipp_t, IppMessageDelete>;

// A request of operation, with the attributes libcups gives every request (charset, language).
inline IppMessage newIppRequest(ipp_op_t operation)
{
    return IppMessage(ippNewRequest(operation));
}
