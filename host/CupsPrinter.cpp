#include "CupsPrinter.h"

#include <cups/cups.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <unistd.h>

namespace {

constexpr const char* kModeKey = "com.movra.Act.trel.On";
constexpr const char* kUserIDKey = "com.movra.Act.trel.UID";
constexpr const char* kAccountIDKey = "com.movra.Act.trel.AID";

void useServer(const CupsDestination& destination)
{
    cupsSetServer(destination.server.empty() ? nullptr : destination.server.c_str());
}

const PMTicketItem* findItem(const std::vector<PMTicketItem>& items, const char* key)
{
    for (const auto& item : items) {
        if (item.key == key)
            return &item;
    }
    return nullptr;
}

// The server's words, with any code that it may quote taken out.
std::string withoutCodes(std::string message, const std::vector<PMTicketItem>& items)
{
    for (const char* key : { kUserIDKey, kAccountIDKey }) {
        const PMTicketItem* code = findItem(items, key);
        if (!code || code->string.empty())
            continue;
        for (size_t at; (at = message.find(code->string)) != std::string::npos;)
            message.replace(at, code->string.size(), "(code)");
    }
    return message;
}

}

bool fetchQueuePPD(const CupsDestination& destination, std::string* path, std::string* error)
{
    useServer(destination);
    std::string where = destination.server.empty() ? "the CUPS server" : destination.server;
    char temporary[] = "/tmp/printdialog-XXXXXX.ppd";
    int file = mkstemps(temporary, 4);
    if (file < 0) {
        *error = std::string("cannot make a temporary file for the printer's PPD: ") + strerror(errno);
        return false;
    }
    // The server gives each queue's PPD at /printers/QUEUE.ppd.
    http_status_t status = cupsGetFd(CUPS_HTTP_DEFAULT, ("/printers/" + destination.queue + ".ppd").c_str(), file);
    close(file);
    if (status != HTTP_STATUS_OK) {
        unlink(temporary);
        *error = destination.queue + ": cannot get the printer's PPD from " + where + ": "
            + (status == HTTP_STATUS_NOT_FOUND ? std::string("no such queue")
                    : status == HTTP_STATUS_ERROR    ? std::string("the server cannot be reached")
                                                     : std::string(cupsLastErrorString()));
        return false;
    }
    *path = temporary;
    return true;
}

int submitJob(const CupsDestination& destination, const std::string& document, const std::vector<PMTicketItem>& items,
    std::string* error)
{
    useServer(destination);
    int count = 0;
    cups_option_t* options = nullptr;
    for (const auto& item : items)
        count = cupsAddOption(item.key.c_str(), item.isString ? item.string.c_str() : std::to_string(item.integer).c_str(), count, &options);
    const PMTicketItem* mode = findItem(items, kModeKey);
    bool accountingOn = mode && !mode->isString && (mode->integer == 2 || mode->integer == 3);
    if (accountingOn) {
        const PMTicketItem* userID = findItem(items, kUserIDKey);
        const PMTicketItem* accountID = findItem(items, kAccountIDKey);
        if (userID && !userID->string.empty())
            count = cupsAddOption("job-accounting-user-id", userID->string.c_str(), count, &options);
        if (accountID && !accountID->string.empty())
            count = cupsAddOption("job-account-id", accountID->string.c_str(), count, &options);
    }
    std::string title = document.substr(document.rfind('/') + 1);
    int job = cupsPrintFile2(CUPS_HTTP_DEFAULT, destination.queue.c_str(), document.c_str(), title.c_str(), count, options);
    cupsFreeOptions(count, options);
    if (job <= 0)
        *error = destination.queue + ": the job was not accepted: " + withoutCodes(cupsLastErrorString(), items);
    return job > 0 ? job : 0;
}
