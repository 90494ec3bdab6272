// Codes travel as NUL-terminated UTF-8 in fixed buffers; these keep every stored code whole.
#pragma once

#include "Accounting/AccountingContext.h"

// Copies up to length bytes of text into code, cut so that it ends on a character boundary and
// leaves room for the terminating NUL within codeSize bytes.
void copyCodeText(char* code, size_t codeSize, const char* text, size_t length);

// Reads the text of an edit field into an 80-byte code, cut as copyCodeText does. A field that
// does not exist leaves the code as it was.
void readCodeFromControl(ControlRef control, char (&code)[kCodeBufferSize]);

// Shows a code in an edit field.
void showCodeInControl(ControlRef control, const char* code);
