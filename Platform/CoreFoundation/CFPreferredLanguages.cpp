#include <CoreFoundation/CFPreferredLanguagesStandIn.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace {

// Longer values are not language names; the bound keeps a hostile environment cheap.
constexpr size_t kMaximumNameLength = 64;

struct LegacyName {
    std::string_view legacy;
    std::string_view code;
};

// Older bundles name their localizations (and CFBundleDevelopmentRegion) in English words.
constexpr LegacyName kLegacyNames[] = {
    { "English", "en" },
    { "German", "de" },
    { "French", "fr" },
    { "Japanese", "ja" },
    { "Spanish", "es" },
    { "Italian", "it" },
    { "Dutch", "nl" },
};

bool isNameCharacter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

void appendUnique(std::vector<std::string>& list, std::string name)
{
    if (std::find(list.begin(), list.end(), name) == list.end())
        list.push_back(std::move(name));
}

// A locale value (de_DE.UTF-8@euro) as the folder names it may match, most specific first.
void appendCandidates(std::vector<std::string>& list, std::string_view value)
{
    value = value.substr(0, value.find_first_of(".@"));
    if (value.empty() || value == "C" || value == "POSIX" || value.size() > kMaximumNameLength
        || !std::all_of(value.begin(), value.end(), isNameCharacter))
        return;
    size_t separator = value.find_first_of("_-");
    if (separator == 0)
        return;
    if (separator == std::string_view::npos || separator + 1 == value.size()) {
        appendUnique(list, std::string(value.substr(0, separator)));
        return;
    }
    std::string underscored(value);
    std::replace(underscored.begin(), underscored.end(), '-', '_');
    std::string dashed(value);
    std::replace(dashed.begin(), dashed.end(), '_', '-');
    appendUnique(list, underscored);
    appendUnique(list, dashed);
    appendUnique(list, std::string(value.substr(0, separator)));
}

std::string_view environment(const char* name)
{
    const char* value = getenv(name);
    return value ? value : "";
}

}

std::vector<std::string> StandIn::preferredLanguages()
{
    std::vector<std::string> languages;
    std::string_view list = environment("LANGUAGE");
    while (!list.empty()) {
        size_t colon = list.find(':');
        appendCandidates(languages, list.substr(0, colon));
        list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
    }
    for (const char* variable : { "LC_ALL", "LC_MESSAGES", "LANG" }) {
        std::string_view value = environment(variable);
        if (!value.empty()) {
            appendCandidates(languages, value);
            break;
        }
    }
    return languages;
}

std::string _CFCanonicalLanguageName(const std::string& name)
{
    for (const auto& entry : kLegacyNames) {
        if (name == entry.legacy)
            return std::string(entry.code);
    }
    return name;
}

std::vector<std::string> StandIn::preferredLocalizations(const std::vector<std::string>& available,
    const std::string& developmentRegion)
{
    std::vector<std::string> candidates = StandIn::preferredLanguages();
    appendCandidates(candidates, _CFCanonicalLanguageName(developmentRegion));
    appendUnique(candidates, "en");

    std::vector<std::string> chosen;
    for (const auto& candidate : candidates) {
        for (const auto& localization : available) {
            if (localization == candidate)
                appendUnique(chosen, localization);
        }
        for (const auto& localization : available) {
            if (localization != candidate && _CFCanonicalLanguageName(localization) == candidate)
                appendUnique(chosen, localization);
        }
    }
    return chosen;
}
