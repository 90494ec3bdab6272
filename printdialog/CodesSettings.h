// The settings window of a queue whose printer asks for codes of its own (CodesForm.h, built from
// the queue's codes): accounting on or off, the codes asked for when a job is printed or the
// default codes stored, concealed or not, kept in the keyring or in the queue's file. What the
// person saves is stored for the queue in the same store as a Movra queue's settings, where the
// accounting agent finds it.
#pragma once

#include "queues/CodesForm.h"
#include "printdialog/Conversation.h"
#include "queues/CupsDestination.h"
#include "queues/QueueSettings.h"
#include "queues/QueueSettingsStore.h"
#include "dialog/Transcript.h"

#include <PrintCore/PMTicketStandIn.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

// Asks the person (a window on screen, or the script's lines): Accepted with the form as the
// person left it, else *why says why nothing was saved.
using CodesFormAsker = std::function<CodesFormAnswer(CodesForm* form, std::string* why)>;

// A print on a queue whose printer asks for codes of its own: the codes the job goes with, as the
// queue's stored settings say (the window asked through ask where they must be), added to items
// as the printer's driver takes them; none with accounting off. Declined when the person
// cancelled the window; Failed once conversation has told why.
Going addPrinterCodes(const PrinterCodes& codes, const QueueSettings& stored, const std::string& document, const std::string& queue,
    const CodesFormAsker& ask, std::vector<StandIn::TicketItem>* items, Conversation& conversation);

// Opens the window for the destination's queue and its codes, starting from the queue's stored
// settings (or those a queue with nothing stored starts from), and stores what is saved; keepCodes
// is --keep-codes, AsBefore when it is not given. printdialog's exit status.
int configurePrinterCodes(const CupsDestination& destination, const PrinterCodes& codes, const QueueSettingsStore& store,
    QueueSettingsStore::CodesChoice keepCodes, const CodesFormAsker& ask, Transcript& transcript, Conversation& conversation, std::ostream& err);
