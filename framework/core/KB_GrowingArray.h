#pragma once
// Growing array {initial capacity, capacity, number of members, storage}. Add doubles the
// capacity when full (5 when it is 0); removing members halves it while fewer than half the
// slots are used, never below the initial capacity.
//
// Element types with a constructor or destructor (KB_String, records holding strings, random
// vectors) keep capacity constructed elements in the storage, default-constructed and assigned on
// use; plain elements (numbers, pointers, trivial records) live in raw memory. Storage comes
// from the aligned heap. Indexing is unchecked. Not thread-safe: owners lock around it.

#include "framework/core/KB_Memory.h"

#include <cassert>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

template <typename T>
class KB_GrowingArray
{
public:
    explicit KB_GrowingArray(std::uint32_t initialCapacity = 0)
        : m_uiInitialCapacity(initialCapacity), m_uiCapacity(initialCapacity)
    {
        m_pData = CreateStorage(m_uiCapacity);
    }

    KB_GrowingArray(const KB_GrowingArray& other)
        : m_uiInitialCapacity(other.m_uiInitialCapacity), m_uiCapacity(other.m_uiCapacity),
          m_uiNumMembers(other.m_uiNumMembers)
    {
        m_pData = CreateStorage(m_uiCapacity);
        for (std::uint32_t i = 0; i < m_uiNumMembers; ++i)
            m_pData[i] = other.m_pData[i];
    }

    ~KB_GrowingArray()
    {
        DestroyStorage(m_pData, m_uiCapacity);
        m_pData = nullptr;
    }

    // Copies the counts and the members into new storage of the source's capacity.
    KB_GrowingArray& operator=(const KB_GrowingArray& other)
    {
        if (this == &other)
            return *this;
        T* pData = CreateStorage(other.m_uiCapacity);
        for (std::uint32_t i = 0; i < other.m_uiNumMembers; ++i)
            pData[i] = other.m_pData[i];
        DestroyStorage(m_pData, m_uiCapacity);
        m_pData = pData;
        m_uiInitialCapacity = other.m_uiInitialCapacity;
        m_uiCapacity = other.m_uiCapacity;
        m_uiNumMembers = other.m_uiNumMembers;
        return *this;
    }

    void Add(const T& value)
    {
        if (m_uiNumMembers == m_uiCapacity)
        {
            const T copy(value); // value may live in the storage that growing frees
            GrowArray();
            m_pData[m_uiNumMembers++] = copy;
            return;
        }
        m_pData[m_uiNumMembers++] = value;
    }

    // New capacity: twice the old one, or 5 from 0; members copied in order.
    void GrowArray() { Reallocate(m_uiCapacity == 0 ? 5u : m_uiCapacity * 2u); }

    // Stores value at index (at most the number of members), moving the tail up by one.
    void Insert(std::uint32_t index, const T& value)
    {
        assert(index <= m_uiNumMembers);
        if (index > m_uiNumMembers)
            index = m_uiNumMembers;
        const T copy(value);
        if (m_uiNumMembers == m_uiCapacity)
            GrowArray();
        for (std::uint32_t i = m_uiNumMembers; i > index; --i)
            m_pData[i] = m_pData[i - 1];
        m_pData[index] = copy;
        ++m_uiNumMembers;
    }

    // Moves every later member down by one (order kept) and resets the freed last slot.
    // An index past the members changes nothing.
    void Remove(std::uint32_t index, bool shrink = true)
    {
        assert(index < m_uiNumMembers);
        if (index >= m_uiNumMembers)
            return;
        for (std::uint32_t i = index + 1; i < m_uiNumMembers; ++i)
            m_pData[i - 1] = m_pData[i];
        m_pData[m_uiNumMembers - 1] = T();
        --m_uiNumMembers;
        if (shrink)
            ShrinkArrayIfNecessary();
    }

    // Halves the capacity (not below the initial capacity) when fewer than half the slots are
    // used or the array is empty.
    void ShrinkArrayIfNecessary()
    {
        if (m_uiNumMembers >= m_uiCapacity / 2 && m_uiNumMembers != 0)
            return;
        std::uint32_t capacity = m_uiCapacity / 2;
        if (capacity < m_uiInitialCapacity)
            capacity = m_uiInitialCapacity;
        if (capacity != m_uiCapacity)
            Reallocate(capacity);
    }

    // Resets every member and empties the array; with shrink it returns to the initial
    // capacity, without it keeps its storage.
    void RemoveAll(bool shrink = true)
    {
        for (std::uint32_t i = 0; i < m_uiNumMembers; ++i)
            m_pData[i] = T();
        m_uiNumMembers = 0;
        if (shrink)
            ShrinkArrayToInitialCapacity();
    }

    void ShrinkArrayToInitialCapacity()
    {
        if (m_uiNumMembers != 0)
        {
            ShrinkArrayIfNecessary();
            return;
        }
        if (m_uiCapacity != m_uiInitialCapacity)
        {
            DestroyStorage(m_pData, m_uiCapacity);
            m_uiCapacity = m_uiInitialCapacity;
            m_pData = CreateStorage(m_uiCapacity);
        }
    }

    // For arrays of owned pointers: deletes every pointee, nulls the slots, empties the array and
    // returns it to the initial capacity.
    void DeleteAll()
        requires std::is_pointer_v<T>
    {
        for (std::uint32_t i = 0; i < m_uiNumMembers; ++i)
        {
            delete m_pData[i];
            m_pData[i] = nullptr;
        }
        m_uiNumMembers = 0;
        ShrinkArrayToInitialCapacity();
    }

    std::uint32_t GetNumMembers() const { return m_uiNumMembers; }
    std::uint32_t GetCapacity() const { return m_uiCapacity; }
    std::uint32_t GetInitialCapacity() const { return m_uiInitialCapacity; }

    T& operator[](std::uint32_t index) { return m_pData[index]; }             // no bounds check
    const T& operator[](std::uint32_t index) const { return m_pData[index]; } // no bounds check

private:
    static constexpr bool RAW_STORAGE =
        std::is_trivially_default_constructible_v<T> && std::is_trivially_destructible_v<T>;
    static_assert(alignof(T) <= KB_MEMORY_ALIGNMENT, "element alignment exceeds the aligned heap");

    static T* CreateStorage(std::uint32_t capacity)
    {
        if (capacity == 0)
            return nullptr;
        void* pBlock = KB_Memory::Allocate(static_cast<std::uint64_t>(capacity) * sizeof(T));
        T* pData = static_cast<T*>(pBlock);
        if constexpr (!RAW_STORAGE)
            for (std::uint32_t i = 0; i < capacity; ++i)
                new (pData + i) T();
        return pData;
    }

    static void DestroyStorage(T* pData, std::uint32_t capacity)
    {
        if (pData == nullptr)
            return;
        if constexpr (!RAW_STORAGE)
            for (std::uint32_t i = 0; i < capacity; ++i)
                pData[i].~T();
        KB_Memory::Free(pData);
    }

    void Reallocate(std::uint32_t capacity)
    {
        T* pData = CreateStorage(capacity);
        const std::uint32_t kept = m_uiNumMembers < capacity ? m_uiNumMembers : capacity;
        for (std::uint32_t i = 0; i < kept; ++i)
            pData[i] = std::move(m_pData[i]); // the old storage is destroyed next
        DestroyStorage(m_pData, m_uiCapacity);
        m_pData = pData;
        m_uiCapacity = capacity;
        m_uiNumMembers = kept;
    }

    std::uint32_t m_uiInitialCapacity = 0;
    std::uint32_t m_uiCapacity = 0;
    std::uint32_t m_uiNumMembers = 0;
    T* m_pData = nullptr; // owned; null when the capacity is 0
};
