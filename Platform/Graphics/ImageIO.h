// Image sources: decoding images from files into image objects.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

typedef struct CGImageSource* CGImageSourceRef;
typedef struct CGImage* CGImageRef;

typedef enum {
    kCGImageStatusUnexpectedEOF = -5,
    kCGImageStatusInvalidData = -4,
    kCGImageStatusUnknownType = -3,
    kCGImageStatusReadingHeader = -2,
    kCGImageStatusIncomplete = -1,
    kCGImageStatusComplete = 0,
} CGImageSourceStatus;

PLATFORM_EXTERN_C_BEGIN

// A source for the GIF or PNG file at url, or null when the file cannot be read.
PLATFORM_EXPORT CGImageSourceRef CGImageSourceCreateWithURL(CFURLRef url, CFDictionaryRef options);
PLATFORM_EXPORT CGImageSourceStatus CGImageSourceGetStatus(CGImageSourceRef isrc);
// The image at index (GIF frames count from 0), or null.
PLATFORM_EXPORT CGImageRef CGImageSourceCreateImageAtIndex(CGImageSourceRef isrc, size_t index, CFDictionaryRef options);
PLATFORM_EXPORT size_t CGImageGetWidth(CGImageRef image);
PLATFORM_EXPORT size_t CGImageGetHeight(CGImageRef image);
PLATFORM_EXPORT void CGImageRelease(CGImageRef image);

PLATFORM_EXTERN_C_END
