// The mark on what the dialog library offers the programs that link it; everything else stays
// inside the library.
#pragma once

#define DIALOG_EXPORT __attribute__((visibility("default")))
