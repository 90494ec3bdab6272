// Inside the stand-in: the classic .strings files that hold a bundle's translations.
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

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

using _CFStringsTable = std::unordered_map<std::u16string, std::u16string>;

struct _CFStringsFileError {
    // 1 for the first line; 0 when the file as a whole is at fault (unreadable, too large).
    size_t line { 0 };
    std::string message;
};

// Shared by the readers of bundles and help books.
// Strings files, property lists and help pages larger than this are not read: no bundle
// needs more, and the bound keeps a wrong or hostile file from eating memory.
constexpr size_t kCFMaximumResourceFileSize = 4 * 1024 * 1024;

// The entries of a strings file's bytes; on an error nullopt, with *error filled when given.
// A key given twice keeps its last value.
std::optional<_CFStringsTable> _CFParseStringsFile(std::string_view bytes, _CFStringsFileError* error);
std::optional<_CFStringsTable> _CFReadStringsFile(const std::string& path, _CFStringsFileError* error);

// A path that stays inside the folder it is joined to: relative, without a ".." component.
bool _CFIsContainedPath(std::string_view path);
