// Basic types of the platform, as its C interfaces spell them.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef uint8_t UInt8;
typedef int8_t SInt8;
typedef uint16_t UInt16;
typedef int16_t SInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef uint64_t UInt64;
typedef int64_t SInt64;
typedef float Float32;
typedef double Float64;

typedef unsigned char Boolean;
typedef SInt32 OSStatus;
typedef SInt16 OSErr;
typedef UInt32 FourCharCode;
typedef FourCharCode OSType;
typedef FourCharCode ResType;
typedef long Size;
typedef char* Ptr;
typedef Ptr* Handle;
typedef UInt16 UniChar;
typedef unsigned long UniCharCount;
typedef unsigned char Str255[256];
typedef unsigned char Str63[64];
typedef unsigned char Str31[32];
typedef unsigned char* StringPtr;
typedef const unsigned char* ConstStringPtr;
typedef const unsigned char* ConstStr255Param;

struct Point {
    SInt16 v;
    SInt16 h;
};
typedef struct Point Point;

struct Rect {
    SInt16 top;
    SInt16 left;
    SInt16 bottom;
    SInt16 right;
};
typedef struct Rect Rect;

enum {
    noErr = 0,
    fnfErr = -43,
    paramErr = -50,
    memFullErr = -108,
};

#ifdef __cplusplus
#    define PLATFORM_EXTERN_C extern "C"
#    define PLATFORM_EXTERN_C_BEGIN extern "C" {
#    define PLATFORM_EXTERN_C_END }
#else
#    define PLATFORM_EXTERN_C extern
#    define PLATFORM_EXTERN_C_BEGIN
#    define PLATFORM_EXTERN_C_END
#endif

#include <Base/PlatformExport.h>
