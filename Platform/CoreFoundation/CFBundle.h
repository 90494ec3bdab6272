// Bundles: a folder of code and resources with an information dictionary.
#pragma once

#include <CoreFoundation/CFBase.h>

typedef struct __CFBundle* CFBundleRef;
