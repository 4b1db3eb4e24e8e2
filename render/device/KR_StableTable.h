#pragma once
// Append-only table of records whose addresses never change: records live in fixed-size chunks
// that are never moved or freed before the table, so a thread may read a published record while
// another thread (holding the owner's lock) appends. The count is published after the record is
// in place. Holds at most CHUNK_SIZE * MAX_CHUNKS records; Append fails beyond that.
//
// Append, and any change of a record, need the owner's lock; Get and GetCount need none.

#include <atomic>
#include <cstdint>
#include <new>

template <class T>
class KR_StableTable
{
public:
    static constexpr std::uint32_t CHUNK_BITS = 6;
    static constexpr std::uint32_t CHUNK_SIZE = 1u << CHUNK_BITS;
    static constexpr std::uint32_t MAX_CHUNKS = 1024;

    KR_StableTable() = default;
    ~KR_StableTable()
    {
        for (std::atomic<T*>& chunk : m_aChunks)
            delete[] chunk.load(std::memory_order_relaxed);
    }
    KR_StableTable(const KR_StableTable&) = delete;
    KR_StableTable& operator=(const KR_StableTable&) = delete;

    std::uint32_t GetCount() const { return m_uiCount.load(std::memory_order_acquire); }

    // Null for an index at or past the count.
    T* Get(std::uint32_t uiIndex) const
    {
        if (uiIndex >= GetCount())
            return nullptr;
        return &m_aChunks[uiIndex >> CHUNK_BITS].load(std::memory_order_acquire)[uiIndex & (CHUNK_SIZE - 1)];
    }

    // Copies the record to the end and returns its index; 0xFFFFFFFF when full or out of memory.
    std::uint32_t Append(const T& record)
    {
        const std::uint32_t uiIndex = m_uiCount.load(std::memory_order_relaxed);
        const std::uint32_t uiChunk = uiIndex >> CHUNK_BITS;
        if (uiChunk >= MAX_CHUNKS)
            return 0xFFFFFFFFu;
        T* pChunk = m_aChunks[uiChunk].load(std::memory_order_relaxed);
        if (pChunk == nullptr)
        {
            pChunk = new (std::nothrow) T[CHUNK_SIZE];
            if (pChunk == nullptr)
                return 0xFFFFFFFFu;
            m_aChunks[uiChunk].store(pChunk, std::memory_order_release);
        }
        pChunk[uiIndex & (CHUNK_SIZE - 1)] = record;
        m_uiCount.store(uiIndex + 1, std::memory_order_release);
        return uiIndex;
    }

private:
    std::atomic<T*> m_aChunks[MAX_CHUNKS] = {};
    std::atomic<std::uint32_t> m_uiCount{0};
};
