#include "client/image/PackedValues.h"

#include "platform/AsciiText.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>

namespace vellrun::client::image {

// The block: the number of values, the bytes of the values and the bytes of
// the stream's content, each as a variable-length number; then each value as
// its length and its fields; then the content. Numbers are written seven bits
// to a byte, low bits first, so that the small ones most values hold (flags,
// lengths, counts) take one byte.

namespace {

// Hands each field of a record to f, in one order for packing and unpacking.
template <typename Record, typename F>
void Fields(Record& r, F& f) {
    using T = std::remove_const_t<Record>;
    if constexpr (std::is_same_v<T, UnknownValue>) {
        f(r.attributeName, r.syntax, r.data);
    } else if constexpr (std::is_same_v<T, StringValue>) {
        f(r.text);
    } else if constexpr (std::is_same_v<T, CiListValue>) {
        f(r.strings);
    } else if constexpr (std::is_same_v<T, BooleanValue> || std::is_same_v<T, IntegerValue>) {
        f(r.value);
    } else if constexpr (std::is_same_v<T, TimeValue> || std::is_same_v<T, IntervalValue>) {
        f(r.seconds);
    } else if constexpr (std::is_same_v<T, OctetStringValue>) {
        f(r.data);
    } else if constexpr (std::is_same_v<T, FaxNumberValue>) {
        f(r.number, r.parameterBits, r.parameters);
    } else if constexpr (std::is_same_v<T, NetAddressValue>) {
        f(r.type, r.address);
    } else if constexpr (std::is_same_v<T, OctetListValue>) {
        f(r.strings);
    } else if constexpr (std::is_same_v<T, EmailAddressValue>) {
        f(r.type, r.address);
    } else if constexpr (std::is_same_v<T, PathValue>) {
        f(r.nameSpace, r.volume, r.path);
    } else if constexpr (std::is_same_v<T, ReplicaPointerValue>) {
        f(r.server, r.type, r.number, r.addresses);
    } else if constexpr (std::is_same_v<T, ObjectAclValue>) {
        f(r.protectedAttribute, r.subject, r.privileges);
    } else if constexpr (std::is_same_v<T, PostalAddressValue>) {
        f(r.lines);
    } else if constexpr (std::is_same_v<T, TimeStamp>) {
        f(r.seconds, r.replica, r.event);
    } else if constexpr (std::is_same_v<T, StreamValue>) {
        f();
    } else if constexpr (std::is_same_v<T, BackLinkValue>) {
        f(r.remoteId, r.objectName);
    } else if constexpr (std::is_same_v<T, TypedNameValue>) {
        f(r.objectName, r.level, r.interval);
    } else if constexpr (std::is_same_v<T, HoldValue>) {
        f(r.objectName, r.amount);
    } else if constexpr (std::is_same_v<T, RawValue>) {
        f(r.bytes);
    } else {
        static_assert(std::is_same_v<T, void>, "every value record has its fields listed");
    }
}

// The number of bytes a variable-length number takes.
size_t NumberSize(uint64_t n) {
    size_t size = 1;
    for (; n >= 0x80; n >>= 7)
        ++size;
    return size;
}

uint8_t* PutNumber(uint8_t* at, uint64_t n) {
    for (; n >= 0x80; n >>= 7)
        *at++ = static_cast<uint8_t>(n | 0x80);
    *at++ = static_cast<uint8_t>(n);
    return at;
}

// Writes into room of its own that it keeps from one attribute to the next
// (a load packs a great many): the room grows when it must and is never
// cleared.
class Writer {
public:
    template <typename... Field>
    void operator()(const Field&... fields) {
        (Put(fields), ...);
    }

    void Number(uint64_t n) {
        Reserve(10);
        size_ = static_cast<size_t>(PutNumber(room_.get() + size_, n) - room_.get());
    }
    void Raw(const void* data, size_t size) {
        if (size == 0) return;
        Reserve(size);
        std::memcpy(room_.get() + size_, data, size);
        size_ += size;
    }
    void Byte(uint8_t byte) {
        Reserve(1);
        room_[size_++] = byte;
    }

    size_t Size() const { return size_; }
    const uint8_t* Data() const { return room_.get(); }
    void Clear() { size_ = 0; }
    // Puts the length of what was written from start on in front of it.
    void PrefixLength(size_t start) {
        const size_t length = size_ - start;
        const size_t prefix = NumberSize(length);
        Reserve(prefix);
        std::memmove(room_.get() + start + prefix, room_.get() + start, length);
        PutNumber(room_.get() + start, length);
        size_ += prefix;
    }

private:
    void Reserve(size_t more) {
        if (size_ + more <= capacity_) return;
        const size_t capacity = std::max({size_ + more, 2 * capacity_, size_t{256}});
        auto bigger = std::make_unique_for_overwrite<uint8_t[]>(capacity);
        if (size_ != 0) std::memcpy(bigger.get(), room_.get(), size_);
        room_ = std::move(bigger);
        capacity_ = capacity;
    }

    template <typename Integer>
    requires std::is_integral_v<Integer>
    void Put(Integer n) {
        // Signed numbers keep their 32 bits as they are.
        Number(static_cast<std::make_unsigned_t<Integer>>(n));
    }
    void Put(const std::string& text) {
        Number(text.size());
        Raw(text.data(), text.size());
    }
    void Put(const Bytes& bytes) {
        Number(bytes.size());
        Raw(bytes.data(), bytes.size());
    }
    void Put(const NetAddressValue& address) { (*this)(address.type, address.address); }
    template <typename Item>
    void Put(const std::vector<Item>& items) {
        Number(items.size());
        for (const Item& item : items)
            Put(item);
    }

    std::unique_ptr<uint8_t[]> room_;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// Reads from its own copy of the position: texts written while it reads
// cannot change it, so it stays in a register.
class Unpacker {
public:
    explicit Unpacker(const uint8_t* at) : at_(at) {}
    const uint8_t* Position() const { return at_; }
    uint8_t Byte() { return *at_++; }

    template <typename... Field>
    void operator()(Field&... fields) {
        (Get(fields), ...);
    }

    uint64_t Number() {
        if (*at_ < 0x80) return *at_++;  // most numbers here are small
        uint64_t n = 0;
        for (int shift = 0;; shift += 7) {
            const uint8_t byte = *at_++;
            n |= static_cast<uint64_t>(byte & 0x7F) << shift;
            if ((byte & 0x80) == 0) return n;
        }
    }

private:
    template <typename Integer>
    requires std::is_integral_v<Integer>
    void Get(Integer& n) { n = static_cast<Integer>(Number()); }
    void Get(std::string& text) {
        const auto size = static_cast<size_t>(Number());
        platform::ReplaceText(text, {reinterpret_cast<const char*>(at_), size});
        at_ += size;
    }
    void Get(Bytes& bytes) {
        const auto size = static_cast<size_t>(Number());
        bytes.assign(at_, at_ + size);
        at_ += size;
    }
    void Get(NetAddressValue& address) { (*this)(address.type, address.address); }
    template <typename Item>
    void Get(std::vector<Item>& items) {
        items.resize(static_cast<size_t>(Number()));
        for (Item& item : items)
            Get(item);
    }

    const uint8_t* at_;
};

// A record of alternative I, made empty only when out holds another one
// (then its texts keep their room).
template <size_t I>
void UnpackRecord(ValueRecord& record, Unpacker& unpack) {
    if (record.index() != I) record.emplace<I>();
    Fields(std::get<I>(record), unpack);
}

using RecordUnpacker = void (*)(ValueRecord&, Unpacker&);

template <size_t... I>
constexpr std::array<RecordUnpacker, sizeof...(I)> RecordUnpackers(
    std::index_sequence<I...> /*alternatives*/) {
    return {&UnpackRecord<I>...};
}

constexpr auto kRecordUnpackers =
    RecordUnpackers(std::make_index_sequence<std::variant_size_v<ValueRecord>>());

}  // namespace

uint8_t* ValueArena::Allocate(size_t size) {
    constexpr size_t kChunk = 1 << 20;
    if (size > left_) {
        // A block bigger than a quarter chunk gets a chunk of its own; the
        // current chunk's rest stays for the blocks after it.
        if (size > kChunk / 4) {
            chunks_.push_back(std::make_unique_for_overwrite<uint8_t[]>(size));
            return chunks_.back().get();
        }
        chunks_.push_back(std::make_unique_for_overwrite<uint8_t[]>(kChunk));
        free_ = chunks_.back().get();
        left_ = kChunk;
    }
    uint8_t* block = free_;
    free_ += size;
    left_ -= size;
    return block;
}

PackedValues::PackedValues(const std::vector<StoredValue>& values, ValueArena& arena,
                           std::span<const uint8_t> stream) {
    if (values.empty() && stream.empty()) return;
    thread_local Writer body;
    body.Clear();
    for (const StoredValue& stored : values) {
        const size_t start = body.Size();
        // A value's head: what every read needs, then the length of the
        // flags and time stamp, which are read only when asked for.
        body(stored.value.syntax, RecordSize(stored.value));
        body.Byte(static_cast<uint8_t>(stored.value.record.index()));
        uint8_t info[4 * 10];
        uint8_t* infoEnd = info;
        for (const uint64_t n :
             {uint64_t{stored.flags}, uint64_t{stored.modified.seconds},
              uint64_t{stored.modified.replica}, uint64_t{stored.modified.event}})
            infoEnd = PutNumber(infoEnd, n);
        body.Byte(static_cast<uint8_t>(infoEnd - info));
        body.Raw(info, static_cast<size_t>(infoEnd - info));
        std::visit([](const auto& record) { Fields(record, body); }, stored.value.record);
        body.PrefixLength(start);
    }
    uint8_t head[30];
    uint8_t* headEnd = PutNumber(head, values.size());
    headEnd = PutNumber(headEnd, body.Size());
    headEnd = PutNumber(headEnd, stream.size());
    const auto headSize = static_cast<size_t>(headEnd - head);
    uint8_t* at = arena.Allocate(headSize + body.Size() + stream.size());
    block_ = at;
    std::memcpy(at, head, headSize);
    if (body.Size() != 0) std::memcpy(at + headSize, body.Data(), body.Size());
    if (!stream.empty()) std::memcpy(at + headSize + body.Size(), stream.data(), stream.size());
}

namespace {

struct BlockHead {
    size_t count = 0;
    size_t valueBytes = 0;
    size_t streamBytes = 0;
    const uint8_t* values = nullptr;
};

BlockHead ReadHead(const uint8_t* block) {
    BlockHead head;
    if (block == nullptr) return head;
    Unpacker read(block);
    head.count = static_cast<size_t>(read.Number());
    head.valueBytes = static_cast<size_t>(read.Number());
    head.streamBytes = static_cast<size_t>(read.Number());
    head.values = read.Position();
    return head;
}

}  // namespace

size_t PackedValues::size() const {
    return ReadHead(block_).count;
}

std::span<const uint8_t> PackedValues::Stream() const {
    const BlockHead head = ReadHead(block_);
    if (head.streamBytes == 0) return {};
    return {head.values + head.valueBytes, head.streamBytes};
}

PackedValues::Reader::Reader(const PackedValues& values) {
    const BlockHead head = ReadHead(values.block_);
    at_ = head.values;
    left_ = head.count;
}

void PackedValues::Reader::NextHead(Head& head) {
    Unpacker read(at_);
    const auto length = static_cast<size_t>(read.Number());
    const uint8_t* end = read.Position() + length;
    read(head.syntax, head.recordSize);
    head.layout = read.Byte();
    const size_t infoLength = read.Byte();
    head.info = read.Position();
    head.record = head.info + infoLength;
    at_ = end;
    --left_;
}

void PackedValues::ReadInfo(Reader::Head& head) {
    if (head.info == nullptr) return;
    Unpacker read(head.info);
    read(head.flags, head.modified.seconds, head.modified.replica, head.modified.event);
    head.info = nullptr;
}

void PackedValues::UnpackRecord(const Reader::Head& head, ValueRecord& out) {
    Unpacker read(head.record);
    kRecordUnpackers[head.layout](out, read);
}

void PackedValues::Reader::Next(StoredValue& out) {
    Head head;
    NextHead(head);
    ReadInfo(head);
    out.flags = head.flags;
    out.modified = head.modified;
    out.value.syntax = head.syntax;
    UnpackRecord(head, out.value.record);
}

void PackedValues::Reader::Skip() {
    Unpacker read(at_);
    const auto length = static_cast<size_t>(read.Number());
    at_ = read.Position() + length;
    --left_;
}

std::vector<StoredValue> PackedValues::Unpack() const {
    std::vector<StoredValue> values(size());
    Reader reader(*this);
    for (StoredValue& value : values)
        reader.Next(value);
    return values;
}

StoredValue PackedValues::operator[](size_t index) const {
    Reader reader(*this);
    for (size_t i = 0; i < index; ++i)
        reader.Skip();
    StoredValue value;
    reader.Next(value);
    return value;
}

}  // namespace vellrun::client::image
