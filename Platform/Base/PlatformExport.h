// The mark on every call the stand-in library exports; everything else stays inside it.
#pragma once

#define PLATFORM_EXPORT __attribute__((visibility("default")))
