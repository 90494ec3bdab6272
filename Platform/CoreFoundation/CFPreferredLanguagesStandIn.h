// Stand-in only: which of a bundle's localizations to use, in the order the user prefers them.
// The user's languages come from the environment as on any POSIX system: LANGUAGE (a
// colon-separated list) first, then the first non-empty one of LC_ALL, LC_MESSAGES and LANG.
// Bundles and help books use these inside the library; the two exported calls are a test seam,
// so that the tests can set the environment and see the choice without building bundles.
#pragma once

#include <CoreFoundation/MacTypes.h>

#include <string>
#include <vector>

namespace StandIn {

// The user's languages, each expanded to the names a localization folder may have:
// "de_DE.UTF-8@euro" gives de_DE, de-DE, de. "C" and "POSIX" give nothing; so do values that
// are not plain language names, so that the environment can never name a path.
PLATFORM_EXPORT std::vector<std::string> preferredLanguages();

// Of the available localizations (folder names without ".lproj"), those to look in, best
// first: the user's languages, then the development region, then English. A legacy folder
// name (English.lproj) serves for its code (en).
PLATFORM_EXPORT std::vector<std::string> preferredLocalizations(const std::vector<std::string>& available,
    const std::string& developmentRegion);

}

// The language code of a legacy localization name (English gives en), else the name itself.
std::string _CFCanonicalLanguageName(const std::string& name);
