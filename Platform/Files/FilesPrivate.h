// Inside the stand-in: what other families (graphics importers, icon files) need of the File
// Manager to open the file a reference or an FSSpec names.
#pragma once

#include <Base/RegularFile.h>
#include <Files/Files.h>

#include <string>

// The absolute path the reference or FSSpec names. False, path untouched, when it is malformed
// or names nothing the stand-in made; true even when the file has gone since, so that the
// caller's own open reports that.
bool _FSRefGetPath(const FSRef* ref, std::string* path);
bool _FSSpecGetPath(const FSSpec* fsSpec, std::string* path);
// Opens the regular file at path (as _FSRefGetPath and _FSSpecGetPath give it) for reading,
// without ever blocking (StandIn::openRegularFile), however long the path. A file that a walk
// found is opened beneath the folder where that walk began: a symbolic link that leads out of
// it is refused, one that stays inside is followed. Any other file is opened as its path says.
StandIn::FileDescriptor _FSOpenRegularFile(const std::string& path, StandIn::FileFailure* failure);
