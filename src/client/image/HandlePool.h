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
            count_ = static_cast<uint32_t>(slots_.size());
        }
        Slot& slot = *slots_[index];
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
        free_.push_back(static_cast<uint32_t>(handle) & kIndexMask);
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

    struct Slot {
        uint32_t generation = 0;
        uint32_t handle = kNoHandle;  // the live item's handle; kNoHandle while free
        Item item{};
    };

    Slot* SlotOf(Handle handle) {
        const auto value = static_cast<uint32_t>(handle);
        const uint32_t index = value & kIndexMask;
        if (index >= count_) return nullptr;
        Slot* slot = slots_[index].get();
        return (value == slot->handle && value != kNoHandle) ? slot : nullptr;
    }
    std::vector<std::unique_ptr<Slot>> slots_;  // items stay where they are while the pool grows
    uint32_t count_ = 0;  // slots_.size(), kept for the lookup every call makes
    std::vector<uint32_t> free_;
};

}  // namespace vellrun::client::image
