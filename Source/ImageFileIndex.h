// The image cache's index of the files a walk finds: each file under its plain name and under
// the name of its folder, a slash and its name, a later file under a key taking the place of the
// earlier one. Keys are the exact UTF-16 code units, case and all.
//
// A walk of a resources folder may give a hundred thousand files and the cache is then asked
// for two, so the walk's share is what counts: a file costs it a few dozen instructions, no
// allocation of its own and about 50 bytes, in storage that grows a chunk at a time and never
// moves (in a fresh process every page touched is a fault, and a doubling array touches its
// contents twice). A file has one record for both its keys and its names in one text, a
// folder's "name/" once for all its files; both keys' hashes are worked out as the file comes,
// in one pass over its name, that of "folder/name" from that of "folder/". A key is
// looked up by going through those hashes from the last file back; only an index asked for
// many keys builds a table of open addressing for them.
#pragma once

#include "Source/ChunkedArray.h"
#include "Source/FSUtilities.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class ImageFileIndex {
public:
    // Forgets the folders of the walk before: a walk's folders are its own.
    void startWalk();

    // The walk gives a folder at level just before the files in it, at the level below: those
    // files' folder part is taken from here, not looked up for each. (A file of a folder not
    // given, such as the walked folder's own, has its folder looked up.)
    void addFolder(ItemCount level, const HFSUniStr255& name);

    // Indexes the file that a walk gives at level with ref, spec and name under its two keys.
    void addFile(ItemCount level, const FSRef& ref, const FSSpec& spec, const HFSUniStr255& name);

    // The FSSpec of the file under key, as the walk gave it; none for a key that names no file.
    std::optional<FSSpec> find(std::u16string_view key);
    std::optional<FSSpec> find(CFStringRef key);

    size_t keyCount();
    std::vector<std::u16string> keys();

private:
    // A folder's part of its files' qualified keys: its name and a slash.
    struct Folder {
        uint32_t textStart;
        uint32_t length;
        uint64_t polynomial; // of those units, for the files' qualified keys' hashes
    };
    // A file: its name's units at textStart, followed by the bytes of its FSSpec's name, two to
    // a unit, unless they are the name's units one for one (kSpecNameIsName).
    struct File {
        uint32_t textStart;
        uint32_t folder;
        SInt32 parID;
        FSVolumeRefNum vRefNum;
        uint8_t nameLength;
        uint8_t specNameLength;
    };
    static_assert(sizeof(File) == 16);
    static constexpr uint8_t kSpecNameIsName = UINT8_MAX;
    struct KeyHashes {
        uint32_t plain;
        uint32_t qualified;
    };
    // A key is one of a file's two: (file << 1 | qualified) + 1, so that 0 marks an empty slot.
    struct Slot {
        uint32_t hash;
        uint32_t key;
    };
    // A key's text, in the two pieces it is kept in: the folder's part (empty for a plain key)
    // and the file's name.
    struct KeyText {
        std::u16string_view folder;
        std::u16string_view name;
    };
    // A folder looked up from one of its files, known again by its id.
    struct LookedUp {
        FSVolumeRefNum vRefNum;
        SInt32 parID;
        uint32_t folder;
    };
    static constexpr uint32_t kNoFolder = UINT32_MAX;

    uint32_t folderOf(ItemCount level, const FSRef& ref, const FSSpec& spec);
    uint32_t lookUpFolder(const FSRef& ref, const FSSpec& spec);
    uint32_t newFolder(std::u16string_view name);
    KeyText textOf(uint32_t key) const;
    FSSpec specOf(const File& file) const;
    // The key with these units and this hash, or 0.
    uint32_t searchFiles(uint32_t hash, std::u16string_view units) const;
    uint32_t searchTable(uint32_t hash, std::u16string_view units) const;
    void buildTable();

    ChunkedArray<char16_t> m_text;
    ChunkedArray<File> m_files;
    ChunkedArray<KeyHashes> m_hashes; // one for each file
    std::vector<Folder> m_folders;
    // Empty until the index has been searched kSearchesBeforeTable times since a file came.
    std::vector<Slot> m_slots;
    size_t m_keyCount { 0 };
    unsigned m_searches { 0 };
    // This walk's folders: the one given last at each level (kNoFolder where none was).
    std::vector<uint32_t> m_folderAtLevel;
    std::optional<LookedUp> m_lookedUp;
};
