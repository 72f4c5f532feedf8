// growable_array.h - the one growable array the program uses for its lists (the timeline's parts,
// a vertex's faces and neighbours, a mesh's modifiers, a scene's materials, the texture
// catalogue): it starts with no storage, takes 16 slots on the first append and doubles when
// full, copying the old entries. It owns only its storage, never what the entries point to.
#pragma once

#include <cstdint>
#include <cstddef>
#include <new>

#include "platform/fatal.h"

template <class T> struct GrowableArray {
    T* items = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;

    GrowableArray() = default;
    GrowableArray(const GrowableArray&) = delete;
    GrowableArray& operator=(const GrowableArray&) = delete;
    ~GrowableArray() { delete[] items; }

    // Adds `item` at the end. Running out of memory is fatal with a message, never a crash.
    void append(T item) {
        if (count == capacity) {
            const int32_t grown = capacity == 0 ? 16 : capacity * 2;
            T* bigger = new (std::nothrow) T[static_cast<size_t>(grown)];
            if (!bigger) {
                sys::fatalf("out of memory", "A list of %d entries could not grow to %d.", count,
                            grown);
            }
            for (int32_t i = 0; i < count; ++i) {
                bigger[i] = items[i];
            }
            delete[] items;
            items = bigger;
            capacity = grown;
        }
        items[count++] = item;
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
