#include "Source/FSUtilities.h"

#include <cstring>

namespace {

// Folders nested deeper than this are not entered, as if the walk's depth limit were there:
// each level takes a frame of the stack, and a hostile tree can be far deeper than any
// stack.
constexpr ItemCount kDeepestLevel = 4096;

// The working record of one walk, shared by all its levels; each level adds only its own
// iterator.
struct FSIterateContainerGlobals {
    IterateContainerFilterProcPtr iterateFilter;
    FSCatalogInfoBitmap whichInfo;
    FSCatalogInfo catalogInfo;
    FSRef ref;
    FSSpec spec;
    FSSpec* specPtr;
    HFSUniStr255 name;
    HFSUniStr255* namePtr;
    void* yourDataPtr;
    ItemCount maxLevels;
    ItemCount currentLevel;
    Boolean quitFlag;
    Boolean containerChanged;
    OSErr result;
    ItemCount actualObjects;
};

void FSIterateContainerLevel(FSIterateContainerGlobals* theGlobals)
{
    if ((theGlobals->maxLevels != 0 && theGlobals->currentLevel >= theGlobals->maxLevels)
        || theGlobals->currentLevel >= kDeepestLevel)
        return;

    FSIterator iterator = nullptr;
    theGlobals->result = FSOpenIterator(&theGlobals->ref, kFSIterateFlat, &iterator);
    if (theGlobals->result != noErr)
        return;
    ++theGlobals->currentLevel;

    do {
        theGlobals->result = FSGetCatalogInfoBulk(iterator, 1, &theGlobals->actualObjects, &theGlobals->containerChanged,
            theGlobals->whichInfo, &theGlobals->catalogInfo, &theGlobals->ref, theGlobals->specPtr, theGlobals->namePtr);
        bool delivered = (theGlobals->result == noErr || theGlobals->result == errFSNoMoreItems) && theGlobals->actualObjects != 0;
        if (delivered) {
            theGlobals->quitFlag = theGlobals->iterateFilter(theGlobals->containerChanged, theGlobals->currentLevel,
                &theGlobals->catalogInfo, &theGlobals->ref, theGlobals->specPtr, theGlobals->namePtr, theGlobals->yourDataPtr);
            if ((theGlobals->catalogInfo.nodeFlags & kFSNodeIsDirectoryMask) && !theGlobals->quitFlag)
                FSIterateContainerLevel(theGlobals);
        }
    } while (theGlobals->result == noErr && !theGlobals->quitFlag);

    if (theGlobals->result == errFSNoMoreItems || theGlobals->result == afpAccessDenied)
        theGlobals->result = noErr;
    --theGlobals->currentLevel;
    FSCloseIterator(iterator);
}

}

OSErr FSIterateContainer(const FSRef* container, ItemCount maxLevels, FSCatalogInfoBitmap whichInfo, Boolean wantFSSpec,
    Boolean wantName, IterateContainerFilterProcPtr iterateFilter, void* yourDataPtr)
{
    if (!iterateFilter || !container)
        return paramErr;
    FSIterateContainerGlobals theGlobals;
    theGlobals.iterateFilter = iterateFilter;
    theGlobals.whichInfo = whichInfo | kFSCatInfoNodeFlags;
    theGlobals.ref = *container;
    theGlobals.specPtr = wantFSSpec ? &theGlobals.spec : nullptr;
    theGlobals.namePtr = wantName ? &theGlobals.name : nullptr;
    theGlobals.yourDataPtr = yourDataPtr;
    theGlobals.maxLevels = maxLevels;
    theGlobals.currentLevel = 0;
    theGlobals.quitFlag = false;
    theGlobals.containerChanged = false;
    theGlobals.result = noErr;
    theGlobals.actualObjects = 0;
    FSIterateContainerLevel(&theGlobals);
    return theGlobals.result;
}

OSErr FSGetParentRef(const FSRef* ref, FSRef* parentRef)
{
    if (!parentRef)
        return paramErr;
    FSCatalogInfo catalogInfo;
    OSErr result = FSGetCatalogInfo(ref, kFSCatInfoNodeID, &catalogInfo, nullptr, nullptr, parentRef);
    if (result != noErr)
        return result;
    if (catalogInfo.nodeID == fsRtDirID)
        memset(parentRef, 0, sizeof(FSRef));
    return noErr;
}

OSErr FSGetFileDirName(const FSRef* ref, HFSUniStr255* outName)
{
    if (!outName)
        return paramErr;
    return FSGetCatalogInfo(ref, kFSCatInfoNone, nullptr, outName, nullptr, nullptr);
}
