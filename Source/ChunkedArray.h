// An array that grows a chunk at a time and never moves what it holds: filling it touches each
// of its pages once, where a doubling array copies its contents at every doubling.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

// append(count) gives count elements side by side, at most a chunk's worth, from the index it
// returns; a run that would not fit the last chunk starts the next, the rest of the last being
// skipped, never read.
template<typename T>
class ChunkedArray {
public:
    static constexpr size_t kChunk = (size_t(128) << 10) / sizeof(T);

    size_t size() const { return m_size; }
    T& operator[](size_t i) { return m_chunks[i / kChunk][i % kChunk]; }
    const T& operator[](size_t i) const { return m_chunks[i / kChunk][i % kChunk]; }

    size_t append(size_t count)
    {
        // Even an empty run has an address inside a chunk.
        if (m_size + std::max<size_t>(count, 1) > m_chunks.size() * kChunk) {
            m_size = m_chunks.size() * kChunk; // a run never spans two chunks
            m_chunks.push_back(std::make_unique_for_overwrite<T[]>(kChunk));
        }
        size_t start = m_size;
        m_size += count;
        return start;
    }

private:
    std::vector<std::unique_ptr<T[]>> m_chunks;
    size_t m_size { 0 };
};
