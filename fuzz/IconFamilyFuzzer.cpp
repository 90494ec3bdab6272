// The pane's icon family (Accounting.icns) is read from the bundle.
#include "fuzz/FuzzSupport.h"

#include <Files/Files.h>
#include <Graphics/Icons.h>
#include <Graphics/MacMemory.h>

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Straight from the bytes, in a buffer of exactly their size, so that any read past the
    // end the header claims is caught. The bytes are copied: the call may not keep them.
    std::vector<uint8_t> bytes(data, data + size);
    IconRef direct = nullptr;
    if (GetIconRefFromIconFamilyPtr(reinterpret_cast<const IconFamilyResource*>(bytes.data()), static_cast<Size>(size), &direct) == noErr
        && direct)
        ReleaseIconRef(direct);

    std::string path = fuzz::writeInput("icons.icns", data, size);
    FSRef ref;
    FSSpec spec;
    if (FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr) != noErr
        || FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, &spec, nullptr) != noErr)
        return 0;
    IconFamilyHandle family = nullptr;
    if (ReadIconFile(&spec, &family) != noErr || !family)
        return 0;
    IconRef icon = nullptr;
    if (GetIconRefFromIconFamilyPtr(*family, GetHandleSize(reinterpret_cast<Handle>(family)), &icon) == noErr && icon)
        ReleaseIconRef(icon);
    DisposeHandle(reinterpret_cast<Handle>(family));
    return 0;
}
