// Stand-in only: the classic .strings files that hold a bundle's translations. Bundles and help
// books read them inside the library; parseStringsFile is exported as a seam for the tests and
// the fuzzer, which feed it text without a bundle around it.
//
//     /* A comment. */
//     "Cancel" = "Abbrechen";      // a line comment
//     OK = "OK";                   unquoted tokens are made of letters, digits and _ . -
//     "Same";                      a key alone stands for itself
//
// The text is UTF-8 (a byte-order mark is allowed) or UTF-16 with a byte-order mark. Quoted
// tokens know the escapes \" \\ \n \t \r and \UXXXX (one UTF-16 unit; a surrogate pair takes
// two). A file with any error is refused whole: a half-read table would show some strings
// translated and others not, with nothing to say why.
#pragma once

#include <CoreFoundation/MacTypes.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace StandIn {

using StringsTable = std::unordered_map<std::u16string, std::u16string>;

struct StringsFileError {
    // 1 for the first line; 0 when the file as a whole is at fault (unreadable, too large).
    size_t line { 0 };
    std::string message;
};

// The entries of a strings file's bytes; on an error nullopt, with *error filled when given.
// A key given twice keeps its last value.
PLATFORM_EXPORT std::optional<StringsTable> parseStringsFile(std::string_view bytes, StringsFileError* error);

}

// Shared by the readers of bundles and help books.
// Strings files, property lists and help pages larger than this are not read: no bundle
// needs more, and the bound keeps a wrong or hostile file from eating memory.
constexpr size_t kCFMaximumResourceFileSize = 4 * 1024 * 1024;

std::optional<StandIn::StringsTable> _CFReadStringsFile(const std::string& path, StandIn::StringsFileError* error);

// A path that stays inside the folder it is joined to: relative, without a ".." component.
bool _CFIsContainedPath(std::string_view path);
