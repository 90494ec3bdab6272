// The image cache's index of the files a walk finds: each file under its plain name and under
// the name of its folder, a slash and its name, a later file under a key taking the place of the
// earlier one. Keys are the exact UTF-16 code units, case and all.
//
// A walk of a resources folder may give a hundred thousand files, so a file costs the walk a
// few dozen instructions and no allocation of its own. The walk only appends: one 16-byte record
// per file, which serves both its keys, and its names to one text, a folder's "name/" once for
// all its files; it works out both keys' hashes there, that of "folder/name" going on from that
// of "folder/", worked out once per folder. The keys go into a table of open addressing when the
// walk is over, all at once: the table grows once, and each key's slot is fetched from memory
// a few keys ahead of its turn.
#pragma once

#include "FSUtilities.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class ImageFileIndex {
public:
    // The walk gives a folder at level just before the files in it, at the level below: those
    // files' folder part is taken from here, not looked up for each. (A file of a folder not
    // given, such as the walked folder's own, has its folder looked up.)
    void addFolder(ItemCount level, const HFSUniStr255& name);

    // Keeps the file that a walk gives at level with ref, spec and name for its two keys.
    void addFile(ItemCount level, const FSRef& ref, const FSSpec& spec, const HFSUniStr255& name);

    // Enters the files kept since the last walk under their keys, and forgets this walk's
    // folders, which a later walk may find renamed. Each key that named another file until now
    // is added to replacedKeys, when it is given.
    void finishWalk(std::vector<std::u16string>* replacedKeys);

    // The FSSpec of the file under key, as the walk gave it; none for a key that names no file
    // of a finished walk.
    std::optional<FSSpec> find(std::u16string_view key) const;
    std::optional<FSSpec> find(CFStringRef key) const;

    size_t keyCount() const { return m_keyCount; }
    std::vector<std::u16string> keys() const;

private:
    // A folder's part of its files' qualified keys: its name and a slash.
    struct Folder {
        uint32_t textStart;
        uint32_t length;
        uint64_t hashState; // the hash of those units, for each file's name to go on from
    };
    // A file's name and its FSSpec: the name's units at textStart, then the bytes of the
    // FSSpec's name, two to a unit.
    struct File {
        uint32_t textStart;
        uint32_t folder;
        SInt32 parID;
        FSVolumeRefNum vRefNum;
        uint8_t nameLength;
        uint8_t specNameLength;
    };
    static_assert(sizeof(File) == 16, "a record small enough that a hundred thousand files stay in the caches");
    // The hashes of a kept file's two keys, until the walk is finished.
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
    bool isSameFile(const File& one, const File& other) const;
    // The slot that holds the key with this text, or the empty slot where it goes.
    const Slot& findSlot(uint32_t hash, KeyText text) const;
    void enterKey(uint32_t key, uint32_t hash, std::vector<std::u16string>* replacedKeys);
    void makeRoomFor(size_t keys);

    std::u16string m_text;
    std::vector<Folder> m_folders;
    std::vector<File> m_files;
    std::vector<KeyHashes> m_keptHashes; // for the files from m_files.size() - m_keptHashes.size() on
    std::vector<Slot> m_slots;
    size_t m_keyCount { 0 };
    // This walk's folders: the one given last at each level (kNoFolder where none was).
    std::vector<uint32_t> m_folderAtLevel;
    std::optional<LookedUp> m_lookedUp;
};
