#include "ImageFileIndex.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

namespace {

// A folder's name, a slash and a file's name.
constexpr size_t kLongestKey = 2 * std::size(HFSUniStr255 {}.unicode) + 1;

constexpr size_t kLongestSpecName = sizeof(FSSpec {}.name) - 1;

// How many keys ahead of its turn a key's slot is fetched when the walk's keys are entered:
// enough to cover a trip to memory.
constexpr size_t kFetchAhead = 16;

constexpr uint64_t kHashStart = 0x243F6A8885A308D3ULL;

// A key is hashed one code unit at a time, so that the hash of "folder/name" can go on from
// the state after "folder/".
inline uint64_t hashStep(uint64_t state, char16_t unit)
{
    return (state ^ unit) * 0x9E3779B97F4A7C15ULL;
}

inline uint64_t hashUnits(uint64_t state, std::u16string_view units)
{
    for (char16_t unit : units)
        state = hashStep(state, unit);
    return state;
}

// The multiplications leave the low bits, which choose the slot, depending on the low bits of
// the units only: the high bits are folded down.
inline uint32_t finishHash(uint64_t state)
{
    state ^= state >> 29;
    state *= 0xBF58476D1CE4E5B9ULL;
    return static_cast<uint32_t>(state >> 32);
}

inline uint32_t keyOf(size_t file, bool qualified)
{
    return static_cast<uint32_t>((file << 1 | qualified) + 1);
}

inline size_t fileOf(uint32_t key)
{
    return (key - 1) >> 1;
}

inline bool isQualified(uint32_t key)
{
    return (key - 1) & 1;
}

std::u16string_view unitsOf(const HFSUniStr255& name)
{
    return { reinterpret_cast<const char16_t*>(name.unicode), std::min<size_t>(name.length, std::size(name.unicode)) };
}

// Whether two keys have the same units, wherever each is cut into its pieces.
bool sameUnits(std::u16string_view oneFolder, std::u16string_view oneName, std::u16string_view otherFolder, std::u16string_view otherName)
{
    if (oneFolder.size() + oneName.size() != otherFolder.size() + otherName.size())
        return false;
    std::u16string_view one[] = { oneFolder, oneName }, other[] = { otherFolder, otherName };
    for (size_t i = 0, j = 0;;) {
        while (i < 2 && one[i].empty())
            ++i;
        while (j < 2 && other[j].empty())
            ++j;
        if (i == 2 || j == 2)
            return true; // both at their ends, the lengths being equal
        size_t common = std::min(one[i].size(), other[j].size());
        if (one[i].substr(0, common) != other[j].substr(0, common))
            return false;
        one[i].remove_prefix(common);
        other[j].remove_prefix(common);
    }
}

}

ImageFileIndex::KeyText ImageFileIndex::textOf(uint32_t key) const
{
    const File& file = m_files[fileOf(key)];
    std::u16string_view name(m_text.data() + file.textStart, file.nameLength);
    if (!isQualified(key))
        return { {}, name };
    const Folder& folder = m_folders[file.folder];
    return { std::u16string_view(m_text.data() + folder.textStart, folder.length), name };
}

FSSpec ImageFileIndex::specOf(const File& file) const
{
    FSSpec spec = {};
    spec.vRefNum = file.vRefNum;
    spec.parID = file.parID;
    spec.name[0] = file.specNameLength;
    memcpy(spec.name + 1, m_text.data() + file.textStart + file.nameLength, file.specNameLength);
    return spec;
}

bool ImageFileIndex::isSameFile(const File& one, const File& other) const
{
    return one.vRefNum == other.vRefNum && one.parID == other.parID && one.specNameLength == other.specNameLength
        && memcmp(m_text.data() + one.textStart + one.nameLength, m_text.data() + other.textStart + other.nameLength,
               one.specNameLength)
        == 0;
}

const ImageFileIndex::Slot& ImageFileIndex::findSlot(uint32_t hash, KeyText text) const
{
    const size_t mask = m_slots.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = m_slots[i];
        if (slot.key == 0)
            return slot;
        if (slot.hash == hash) {
            KeyText held = textOf(slot.key);
            if (sameUnits(held.folder, held.name, text.folder, text.name))
                return slot;
        }
    }
}

// At most three slots in four are used, so that a key that is not there is known to be
// missing after a short run of slots.
void ImageFileIndex::makeRoomFor(size_t keys)
{
    size_t size = std::max<size_t>(m_slots.size(), 1024);
    while (keys * 4 > size * 3)
        size *= 2;
    if (size == m_slots.size())
        return;
    std::vector<Slot> old = std::exchange(m_slots, std::vector<Slot>(size));
    const size_t mask = size - 1;
    for (const Slot& slot : old) {
        if (slot.key == 0)
            continue;
        size_t i = slot.hash & mask;
        while (m_slots[i].key != 0)
            i = (i + 1) & mask;
        m_slots[i] = slot;
    }
}

uint32_t ImageFileIndex::newFolder(std::u16string_view name)
{
    m_folders.push_back({ static_cast<uint32_t>(m_text.size()), static_cast<uint32_t>(name.size() + 1),
        hashStep(hashUnits(kHashStart, name), u'/') });
    m_text += name;
    m_text += u'/';
    return static_cast<uint32_t>(m_folders.size() - 1);
}

void ImageFileIndex::addFolder(ItemCount level, const HFSUniStr255& name)
{
    if (level >= m_folderAtLevel.size())
        m_folderAtLevel.resize(level + 1, kNoFolder);
    m_folderAtLevel[level] = newFolder(unitsOf(name));
}

uint32_t ImageFileIndex::folderOf(ItemCount level, const FSRef& ref, const FSSpec& spec)
{
    if (level >= 1 && level - 1 < m_folderAtLevel.size() && m_folderAtLevel[level - 1] != kNoFolder)
        return m_folderAtLevel[level - 1];
    return lookUpFolder(ref, spec);
}

// The walk gives the walked folder's own files one after another, so their folder is looked up
// once for all of them. A lookup that failed is not remembered, so that one file gone from under
// the walk costs its siblings nothing; its key has an empty folder name.
uint32_t ImageFileIndex::lookUpFolder(const FSRef& ref, const FSSpec& spec)
{
    if (m_lookedUp && m_lookedUp->vRefNum == spec.vRefNum && m_lookedUp->parID == spec.parID)
        return m_lookedUp->folder;
    FSRef parentRef = {};
    HFSUniStr255 parentName = {};
    bool found = FSGetParentRef(&ref, &parentRef) == noErr && FSGetFileDirName(&parentRef, &parentName) == noErr;
    uint32_t folder = newFolder(unitsOf(parentName));
    if (found)
        m_lookedUp = LookedUp { spec.vRefNum, spec.parID, folder };
    return folder;
}

void ImageFileIndex::addFile(ItemCount level, const FSRef& ref, const FSSpec& spec, const HFSUniStr255& name)
{
    const uint32_t folder = folderOf(level, ref, spec);
    const std::u16string_view units = unitsOf(name);
    uint64_t plainHash = kHashStart, qualifiedHash = m_folders[folder].hashState;
    for (char16_t unit : units) {
        plainHash = hashStep(plainHash, unit);
        qualifiedHash = hashStep(qualifiedHash, unit);
    }
    m_keptHashes.push_back({ finishHash(plainHash), finishHash(qualifiedHash) });

    const size_t specNameLength = std::min<size_t>(spec.name[0], kLongestSpecName);
    const size_t textStart = m_text.size();
    m_text.resize(textStart + units.size() + (specNameLength + 1) / 2);
    char16_t* text = m_text.data() + textStart;
    std::copy(units.begin(), units.end(), text);
    memcpy(text + units.size(), spec.name + 1, specNameLength);
    m_files.push_back({ static_cast<uint32_t>(textStart), folder, spec.parID, spec.vRefNum, static_cast<uint8_t>(units.size()),
        static_cast<uint8_t>(specNameLength) });
}

void ImageFileIndex::enterKey(uint32_t key, uint32_t hash, std::vector<std::u16string>* replacedKeys)
{
    const KeyText text = textOf(key);
    Slot& slot = const_cast<Slot&>(findSlot(hash, text));
    if (slot.key == 0) {
        slot = { hash, key };
        ++m_keyCount;
        return;
    }
    // A key that names this very file already (a folder walked again) keeps its record.
    if (isSameFile(m_files[fileOf(slot.key)], m_files[fileOf(key)]))
        return;
    if (replacedKeys)
        replacedKeys->push_back(std::u16string(text.folder) + std::u16string(text.name));
    slot.key = key;
}

void ImageFileIndex::finishWalk(std::vector<std::u16string>* replacedKeys)
{
    m_folderAtLevel.clear();
    m_lookedUp.reset();
    const size_t kept = m_keptHashes.size();
    const size_t firstFile = m_files.size() - kept;
    makeRoomFor(m_keyCount + 2 * kept);
    const size_t mask = m_slots.size() - 1;
    for (size_t i = 0; i < kept; ++i) {
        if (i + kFetchAhead < kept) {
            __builtin_prefetch(&m_slots[m_keptHashes[i + kFetchAhead].plain & mask], 1);
            __builtin_prefetch(&m_slots[m_keptHashes[i + kFetchAhead].qualified & mask], 1);
        }
        enterKey(keyOf(firstFile + i, false), m_keptHashes[i].plain, replacedKeys);
        enterKey(keyOf(firstFile + i, true), m_keptHashes[i].qualified, replacedKeys);
    }
    m_keptHashes.clear();
}

std::optional<FSSpec> ImageFileIndex::find(std::u16string_view key) const
{
    if (m_slots.empty())
        return std::nullopt;
    const Slot& slot = findSlot(finishHash(hashUnits(kHashStart, key)), { {}, key });
    if (slot.key == 0)
        return std::nullopt;
    return specOf(m_files[fileOf(slot.key)]);
}

std::optional<FSSpec> ImageFileIndex::find(CFStringRef key) const
{
    CFIndex length = CFStringGetLength(key);
    if (length < 0 || static_cast<size_t>(length) > kLongestKey)
        return std::nullopt;
    char16_t units[kLongestKey];
    CFStringGetCharacters(key, CFRangeMake(0, length), reinterpret_cast<UniChar*>(units));
    return find(std::u16string_view(units, static_cast<size_t>(length)));
}

std::vector<std::u16string> ImageFileIndex::keys() const
{
    std::vector<std::u16string> all;
    all.reserve(m_keyCount);
    for (const Slot& slot : m_slots) {
        if (slot.key == 0)
            continue;
        KeyText text = textOf(slot.key);
        all.push_back(std::u16string(text.folder) + std::u16string(text.name));
    }
    return all;
}
