#include "Accounting/AccountingCodes.h"

#include <algorithm>
#include <cstring>

namespace {

bool isContinuationByte(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

}

void copyCodeText(char* code, size_t codeSize, const char* text, size_t length)
{
    if (!code || codeSize == 0)
        return;
    size_t kept = std::min(length, codeSize - 1);
    // Cutting inside a multi-byte character would leave half of it behind: drop the whole
    // character instead.
    if (kept < length) {
        while (kept > 0 && isContinuationByte(text[kept]))
            --kept;
    }
    if (kept > 0)
        memmove(code, text, kept);
    code[kept] = '\0';
}

void readCodeFromControl(ControlRef control, char (&code)[kCodeBufferSize])
{
    char text[kCodeBufferSize];
    Size actualSize = 0;
    if (!control || GetControlData(control, kControlEntireControl, kControlEditTextTextTag, sizeof text, text, &actualSize) != noErr)
        return;
    // The field may hold more than the buffer took; the cut only needs to see the byte after
    // the 79th to know whether a character goes on past it.
    size_t received = std::min<size_t>(std::max<Size>(actualSize, 0), sizeof text);
    copyCodeText(code, sizeof code, text, received);
}

void showCodeInControl(ControlRef control, const char* code)
{
    SetControlData(control, kControlEntireControl, kControlEditTextTextTag, static_cast<Size>(strlen(code)), code);
}
