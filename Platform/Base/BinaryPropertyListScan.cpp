// A binary list names its objects by index, and libplist parses it by recursion, making a fresh
// copy of an object at every reference to it. So a list can nest too deep for the stack, refer
// to itself, or share one object so often (an array holding the next array twice, forty times
// over) that its expansion explodes. All of it is measured here as the expansion would be, each
// object once, before libplist sees the list; any structure that does not add up is refused.
#include "PropertyListScan.h"

#include <algorithm>

namespace StandIn {

namespace {

constexpr size_t kHeaderSize = 8;
constexpr size_t kTrailerSize = 32;

class BinaryScan {
public:
    BinaryScan(std::string_view data, const PropertyListLimits& limits)
        : m_data(data)
        , m_limits(limits)
    {
    }

    PropertyListStatus run()
    {
        if (m_data.size() < kHeaderSize + kTrailerSize)
            return PropertyListStatus::notAPropertyList;
        size_t trailer = m_data.size() - kTrailerSize;
        m_offsetSize = byteAt(trailer + 6);
        m_referenceSize = byteAt(trailer + 7);
        uint64_t count = number(trailer + 8, 8);
        uint64_t top = number(trailer + 16, 8);
        m_tableOffset = number(trailer + 24, 8);
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_referenceSize < 1 || m_referenceSize > 8 || count == 0 || top >= count
            || m_tableOffset < kHeaderSize || m_tableOffset > trailer || count > (trailer - m_tableOffset) / m_offsetSize)
            return PropertyListStatus::notAPropertyList;
        // Every object would be reached at least once, or it is only there to cost memory here.
        if (count > m_limits.maximumElements)
            return PropertyListStatus::tooManyElements;
        m_objects.assign(count, {});
        return visit(top, 0);
    }

private:
    enum class State : uint8_t {
        unseen,
        visiting,
        done,
    };

    // What an object becomes once expanded: its nodes, its text and data, its nesting below it.
    struct Object {
        State state { State::unseen };
        uint8_t height { 0 };
        uint64_t elements { 0 };
        uint64_t bytes { 0 };
    };

    unsigned byteAt(uint64_t offset) const { return static_cast<unsigned char>(m_data[offset]); }

    uint64_t number(uint64_t offset, unsigned width) const
    {
        uint64_t value = 0;
        for (unsigned k = 0; k < width; ++k)
            value = value << 8 | byteAt(offset + k);
        return value;
    }

    // The count in an object's marker, which may continue in an integer object after it;
    // position moves past both. False when it runs into the offset table.
    bool countAt(uint64_t& position, uint64_t& count) const
    {
        count = byteAt(position++) & 0xF;
        if (count != 0xF)
            return true;
        if (position >= m_tableOffset)
            return false;
        unsigned sizeMarker = byteAt(position++);
        unsigned width = 1u << (sizeMarker & 0xF);
        if (sizeMarker >> 4 != 0x1 || width > 8 || width > m_tableOffset - position)
            return false;
        count = number(position, width);
        position += width;
        return true;
    }

    // A dictionary's keys must be text without a NUL: libplist aborts the process on an
    // assertion when it walks a dictionary whose key holds one.
    bool keysAreText(uint64_t position, uint64_t count) const
    {
        for (uint64_t k = 0; k < count; ++k) {
            uint64_t key = number(position + k * m_referenceSize, m_referenceSize);
            if (key >= m_objects.size())
                return false;
            uint64_t start = number(m_tableOffset + key * m_offsetSize, m_offsetSize);
            if (start < kHeaderSize || start >= m_tableOffset)
                return false;
            unsigned kind = byteAt(start) >> 4;
            uint64_t length = 0;
            if ((kind != 0x5 && kind != 0x6) || !countAt(start, length))
                return false;
            unsigned width = kind == 0x5 ? 1 : 2;
            if (length > (m_tableOffset - start) / width)
                return false;
            for (uint64_t unit = 0; unit < length; ++unit) {
                if (number(start + unit * width, width) == 0)
                    return false;
            }
        }
        return true;
    }

    PropertyListStatus visit(uint64_t index, int depth)
    {
        Object& object = m_objects[index];
        if (object.state == State::visiting)
            return PropertyListStatus::selfContaining;
        if (depth > m_limits.maximumDepth || (object.state == State::done && depth + object.height > m_limits.maximumDepth))
            return PropertyListStatus::tooDeep;
        if (object.state == State::done)
            return PropertyListStatus::ok;
        object.state = State::visiting;

        uint64_t position = number(m_tableOffset + index * m_offsetSize, m_offsetSize);
        if (position < kHeaderSize || position >= m_tableOffset)
            return PropertyListStatus::notAPropertyList;
        unsigned kind = byteAt(position) >> 4;
        uint64_t count = 0;
        uint64_t references = 0;
        uint64_t bytes = 0;
        if (kind == 0x4 || kind == 0x5 || kind == 0x6 || kind == 0xA || kind == 0xC || kind == 0xD) {
            if (!countAt(position, count))
                return PropertyListStatus::notAPropertyList;
        }
        if (kind == 0x4 || kind == 0x5) {
            bytes = count;
        } else if (kind == 0x6) {
            // libplist turns UTF-16 into UTF-8: up to three bytes for each unit.
            bytes = count > UINT64_MAX / 3 ? UINT64_MAX : count * 3;
        } else if (kind == 0xA || kind == 0xC || kind == 0xD) {
            uint64_t room = (m_tableOffset - position) / m_referenceSize;
            if (count > room || (kind == 0xD && count > room / 2))
                return PropertyListStatus::notAPropertyList;
            if (kind == 0xD && count > m_limits.maximumDictionaryEntries)
                return PropertyListStatus::dictionaryTooLarge;
            if (kind == 0xD && !keysAreText(position, count))
                return PropertyListStatus::notAPropertyList;
            references = kind == 0xD ? count * 2 : count;
        }
        if (bytes > m_limits.maximumFileSize)
            return PropertyListStatus::expandsTooFar;

        uint64_t elements = 1;
        int height = 0;
        for (uint64_t k = 0; k < references; ++k) {
            uint64_t child = number(position + k * m_referenceSize, m_referenceSize);
            if (child >= m_objects.size())
                return PropertyListStatus::notAPropertyList;
            if (PropertyListStatus status = visit(child, depth + 1); status != PropertyListStatus::ok)
                return status;
            const Object& expanded = m_objects[child];
            // Each sum stays below twice its limit, so it cannot overflow.
            elements += expanded.elements;
            bytes += expanded.bytes;
            height = std::max(height, expanded.height + 1);
            if (elements > m_limits.maximumElements)
                return PropertyListStatus::tooManyElements;
            if (bytes > m_limits.maximumFileSize)
                return PropertyListStatus::expandsTooFar;
        }
        object.state = State::done;
        object.height = static_cast<uint8_t>(height);
        object.elements = elements;
        object.bytes = bytes;
        return PropertyListStatus::ok;
    }

    std::string_view m_data;
    const PropertyListLimits& m_limits;
    unsigned m_offsetSize { 0 };
    unsigned m_referenceSize { 0 };
    uint64_t m_tableOffset { 0 };
    std::vector<Object> m_objects;
};

}

PropertyListStatus scanBinaryPropertyList(std::string_view data, const PropertyListLimits& limits)
{
    return BinaryScan(data, limits).run();
}

}
