// printdialog --list-codes: what an administrator runs to know what a printer's jobs will be
// asked for, one line per code, and the cupsd.conf line that keeps those codes private.
#pragma once

#include "printdialog/CommandLine.h"
#include "queues/PrinterCodes.h"

#include <ostream>
#include <string>

// Lists the codes of the PPD given or of the queue (its PPD and its printer's attributes) on out;
// nothing for a printer that asks for none. Returns 0, or 2 with one line on err when the
// printer cannot be read.
int listPrinterCodes(const PrintDialogOptions& options, std::ostream& out, std::ostream& err);

// One code's line: its name (the one its field goes by in the window, scripts and the stored
// settings: a digit family's first option), its kind, its length bounds, what else the job must carry ("-" for nothing) and its label, separated by tabs, every
// field as printableText shows it.
std::string codeLine(const PrinterCode& code);
