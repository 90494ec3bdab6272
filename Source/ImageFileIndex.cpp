#include "Source/ImageFileIndex.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

namespace {

// A folder's name, a slash and a file's name.
constexpr size_t kLongestKey = 2 * std::size(HFSUniStr255 {}.unicode) + 1;

constexpr size_t kLongestSpecName = sizeof(FSSpec {}.name) - 1;

// Going through the files' hashes costs about as much as 1 % of building the table: an index
// asked for a few keys, as the pane's is, never builds it.
constexpr unsigned kSearchesBeforeTable = 8;

// How many keys ahead of its turn a key's slot is fetched when the table is built: enough to
// cover a trip to memory.
constexpr size_t kFetchAhead = 16;

// A key's hash starts from the polynomial of its units, the sum of u[i] * P^(n - 1 - i) modulo
// 2^64: it can be worked out four units at a time, and that of "folder/name" is that of
// "folder/" times P^(length of name) plus that of "name", so a file's two keys take one pass
// over its name.
constexpr uint64_t kP = 0x100000001B3ULL;

constexpr std::array<uint64_t, kLongestKey + 1> kPowers = [] {
    std::array<uint64_t, kLongestKey + 1> powers {};
    powers[0] = 1;
    for (size_t i = 1; i < powers.size(); ++i)
        powers[i] = powers[i - 1] * kP;
    return powers;
}();

uint64_t polynomialOf(std::u16string_view units)
{
    uint64_t state = 0;
    size_t i = 0;
    for (; i + 4 <= units.size(); i += 4)
        state = state * kPowers[4] + (units[i] * kPowers[3] + units[i + 1] * kPowers[2] + units[i + 2] * kP + units[i + 3]);
    for (; i < units.size(); ++i)
        state = state * kP + units[i];
    return state;
}

// The polynomial's low bits depend on the units' low bits only, and so would the slot: the high
// bits and the length are mixed down.
inline uint32_t hashOf(uint64_t polynomial, size_t length)
{
    uint64_t state = polynomial ^ (length * 0x9E3779B97F4A7C15ULL);
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

// Whether the FSSpec's name is the file's name unit for unit, as it is for a short ASCII name:
// then it need not be kept apart.
bool specNameIsName(const unsigned char* specName, size_t specNameLength, std::u16string_view name)
{
    if (specNameLength != name.size())
        return false;
    for (size_t i = 0; i < specNameLength; ++i) {
        if (specName[i] != name[i])
            return false;
    }
    return true;
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
    std::u16string_view name(&m_text[file.textStart], file.nameLength);
    if (!isQualified(key))
        return { {}, name };
    const Folder& folder = m_folders[file.folder];
    return { std::u16string_view(&m_text[folder.textStart], folder.length), name };
}

FSSpec ImageFileIndex::specOf(const File& file) const
{
    FSSpec spec = {};
    spec.vRefNum = file.vRefNum;
    spec.parID = file.parID;
    const char16_t* name = &m_text[file.textStart];
    if (file.specNameLength == kSpecNameIsName) {
        spec.name[0] = file.nameLength;
        std::copy(name, name + file.nameLength, spec.name + 1);
    } else {
        spec.name[0] = file.specNameLength;
        memcpy(spec.name + 1, name + file.nameLength, file.specNameLength);
    }
    return spec;
}

void ImageFileIndex::startWalk()
{
    m_folderAtLevel.clear();
    m_lookedUp.reset();
}

uint32_t ImageFileIndex::newFolder(std::u16string_view name)
{
    const size_t start = m_text.append(name.size() + 1);
    char16_t* text = &m_text[start];
    std::copy(name.begin(), name.end(), text);
    text[name.size()] = u'/';
    m_folders.push_back({ static_cast<uint32_t>(start), static_cast<uint32_t>(name.size() + 1),
        polynomialOf(name) * kP + u'/' });
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
    const Folder& folderPart = m_folders[folder];
    const uint64_t plain = polynomialOf(units);
    const uint64_t qualified = folderPart.polynomial * kPowers[units.size()] + plain;
    m_hashes[m_hashes.append(1)] = { hashOf(plain, units.size()), hashOf(qualified, folderPart.length + units.size()) };

    const size_t specNameLength = std::min<size_t>(spec.name[0], kLongestSpecName);
    const bool keepSpecName = !specNameIsName(spec.name + 1, specNameLength, units);
    const size_t start = m_text.append(units.size() + (keepSpecName ? (specNameLength + 1) / 2 : 0));
    char16_t* text = &m_text[start];
    std::copy(units.begin(), units.end(), text);
    if (keepSpecName)
        memcpy(text + units.size(), spec.name + 1, specNameLength);
    m_files[m_files.append(1)] = { static_cast<uint32_t>(start), folder, spec.parID, spec.vRefNum, static_cast<uint8_t>(units.size()),
        keepSpecName ? static_cast<uint8_t>(specNameLength) : kSpecNameIsName };

    // The table no longer holds every key; it is built again if the index is asked often again.
    if (!m_slots.empty()) {
        m_slots = {};
        m_searches = 0;
    }
}

// The last file under a key is the one it names, so the search goes from the last file back.
uint32_t ImageFileIndex::searchFiles(uint32_t hash, std::u16string_view units) const
{
    for (size_t file = m_files.size(); file-- > 0;) {
        const KeyHashes& hashes = m_hashes[file];
        for (bool qualified : { false, true }) {
            if ((qualified ? hashes.qualified : hashes.plain) != hash)
                continue;
            const uint32_t key = keyOf(file, qualified);
            const KeyText text = textOf(key);
            if (sameUnits({}, units, text.folder, text.name))
                return key;
        }
    }
    return 0;
}

uint32_t ImageFileIndex::searchTable(uint32_t hash, std::u16string_view units) const
{
    const size_t mask = m_slots.size() - 1;
    for (size_t i = hash & mask; m_slots[i].key != 0; i = (i + 1) & mask) {
        if (m_slots[i].hash != hash)
            continue;
        const KeyText text = textOf(m_slots[i].key);
        if (sameUnits({}, units, text.folder, text.name))
            return m_slots[i].key;
    }
    return 0;
}

// The files' keys in the order they came, a later file's taking the slot of an earlier one's
// under the same key, in a table at most three slots in four of which are used: a key that is
// not there is known to be missing after a short run of slots.
void ImageFileIndex::buildTable()
{
    const size_t files = m_files.size();
    size_t size = 1024;
    while (2 * files * 4 > size * 3)
        size *= 2;
    m_slots.assign(size, Slot {});
    m_keyCount = 0;
    const size_t mask = size - 1;
    for (size_t file = 0; file < files; ++file) {
        if (file + kFetchAhead < files) {
            __builtin_prefetch(&m_slots[m_hashes[file + kFetchAhead].plain & mask], 1);
            __builtin_prefetch(&m_slots[m_hashes[file + kFetchAhead].qualified & mask], 1);
        }
        for (bool qualified : { false, true }) {
            const uint32_t key = keyOf(file, qualified);
            const uint32_t hash = qualified ? m_hashes[file].qualified : m_hashes[file].plain;
            const KeyText text = textOf(key);
            size_t i = hash & mask;
            while (m_slots[i].key != 0) {
                if (m_slots[i].hash == hash) {
                    const KeyText held = textOf(m_slots[i].key);
                    if (sameUnits(held.folder, held.name, text.folder, text.name))
                        break;
                }
                i = (i + 1) & mask;
            }
            m_keyCount += m_slots[i].key == 0;
            m_slots[i] = { hash, key };
        }
    }
}

std::optional<FSSpec> ImageFileIndex::find(std::u16string_view key)
{
    const uint32_t hash = hashOf(polynomialOf(key), key.size());
    if (m_slots.empty() && ++m_searches > kSearchesBeforeTable)
        buildTable();
    const uint32_t found = m_slots.empty() ? searchFiles(hash, key) : searchTable(hash, key);
    if (!found)
        return std::nullopt;
    return specOf(m_files[fileOf(found)]);
}

std::optional<FSSpec> ImageFileIndex::find(CFStringRef key)
{
    CFIndex length = CFStringGetLength(key);
    if (length < 0 || static_cast<size_t>(length) > kLongestKey)
        return std::nullopt;
    char16_t units[kLongestKey];
    CFStringGetCharacters(key, CFRangeMake(0, length), reinterpret_cast<UniChar*>(units));
    return find(std::u16string_view(units, static_cast<size_t>(length)));
}

size_t ImageFileIndex::keyCount()
{
    if (m_slots.empty())
        buildTable();
    return m_keyCount;
}

std::vector<std::u16string> ImageFileIndex::keys()
{
    if (m_slots.empty())
        buildTable();
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
