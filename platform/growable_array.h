// growable_array.h - the one growable array the program uses for its lists (the timeline's parts,
// a vertex's faces and neighbours, a mesh's modifiers, a scene's materials, the texture
// catalogue): it starts with no storage, takes 16 slots on the first append and doubles when
// full, moving the old entries over. It owns its storage, never what the entries point to: the
// storage goes with the array when it is moved and is freed when it is destroyed; an array is
// never copied.
#pragma once

#include <cstdint>
#include <cstddef>
#include <new>
#include <utility>

#include "platform/fatal.h"

template <class T> struct GrowableArray {
    T* items = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;

    // The first append takes this many slots; a full array doubles.
    static constexpr int32_t firstCapacity = 16;

    GrowableArray() = default;
    GrowableArray(const GrowableArray&) = delete;
    GrowableArray& operator=(const GrowableArray&) = delete;
    // A moved-from array is empty and may be used again.
    GrowableArray(GrowableArray&& other) noexcept { swap(other); }
    GrowableArray& operator=(GrowableArray&& other) noexcept {
        if (this != &other) {
            release();
            swap(other);
        }
        return *this;
    }
    ~GrowableArray() { delete[] items; }

    // Exchanges the storage (and so the entries) of two arrays.
    void swap(GrowableArray& other) noexcept {
        std::swap(items, other.items);
        std::swap(count, other.count);
        std::swap(capacity, other.capacity);
    }

    // Adds `item` at the end. Running out of memory is fatal with a message, never a crash.
    void append(T item) {
        if (count == capacity) {
            const int32_t grown = capacity == 0 ? firstCapacity : capacity * 2;
            T* bigger = new (std::nothrow) T[static_cast<size_t>(grown)];
            if (!bigger) {
                sys::fatalf("out of memory", "A list of %d entries could not grow to %d.", count,
                            grown);
            }
            for (int32_t i = 0; i < count; ++i) {
                bigger[i] = std::move(items[i]);
            }
            delete[] items;
            items = bigger;
            capacity = grown;
        }
        items[count++] = std::move(item);
    }
    bool contains(const T& item) const {
        for (int32_t i = 0; i < count; ++i) {
            if (items[i] == item) {
                return true;
            }
        }
        return false;
    }
    // Appends unless already present.
    void add(T item) {
        if (!contains(item)) {
            append(item);
        }
    }
    // Frees the storage and starts empty again.
    void release() {
        delete[] items;
        items = nullptr;
        count = 0;
        capacity = 0;
    }
};
