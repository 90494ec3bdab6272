// Property lists no writer would make, built byte by byte: the deep, shared and self-containing
// documents that once crashed or exhausted the readers, and their sound neighbours.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// `depth` XML arrays, each inside the one before: a value to put in a property list.
std::string nestedXMLArrays(int depth);

// A binary property list put together object by object. Objects name each other by index (in
// the order added, from 0), so an object may refer to one added after it, or to itself.
class BinaryPlist {
public:
    size_t add(std::string encoding);
    size_t addString(std::string_view ascii);
    size_t addInteger(uint8_t value);
    size_t addArray(const std::vector<size_t>& items);
    size_t addDictionary(const std::vector<std::pair<size_t, size_t>>& keysAndValues);
    size_t count() const { return m_objects.size(); }
    std::string bytes(size_t top) const;

private:
    std::vector<std::string> m_objects;
};

// {"k": chain}: `depth` arrays, each holding the next `fanOut` times over (one object, referred
// to again), so that it expands to fanOut^depth arrays; when cyclic, the innermost holds the
// outermost instead of being empty.
std::string binaryArrayChain(int depth, int fanOut, bool cyclic = false);
