#pragma once

// Items addressed by handles, kept in slots that are used again once freed:
// making and freeing a context or a buffer, which a report does for every
// cell it reads, then costs no allocation and no tree walk. An item keeps its
// storage (its strings and vectors) from one use of its slot to the next; the
// caller resets what it needs.
//
// A handle carries a kind tag, its slot and the slot's generation, so a freed
// handle, a handle of another kind and a made-up number are never found, and
// no two live handles of different kinds share a number.
// Owned by ImageClient::State; used from one thread.

#include <cstdint>
#include <memory>
#include <vector>

namespace vellrun::client::image {

template <typename Handle, typename Item, uint32_t Kind>
class HandlePool {
    static_assert(Kind >= 1 && Kind <= 3, "the kind tag takes the top two bits");

public:
    // A slot for a new item, or null when every slot a handle can name is taken.
    Item* Add(Handle& handle) {
        uint32_t index = 0;
        if (!free_.empty()) {
            index = free_.back();
            free_.pop_back();
        } else {
            if (slots_.size() > kIndexMask) return nullptr;
            index = static_cast<uint32_t>(slots_.size());
            slots_.push_back(std::make_unique<Slot>());
        }
        Slot& slot = *slots_[index];
        slot.generation = (slot.generation + 1) & kGenerationMask;
        slot.live = true;
        handle = static_cast<Handle>(Encode(index, slot.generation));
        return &slot.item;
    }

    Item* Find(Handle handle) {
        const auto value = static_cast<uint32_t>(handle);
        const uint32_t index = value & kIndexMask;
        if (index >= slots_.size()) return nullptr;
        Slot& slot = *slots_[index];
        if (!slot.live || value != Encode(index, slot.generation)) return nullptr;
        return &slot.item;
    }

    bool Remove(Handle handle) {
        if (Find(handle) == nullptr) return false;
        const uint32_t index = static_cast<uint32_t>(handle) & kIndexMask;
        slots_[index]->live = false;
        free_.push_back(index);
        return true;
    }

    // Calls f on every live item.
    template <typename F>
    void ForEach(F&& f) {
        for (auto& slot : slots_)
            if (slot->live) f(slot->item);
    }

private:
    static constexpr uint32_t kIndexBits = 20;
    static constexpr uint32_t kIndexMask = (1u << kIndexBits) - 1;
    static constexpr uint32_t kKindShift = 30;
    static constexpr uint32_t kGenerationMask = (1u << (kKindShift - kIndexBits)) - 1;

    static uint32_t Encode(uint32_t index, uint32_t generation) {
        return (Kind << kKindShift) | (generation << kIndexBits) | index;
    }

    struct Slot {
        uint32_t generation = 0;
        bool live = false;
        Item item{};
    };
    std::vector<std::unique_ptr<Slot>> slots_;  // items stay where they are while the pool grows
    std::vector<uint32_t> free_;
};

}  // namespace vellrun::client::image
