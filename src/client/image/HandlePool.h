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
        if (freeHead_ == kNoSlot && !Grow()) return nullptr;
        const uint32_t index = freeHead_;
        Slot& slot = *slots_[index];
        freeHead_ = slot.nextFree;
        slot.generation = (slot.generation + 1) & kGenerationMask;
        slot.handle = Encode(index, slot.generation);
        handle = static_cast<Handle>(slot.handle);
        return &slot.item;
    }

    // Every client call looks its handles up: one compare with the handle
    // the slot holds while it lives.
    Item* Find(Handle handle) {
        Slot* slot = SlotOf(handle);
        return slot ? &slot->item : nullptr;
    }

    bool Remove(Handle handle) {
        Slot* slot = SlotOf(handle);
        if (slot == nullptr) return false;
        slot->handle = kNoHandle;
        slot->nextFree = freeHead_;
        freeHead_ = static_cast<uint32_t>(handle) & kIndexMask;
        return true;
    }

    // Calls f on every live item.
    template <typename F>
    void ForEach(F&& f) {
        for (auto& slot : slots_)
            if (slot->handle != kNoHandle) f(slot->item);
    }

private:
    static constexpr uint32_t kIndexBits = 20;
    static constexpr uint32_t kIndexMask = (1u << kIndexBits) - 1;
    static constexpr uint32_t kKindShift = 30;
    static constexpr uint32_t kGenerationMask = (1u << (kKindShift - kIndexBits)) - 1;

    static uint32_t Encode(uint32_t index, uint32_t generation) {
        return (Kind << kKindShift) | (generation << kIndexBits) | index;
    }

    // No handle encodes to 0: the kind tag is never 0.
    static constexpr uint32_t kNoHandle = 0;
    // Ends the chain of free slots: no index reaches it.
    static constexpr uint32_t kNoSlot = ~0u;

    struct Slot {
        uint32_t generation = 0;
        uint32_t handle = kNoHandle;  // the live item's handle; kNoHandle while free
        uint32_t nextFree = kNoSlot;  // while free: the slot freed before it
        Item item{};
    };

    Slot* SlotOf(Handle handle) {
        const auto value = static_cast<uint32_t>(handle);
        const uint32_t index = value & kIndexMask;
        if (index >= count_) return nullptr;
        Slot* slot = slots_[index].get();
        return (value == slot->handle && value != kNoHandle) ? slot : nullptr;
    }
    // A new free slot, out of line: a pool soon holds all the slots it
    // needs, and the making and freeing of every cell's handles stays short.
    [[gnu::noinline]] bool Grow() {
        if (slots_.size() > kIndexMask) return false;
        freeHead_ = static_cast<uint32_t>(slots_.size());
        slots_.push_back(std::make_unique<Slot>());
        count_ = static_cast<uint32_t>(slots_.size());
        return true;
    }

    std::vector<std::unique_ptr<Slot>> slots_;  // items stay where they are while the pool grows
    uint32_t count_ = 0;  // slots_.size(), kept for the lookup every call makes
    // The free slots, chained through the slots themselves, the last freed
    // first: freeing costs no allocation.
    uint32_t freeHead_ = kNoSlot;
};

}  // namespace vellrun::client::image
