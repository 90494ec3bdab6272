// Inside the stand-in: which of a bundle's localizations to use, in the order the user prefers
// them. The user's languages come from the environment as on any POSIX system: LANGUAGE (a
// colon-separated list) first, then the first non-empty one of LC_ALL, LC_MESSAGES and LANG.
#pragma once

#include <string>
#include <vector>

// The user's languages, each expanded to the names a localization folder may have:
// "de_DE.UTF-8@euro" gives de_DE, de-DE, de. "C" and "POSIX" give nothing; so do values that
// are not plain language names, so that the environment can never name a path.
std::vector<std::string> _CFPreferredLanguages();

// The language code of a legacy localization name (English gives en), else the name itself.
std::string _CFCanonicalLanguageName(const std::string& name);

// Of the available localizations (folder names without ".lproj"), those to look in, best
// first: the user's languages, then the development region, then English. A legacy folder
// name (English.lproj) serves for its code (en).
std::vector<std::string> _CFPreferredLocalizations(const std::vector<std::string>& available,
    const std::string& developmentRegion);
