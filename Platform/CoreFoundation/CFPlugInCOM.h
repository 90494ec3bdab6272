// The COM conventions of plug-ins: IUnknown and its function table.
#pragma once

#include <CoreFoundation/CFUUID.h>

typedef SInt32 HRESULT;
typedef UInt32 ULONG;
typedef void* LPVOID;
typedef CFUUIDBytes REFIID;

#define S_OK ((HRESULT)0x00000000L)
#define E_INVALIDARG ((HRESULT)0x80000003L)
#define E_NOINTERFACE ((HRESULT)0x80000004L)
#define E_POINTER ((HRESULT)0x80000005L)

#define IUnknownUUID CFUUIDGetConstantUUIDWithBytes(kCFAllocatorSystemDefault, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, \
    0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46)

// The platform's own layout of the COM header's macro.
// clang-format off
#define IUNKNOWN_C_GUTS \
    void* _reserved; \
    HRESULT (*QueryInterface)(void* thisPointer, REFIID iid, LPVOID* ppv); \
    ULONG (*AddRef)(void* thisPointer); \
    ULONG (*Release)(void* thisPointer)
// clang-format on

typedef struct IUnknownVTbl {
    IUNKNOWN_C_GUTS;
} IUnknownVTbl;
