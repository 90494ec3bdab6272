#include "Accounting/KeyFilter.h"

#include <cstring>

namespace {

enum { kAccountingContextPropertyTag = 'ctxt' };

// Characters that may never appear in a code.
const char kRefusedCharacters[] = ",\"':;/\\|{}[]<>?";

enum : SInt16 {
    kBackspaceCharCode = 0x08,
    kLeftArrowCharCode = 0x1C,
    kRightArrowCharCode = 0x1D,
    kDeleteCharCode = 0x7F,
};

enum { kSysBeepDuration = 10 };

bool isCodeField(SInt32 number)
{
    return number == kUserIDFieldID || number == kAccountIDFieldID || number == kPromptUserIDFieldID
        || number == kPromptAccountIDFieldID;
}

AccountingContextPtr contextOfField(ControlRef field)
{
    AccountingContextPtr context = nullptr;
    if (GetControlProperty(field, kAccountingControlSignature, kAccountingContextPropertyTag, sizeof context, nullptr, &context) == noErr
        && context)
        return context;
    return gContext;
}

Size maximumCodeSize(ControlRef field, SInt32 number)
{
    AccountingContextPtr context = contextOfField(field);
    if (!isCodeField(number) || !context)
        return 0;
    switch (context->acctEnabled) {
    case kAccountingTalliant:
        return 32;
    case kAccountingWithoutTypes:
        return 64;
    default:
        return 0;
    }
}

// The length in bytes of the field's code: the clear text of a concealed field, not its bullets.
Size codeSize(ControlRef field)
{
    Size size = 0;
    if (GetControlData(field, kControlEntireControl, kControlEditTextPasswordTag, 0, nullptr, &size) != noErr)
        GetControlData(field, kControlEntireControl, kControlEditTextTextTag, 0, nullptr, &size);
    return size;
}

// The bytes the key's character takes in UTF-8; a character beyond the first 65,536 arrives as
// its leading surrogate and takes four.
Size characterSize(SInt16 charCode)
{
    auto unit = static_cast<UInt16>(charCode);
    if (unit < 0x80)
        return 1;
    if (unit < 0x800)
        return 2;
    if (unit >= 0xD800 && unit <= 0xDBFF)
        return 4;
    return 3;
}

ControlKeyFilterResult refuseKey()
{
    SysBeep(kSysBeepDuration);
    return kControlKeyFilterBlockKey;
}

}

void attachContextToField(ControlRef field, AccountingContextPtr context)
{
    SetControlProperty(field, kAccountingControlSignature, kAccountingContextPropertyTag, sizeof context, &context);
}

ControlKeyFilterResult accountKeyFilter(ControlRef theControl, SInt16*, SInt16* charCode, EventModifiers*)
{
    ControlID controlID = {};
    GetControlID(theControl, &controlID);
    Size maxSize = maximumCodeSize(theControl, controlID.id);

    ControlEditTextSelectionRec selection = {};
    GetControlData(theControl, kControlEntireControl, kControlEditTextSelectionTag, sizeof selection, &selection, nullptr);
    auto hilite = static_cast<SInt16>(selection.selEnd - selection.selStart);
    Size size = codeSize(theControl);

    // A full field, where a character that does not fit whole counts as not fitting, takes only
    // the keys that shorten the text or move the caret.
    if (hilite == 0 && size + characterSize(*charCode) > maxSize) {
        switch (*charCode) {
        case kRightArrowCharCode:
            return kControlKeyFilterPassKey;
        case kBackspaceCharCode:
        case kDeleteCharCode:
        case kLeftArrowCharCode:
            break;
        default:
            return refuseKey();
        }
    }
    if (*charCode > 0 && *charCode < 0x80 && strchr(kRefusedCharacters, static_cast<char>(*charCode)))
        return refuseKey();
    return kControlKeyFilterPassKey;
}
