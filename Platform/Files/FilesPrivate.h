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
// Opens a path of any length (one folder at a time where it is longer than the system takes
// whole); a descriptor, or -errno.
int _FSOpenPath(const std::string& path, int flags);
// Opens the regular file at path (as _FSRefGetPath and _FSSpecGetPath give it) for reading,
// without ever blocking (StandIn::openRegularFile), however long the path.
StandIn::FileDescriptor _FSOpenRegularFile(const std::string& path, StandIn::FileFailure* failure);
