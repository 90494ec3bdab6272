// Printing for real through a CUPS server: the queue's PPD, and the job with the pane's
// settings as its options. The work is done by a module of its own in the product's folder
// (queues/cups/, which links libcups), loaded on the first of these calls, so that a dialog
// that never talks to CUPS loads neither libcups nor the thirty libraries it needs. When the
// module cannot be loaded, each call fails with the reason in *error.
#pragma once

#include "queues/CupsDestination.h"
#include "program/ProgramsExport.h"
#include "queues/PrinterCodes.h"

#include <Base/RegularFile.h>
#include <PrintCore/PMTicketStandIn.h>

#include <string>
#include <vector>

// Fetches the queue's PPD into an anonymous file in memory, so that nothing of it is left behind
// however the program ends; *ppd receives its descriptor. The whole fetch lasts at most the
// destination's timeout; a PPD of more than 16 MiB is refused.
PROGRAMS_EXPORT bool fetchQueuePPD(const CupsDestination& destination, StandIn::FileDescriptor* ppd, std::string* error);
// The PPD reader opens a path: this one reaches the fetched PPD in memory for as long as its
// descriptor is open.
PROGRAMS_EXPORT std::string queuePPDPath(const StandIn::FileDescriptor& ppd);

// Proves to the destination's server who the user is before a job goes there, where it asks for a
// password (CupsConnection::proveTheUser): the person is asked now, before the dialog, rather than
// once they clicked Print. False, with the reason in *error, when they gave none, or none that the
// server takes.
PROGRAMS_EXPORT bool proveTheUserTo(const CupsDestination& destination, std::string* error);

// The name of the server's default queue (CUPS-Get-Default), checked as a queue name before
// anything uses it. False, with the reason in *error, when the server has none or cannot be asked;
// the destination's queue is not used.
PROGRAMS_EXPORT bool fetchDefaultQueue(const CupsDestination& server, std::string* queue, std::string* error);

// The names of the server's queues (CUPS-Get-Printers), each checked as a queue name; one that no
// queue can have is left out. False, with the reason in *error, when the server cannot be asked.
PROGRAMS_EXPORT bool fetchQueueNames(const CupsDestination& server, std::vector<std::string>* queues, std::string* error);

// What the queue's printer attributes say of the codes its jobs may carry (Get-Printer-Attributes:
// job-account-id-supported, job-accounting-user-id-supported, job-password-supported and its
// encryptions and repertoire). False, with the reason in *error, when the server cannot be asked
// or has no such queue.
PROGRAMS_EXPORT bool fetchPrinterCodeAttributes(const CupsDestination& destination, PrinterCodeAttributes* attributes, std::string* error);

// "the CUPS server at HOST:PORT" (or at its socket), the one name every message gives the server;
// the user's default server for an empty one.
PROGRAMS_EXPORT std::string cupsServerName(const std::string& server);
// The server as one name however it is spelled ("localhost:631", a socket's real path), the
// same in every program: what the keyring's items of the queues' codes are kept under.
PROGRAMS_EXPORT std::string cupsServerKey(const std::string& server);

// Submits the document (an open regular file) to the queue with every ticket item as a job
// option, except the two codes when accounting is off, and, when accounting is on, the User ID
// and Account ID as the job's accounting attributes. The job is never held (job-hold-until
// no-hold): it has its codes already, and a queue that holds new jobs for the accounting agent
// would hold it too. The job id, or 0 with the reason in *error, which never holds a code. A job that was created but not completed is cancelled and purged,
// so that it does not keep the codes on the server; when even that fails, *error names it. A job
// that carries codes goes only to a queue that shows jobs to those alone who prove who they are
// (JobPrivacy.h): elsewhere anyone could read them by giving the person's name, and *error says
// what an administrator must change (CodesPrivacy.h).
PROGRAMS_EXPORT int submitJob(const CupsDestination& destination, int document, const std::string& title, const std::vector<StandIn::TicketItem>& items,
    bool carriesCodes, std::string* error);
