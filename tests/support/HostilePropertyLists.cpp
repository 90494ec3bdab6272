#include "tests/support/HostilePropertyLists.h"

namespace {

// Every number of the format here is four bytes wide: references, offsets and long counts.
std::string bigEndian32(uint64_t value)
{
    std::string bytes;
    for (int k = 3; k >= 0; --k)
        bytes += static_cast<char>(value >> (8 * k));
    return bytes;
}

std::string bigEndian64(uint64_t value)
{
    return bigEndian32(value >> 32) + bigEndian32(value & 0xFFFFFFFF);
}

// Built by appending: GCC 12 at -O3 takes a literal added between string temporaries for an
// overlapping copy (a -Wrestrict false positive).
std::string marker(unsigned kind, size_t count)
{
    std::string bytes(1, static_cast<char>(kind << 4 | (count < 15 ? count : 0xF)));
    if (count >= 15)
        bytes.append("\x12").append(bigEndian32(count));
    return bytes;
}

}

std::string nestedXMLArrays(int depth)
{
    std::string arrays;
    arrays.reserve(15 * static_cast<size_t>(depth));
    for (int level = 0; level < depth; ++level)
        arrays += "<array>";
    for (int level = 0; level < depth; ++level)
        arrays += "</array>";
    return arrays;
}

size_t BinaryPlist::add(std::string encoding)
{
    m_objects.push_back(std::move(encoding));
    return m_objects.size() - 1;
}

size_t BinaryPlist::addString(std::string_view ascii)
{
    return add(marker(0x5, ascii.size()) + std::string(ascii));
}

size_t BinaryPlist::addInteger(uint8_t value)
{
    return add(std::string("\x10", 1) + static_cast<char>(value));
}

size_t BinaryPlist::addArray(const std::vector<size_t>& items)
{
    std::string encoding = marker(0xA, items.size());
    for (size_t item : items)
        encoding += bigEndian32(item);
    return add(std::move(encoding));
}

size_t BinaryPlist::addDictionary(const std::vector<std::pair<size_t, size_t>>& keysAndValues)
{
    std::string encoding = marker(0xD, keysAndValues.size());
    for (const auto& entry : keysAndValues)
        encoding += bigEndian32(entry.first);
    for (const auto& entry : keysAndValues)
        encoding += bigEndian32(entry.second);
    return add(std::move(encoding));
}

std::string BinaryPlist::bytes(size_t top) const
{
    std::string data = "bplist00";
    std::string table;
    for (const auto& object : m_objects) {
        table += bigEndian32(data.size());
        data += object;
    }
    size_t tableOffset = data.size();
    data.append(table).append(6, '\0').append("\x04\x04");
    return data.append(bigEndian64(m_objects.size())).append(bigEndian64(top)).append(bigEndian64(tableOffset));
}

std::string binaryArrayChain(int depth, int fanOut, bool cyclic)
{
    BinaryPlist list;
    size_t top = list.addDictionary({ { 1, 2 } });
    list.addString("k");
    for (int level = 0; level < depth; ++level)
        list.addArray(std::vector<size_t>(fanOut, list.count() + 1));
    list.addArray(cyclic ? std::vector<size_t> { 2 } : std::vector<size_t> {});
    return list.bytes(top);
}
