#pragma once

// The values of one stored attribute, packed into one block of bytes. A
// directory holds many more values than it reads at a time: a value record
// with its texts on the heap costs several times the bytes of the value, so
// the tree keeps values packed and unpacks a value when it is read. The block
// also holds a stream attribute's content.

#include "client/AttrValue.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace vellrun::client::image {

struct StoredValue {
    AttrValue value;
    uint32_t flags = 0;  // value flags as the directory reports them
    TimeStamp modified;

    bool operator==(const StoredValue&) const = default;
};

// Room for the blocks of packed values of one tree. A block is never freed
// on its own (a change packs the attribute's values into a new block and
// leaves the old one), so blocks are cut from large chunks that go with the
// tree: no allocation and no bookkeeping per block.
class ValueArena {
public:
    uint8_t* Allocate(size_t size);

private:
    std::vector<std::unique_ptr<uint8_t[]>> chunks_;
    uint8_t* free_ = nullptr;
    size_t left_ = 0;
};

// A block of the arena it was packed into, so a copy is a copy of the
// pointer: the arena must outlive every copy.
class PackedValues {
public:
    PackedValues() = default;
    // stream: the content of a stream attribute (its one value is a StreamValue).
    PackedValues(const std::vector<StoredValue>& values, ValueArena& arena,
                 std::span<const uint8_t> stream = {});

    size_t size() const;
    // The count comes first in a block, and only a count of 0 starts with a 0 byte.
    bool empty() const { return block_ == nullptr || block_[0] == 0; }
    std::span<const uint8_t> Stream() const;

    // Takes the values in order, each unpacked into a record the caller keeps.
    class Reader {
    public:
        Reader() = default;
        explicit Reader(const PackedValues& values);
        bool AtEnd() const { return left_ == 0; }
        // The next value into out, reusing the room its texts already have.
        void Next(StoredValue& out);
        void Skip();

        // What a value says of itself, without unpacking its record.
        struct Head {
            SyntaxId syntax = 0;
            size_t layout = 0;      // the record's index in ValueRecord
            size_t recordSize = 0;  // RecordSize of the value
            const uint8_t* record = nullptr;
            // The flags and time stamp are read from the block only when
            // asked for (ReadInfo); until then info says where they lie.
            const uint8_t* info = nullptr;
            uint32_t flags = 0;
            TimeStamp modified;
        };
        // The next value's head; its record stays where it lies, in the
        // block, for UnpackRecord, and its flags and time stamp for ReadInfo.
        void NextHead(Head& head);

    private:
        const uint8_t* at_ = nullptr;
        size_t left_ = 0;
    };

    // The record of a head, into out (keeping the room its texts have).
    static void UnpackRecord(const Reader::Head& head, ValueRecord& out);
    // Fills a head's flags and time stamp from the block, once.
    static void ReadInfo(Reader::Head& head);

    // Every value, unpacked.
    std::vector<StoredValue> Unpack() const;
    // One value, unpacked; finding it passes over the values before it.
    StoredValue operator[](size_t index) const;
    StoredValue front() const { return (*this)[0]; }

    // Loops over the values unpack each in turn.
    class Iterator {
    public:
        explicit Iterator(const PackedValues& values) : reader_(values) { ++*this; }
        Iterator() = default;
        const StoredValue& operator*() const { return current_; }
        const StoredValue* operator->() const { return &current_; }
        Iterator& operator++() {
            atEnd_ = reader_.AtEnd();
            if (!atEnd_) reader_.Next(current_);
            return *this;
        }
        bool operator==(const Iterator& other) const { return atEnd_ == other.atEnd_; }

    private:
        Reader reader_;
        StoredValue current_;
        bool atEnd_ = true;
    };
    Iterator begin() const { return Iterator(*this); }
    Iterator end() const { return Iterator(); }

private:
    // A few counts, then the values, then the stream's content; null while
    // there are no values and no content.
    const uint8_t* block_ = nullptr;
};

}  // namespace vellrun::client::image
