// Utilities over the File Manager: a depth-first walk of a folder tree with a caller's
// filter, and two catalog helpers.
#pragma once

#include <Files/Files.h>

// Called for every entry of the walk; answering true ends the whole walk. The pointers are
// valid only during the call.
typedef Boolean (*IterateContainerFilterProcPtr)(Boolean containerChanged, ItemCount currentLevel,
    const FSCatalogInfo* catalogInfo, const FSRef* ref, const FSSpec* spec, const HFSUniStr255* name, void* yourDataPtr);

// Walks container depth-first, to maxLevels levels (0: every level), giving each entry to
// iterateFilter. The end of a listing and a folder that cannot be listed for lack of
// permission are forgiven; any other error ends the walk and is returned.
OSErr FSIterateContainer(const FSRef* container, ItemCount maxLevels, FSCatalogInfoBitmap whichInfo, Boolean wantFSSpec,
    Boolean wantName, IterateContainerFilterProcPtr iterateFilter, void* yourDataPtr);

// The folder that holds ref; all zero for the root folder of a volume.
OSErr FSGetParentRef(const FSRef* ref, FSRef* parentRef);

// The name of the file or folder ref.
OSErr FSGetFileDirName(const FSRef* ref, HFSUniStr255* outName);
