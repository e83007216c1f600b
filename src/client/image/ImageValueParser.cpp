#include "client/image/ImageValueParser.h"

#include "client/image/DirectoryImage.h"
#include "platform/AsciiText.h"
#include "platform/RegularFile.h"

#include <algorithm>
#include <system_error>
#include <type_traits>
#include <variant>

namespace vellrun::client::image::detail {

namespace {

void CheckSize(size_t size) {
    if (size > kMaxValueBytes) {
        Refuse("the value is longer than " + std::to_string(kMaxValueBytes) + " bytes");
    }
}

// Hexadecimal digits in pairs; blanks anywhere are ignored.
void AppendHex(const Json& value, Bytes& out) {
    const std::string& text = ReadText(value);
    size_t i = 0;
    // At most one byte per two characters: made once at about its size, not
    // grown. Two digits at a time, as nearly every image writes them, straight
    // into that room; from a blank or a fault on, one character at a time.
    if (const size_t most = text.size() / 2; most <= kMaxValueBytes) {
        const size_t start = out.size();
        out.resize(start + most);
        uint8_t* to = out.data() + start;
        // Held apart from the text: a byte written through `to` could be the
        // text's own size or address, as far as the compiler knows.
        const char* digits = text.data();
        const size_t count = text.size();
        for (; i + 1 < count; i += 2) {
            const int high = platform::HexDigitValue(digits[i]);
            const int low = platform::HexDigitValue(digits[i + 1]);
            if ((high | low) < 0) break;
            *to++ = static_cast<uint8_t>(high * 16 + low);
        }
        out.resize(static_cast<size_t>(to - out.data()));
    }
    int high = -1;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t') continue;
        const int digit = platform::HexDigitValue(c);
        if (digit < 0) {
            // The whole character is named, not its first byte alone (the
            // text is UTF-8, checked by the JSON parser).
            const auto lead = static_cast<unsigned char>(c);
            const size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            Refuse(Quoted(text) + " is not hexadecimal (bad character " +
                   Quoted(std::string_view(text).substr(i, length)) + ")");
        }
        if (high < 0) {
            high = digit;
        } else {
            out.push_back(static_cast<uint8_t>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0) Refuse(Quoted(text) + " has an odd number of hexadecimal digits");
    CheckSize(out.size());
}

// UTF-8 (already checked by the JSON parser) to UTF-16LE.
void AppendUtf16(std::string_view text, Bytes& out) {
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        uint32_t code = 0;
        size_t length = 1;
        if (lead < 0x80) {
            code = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            code = lead & 0x1F;
            length = 2;
        } else if ((lead & 0xF0) == 0xE0) {
            code = lead & 0x0F;
            length = 3;
        } else {
            code = lead & 0x07;
            length = 4;
        }
        for (size_t k = 1; k < length && i + k < text.size(); ++k) {
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        i += length;
        auto put = [&out](uint32_t unit) {
            out.push_back(static_cast<uint8_t>(unit & 0xFF));
            out.push_back(static_cast<uint8_t>(unit >> 8));
        };
        if (code >= 0x10000) {
            code -= 0x10000;
            put(0xD800 + (code >> 10));
            put(0xDC00 + (code & 0x3FF));
        } else {
            put(code);
        }
    }
}

void AppendLittleEndian(uint32_t number, size_t bytes, Bytes& out) {
    for (size_t i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(number >> (8 * i)));
}

// One piece of a {"bytes": [...]} value.
void AppendPiece(const Json& piece, Bytes& out) {
    if (!piece.is_object() || piece.size() != 1) {
        Refuse(
            "expected a piece with one key: u8, u16, u32, be16, text8, text16, hex, zeros or at");
    }
    const auto& [kind, value] = *piece.get_ref<const Json::object_t&>().begin();
    ReadField(kind, [&, &kindName = kind, &pieceValue = value] {
        if (kindName == "u8") {
            out.push_back(static_cast<uint8_t>(ReadUnsigned(pieceValue, 0xFF)));
        } else if (kindName == "u16") {
            AppendLittleEndian(ReadUnsigned(pieceValue, 0xFFFF), 2, out);
        } else if (kindName == "u32") {
            AppendLittleEndian(ReadUnsigned(pieceValue), 4, out);
        } else if (kindName == "be16") {
            const uint32_t number = ReadUnsigned(pieceValue, 0xFFFF);
            out.push_back(static_cast<uint8_t>(number >> 8));
            out.push_back(static_cast<uint8_t>(number & 0xFF));
        } else if (kindName == "text8") {
            const std::string& text = ReadText(pieceValue);
            CheckSize(out.size() + text.size() + 1);
            out.insert(out.end(), text.begin(), text.end());
            out.push_back(0);
        } else if (kindName == "text16") {
            const std::string& text = ReadText(pieceValue);
            CheckSize(out.size() + 2 * text.size() + 2);
            AppendUtf16(text, out);
            out.push_back(0);
            out.push_back(0);
        } else if (kindName == "hex") {
            AppendHex(pieceValue, out);
        } else if (kindName == "zeros") {
            const uint32_t count = ReadUnsigned(pieceValue);
            CheckSize(out.size() + count);
            out.resize(out.size() + count, 0);
        } else if (kindName == "at") {
            const uint32_t offset = ReadUnsigned(pieceValue);
            if (offset < out.size()) {
                Refuse("offset " + std::to_string(offset) + " is behind the current end (" +
                       std::to_string(out.size()) + " bytes)");
            }
            CheckSize(offset);
            out.resize(offset, 0);
        } else {
            Refuse("unknown piece; expected u8, u16, u32, be16, text8, text16, hex, zeros or at");
        }
    });
    CheckSize(out.size());
}

constexpr std::string_view kOctetForms =
    R"(an octet value: {"hex": ...}, {"text": ...} or {"bytes": [...]})";

// The bytes of one form of an octet value: "hex", "text" or "bytes"; with
// streamBase, also "file" (a stream's content).
Bytes OctetsOfForm(std::string_view form, const Json& content,
                   const std::filesystem::path* streamBase = nullptr) {
    Bytes bytes;
    if (form == "hex") {
        ReadField("hex", [&] { AppendHex(content, bytes); });
    } else if (form == "text") {
        const std::string& text =
            ReadField("text", [&]() -> const std::string& { return ReadText(content); });
        bytes.assign(text.begin(), text.end());
        CheckSize(bytes.size());
    } else if (form == "bytes") {
        if (!content.is_array()) ReadField("bytes", [] { Refuse("expected a list of pieces"); });
        size_t index = 0;
        for (const Json& piece : content) {
            ReadField("bytes[" + std::to_string(index++) + "]", [&] { AppendPiece(piece, bytes); });
        }
    } else if (form == "file" && streamBase != nullptr) {
        ReadField("file", [&] {
            const std::filesystem::path relative(ReadText(content));
            if (relative.empty() || relative.has_root_path()) {
                Refuse(Quoted(relative.string()) + " is not a path relative to the image's folder");
            }
            for (const auto& part : relative) {
                if (part == "..") {
                    Refuse(Quoted(relative.string()) + " leaves the image's folder");
                }
            }
            const std::filesystem::path full = *streamBase / relative;
            const auto cannot = [&full](std::string_view why) {
                Refuse("cannot read the stream file " + Quoted(full.string()) + ": " +
                       std::string(why));
            };
            // Through a symbolic link the file could lie anywhere; it must stay
            // inside the image's folder all the same.
            std::error_code error;
            const std::filesystem::path real = std::filesystem::canonical(full, error);
            if (error) {
                cannot(error == std::errc::no_such_file_or_directory ? "no such file"
                                                                     : error.message());
            }
            const std::filesystem::path folder = std::filesystem::canonical(*streamBase, error);
            if (error) cannot(error.message());
            const auto [inFolder, inFile] =
                std::mismatch(folder.begin(), folder.end(), real.begin(), real.end());
            if (inFolder != folder.end() || inFile == real.end()) {
                Refuse(Quoted(relative.string()) + " leads out of the image's folder (to " +
                       Quoted(real.string()) + ")");
            }
            std::string fileBytes;
            const platform::FileStatus read =
                platform::ReadRegularFile(real, fileBytes, kMaxValueBytes);
            if (!read.ok()) cannot(read.error);
            bytes.assign(fileBytes.begin(), fileBytes.end());
        });
    } else {
        Refuse("unknown key " + Quoted(form) + "; expected " +
               (streamBase != nullptr ? std::string("a stream: text, file, hex or bytes")
                                      : std::string(kOctetForms)));
    }
    return bytes;
}

// {"hex"}, {"text"} or {"bytes"}; with streamBase, also {"file"} (a stream's content).
Bytes ParseOctets(const Json& value, const std::filesystem::path* streamBase = nullptr) {
    if (!value.is_object() || value.size() != 1) {
        Refuse(streamBase != nullptr
                   ? std::string(R"(expected a stream: {"text": ...}, {"file": ...}, )"
                                 R"({"hex": ...} or {"bytes": [...]})")
                   : "expected " + std::string(kOctetForms));
    }
    const auto& member = *value.get_ref<const Json::object_t&>().begin();
    return OctetsOfForm(member.first, member.second, streamBase);
}

bool ParseIpText(std::string_view text, uint8_t (&address)[4]) {
    size_t part = 0;
    size_t i = 0;
    while (part < 4) {
        size_t digits = 0;
        unsigned number = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
            number = number * 10 + static_cast<unsigned>(text[i] - '0');
            ++i;
            ++digits;
        }
        if (digits == 0 || digits > 3 || number > 255) return false;
        address[part++] = static_cast<uint8_t>(number);
        if (part < 4) {
            if (i >= text.size() || text[i] != '.') return false;
            ++i;
        }
    }
    return i == text.size();
}

NetAddressValue ParseNetAddress(const Json& value) {
    const Fields fields(value, {"type", "hex", "bytes", "ip", "port", "network", "node", "text"},
                        "a network address {\"type\": ..., ...}");
    NetAddressValue address;
    const Json& typeValue = fields.Require("type");
    address.type = ReadField("type", [&] { return ReadUnsigned(typeValue); });
    // Each key looked up once: a tree holds an address for nearly every user.
    const Json* hex = fields.Get("hex");
    const Json* bytes = fields.Get("bytes");
    const Json* ip = fields.Get("ip");
    const Json* port = fields.Get("port");
    const Json* text = fields.Get("text");
    const bool networkOrNode = fields.Has("network") || fields.Has("node");
    const int forms = int{hex != nullptr} + int{bytes != nullptr} + int{ip != nullptr} +
                      int{networkOrNode} + int{text != nullptr};
    if (forms != 1) {
        Refuse(
            "expected exactly one of \"hex\", \"bytes\", \"ip\", \"network\" with \"node\", or "
            "\"text\"");
    }
    if (port != nullptr && ip == nullptr) Refuse("\"port\" goes only with \"ip\"");
    const uint32_t type = address.type;
    if (hex != nullptr) {
        address.address = OctetsOfForm("hex", *hex);
    } else if (bytes != nullptr) {
        address.address = OctetsOfForm("bytes", *bytes);
    } else if (ip != nullptr) {
        const bool addressFirst = type == 1 || type == 7 || type == 10 || type == 11;
        const bool portFirst = type == 8 || type == 9;
        if (!addressFirst && !portFirst) {
            Refuse("\"ip\" is for address types 1, 7, 8, 9, 10 and 11, not " +
                   std::to_string(type));
        }
        uint8_t octets[4] = {};
        ReadField("ip", [&] {
            const std::string& written = ReadText(*ip);
            if (!ParseIpText(written, octets)) {
                Refuse(Quoted(written) + " is not an address a.b.c.d");
            }
        });
        const uint32_t portNumber =
            port != nullptr ? ReadField("port", [&] { return ReadUnsigned(*port, 0xFFFF); }) : 0;
        const uint8_t portBytes[2] = {static_cast<uint8_t>(portNumber >> 8),
                                      static_cast<uint8_t>(portNumber & 0xFF)};
        address.address.reserve(sizeof octets + sizeof portBytes);
        if (portFirst) address.address.assign(portBytes, portBytes + 2);
        address.address.insert(address.address.end(), octets, octets + 4);
        if (addressFirst) address.address.insert(address.address.end(), portBytes, portBytes + 2);
    } else if (text != nullptr) {
        if (type != 13) Refuse("\"text\" is for address type 13, not " + std::to_string(type));
        ReadField("text", [&] {
            const std::string& written = ReadText(*text);
            CheckSize(2 * written.size() + 2);
            AppendUtf16(written, address.address);
            address.address.push_back(0);
            address.address.push_back(0);
        });
    } else {
        if (type != 0) {
            Refuse("\"network\" and \"node\" are for address type 0, not " + std::to_string(type));
        }
        auto hexOfLength = [&](std::string_view key, size_t length) {
            ReadField(key, [&] {
                const size_t before = address.address.size();
                AppendHex(fields.Require(key), address.address);
                if (address.address.size() - before != length) {
                    Refuse("expected " + std::to_string(length * 2) + " hexadecimal digits");
                }
            });
        };
        hexOfLength("network", 4);
        hexOfLength("node", 6);
    }
    return address;
}

// A text, or the text member of an object form.
std::string ReadValueText(const Json& value, std::string_view expected) {
    if (!value.is_string()) Refuse("expected " + std::string(expected));
    return ReadText(value);
}

std::string ReadName(const Json& value) {
    const std::string& name = ReadText(value);
    CheckValueName(name);
    return name;
}

template <typename Reader>
auto ReadRequired(const Fields& fields, std::string_view key, Reader&& reader) {
    const Json& value = fields.Require(key);
    return ReadField(key, [&] { return reader(value); });
}

uint32_t ReadOptionalUnsigned(const Fields& fields, std::string_view key,
                              uint32_t maximum = UINT32_MAX) {
    const Json* value = fields.Get(key);
    if (value == nullptr) return 0;
    return ReadField(key, [&] { return ReadUnsigned(*value, maximum); });
}

// Texts and full names: DIST_NAME, the case-exact, case-ignoring and printable
// strings, TEL_NUMBER, NU_STRING and CLASS_NAME.
ValueRecord ParseTextRecord(const Json& value, const ValueSource& source) {
    switch (source.syntax) {
        case Syntax::DistName:
            if (!value.is_string()) Refuse("expected a full name (a text)");
            return StringValue{ReadName(value)};
        case Syntax::CeString:
        case Syntax::CiString:
        case Syntax::PrString:
        case Syntax::TelNumber: return StringValue{ReadValueText(value, "a text")};
        case Syntax::NuString: {
            std::string text = ReadValueText(value, "a text of digits and blanks");
            for (char c : text) {
                if ((c < '0' || c > '9') && c != ' ') {
                    Refuse(Quoted(text) + " is not numeric (digits and blanks only)");
                }
            }
            return StringValue{std::move(text)};
        }
        case Syntax::ClassName: {
            const std::string& text = ReadValueText(value, "a class name (a text)");
            const std::string* spelling = source.findClass(text);
            if (spelling == nullptr) Refuse(Quoted(text) + " is not a class of the schema");
            return StringValue{*spelling};
        }
        default: break;
    }
    Refuse("syntax " + std::to_string(source.syntax) + " is not read here");
}

// Values that are themselves lists: CI_LIST, OCTET_LIST and PO_ADDRESS.
ValueRecord ParseListRecord(const Json& value, const ValueSource& source) {
    switch (source.syntax) {
        case Syntax::CiList: {
            if (!value.is_array()) {
                Refuse(
                    "expected a list of texts (a CI_LIST value is itself a list, so the values "
                    "need an outer list)");
            }
            CiListValue list;
            list.strings.reserve(value.size());
            for (const Json& item : value) {
                if (!item.is_string()) Refuse("expected a list of texts");
                list.strings.push_back(ReadText(item));
            }
            return list;
        }
        case Syntax::OctetList: {
            if (!value.is_array()) {
                Refuse(
                    "expected a list of octet values (an OCTET_LIST value is itself a list, so "
                    "the values need an outer list)");
            }
            OctetListValue list;
            list.strings.reserve(value.size());
            size_t index = 0;
            for (const Json& item : value) {
                list.strings.push_back(ReadField("item " + std::to_string(++index),
                                                 [&] { return ParseOctets(item); }));
            }
            return list;
        }
        case Syntax::PoAddress: {
            if (!value.is_array() || value.size() > 6) {
                Refuse(
                    "expected a list of up to six texts (a PO_ADDRESS value is itself a list, so "
                    "the values need an outer list)");
            }
            PostalAddressValue postal;
            size_t line = 0;
            for (const Json& item : value) {
                if (!item.is_string()) Refuse("expected a list of up to six texts");
                postal.lines[line++] = ReadText(item);
            }
            return postal;
        }
        default: break;
    }
    Refuse("syntax " + std::to_string(source.syntax) + " is not read here");
}

// Numbers and times: BOOLEAN, INTEGER, COUNTER, TIME, TIMESTAMP and INTERVAL.
ValueRecord ParseNumberRecord(const Json& value, const ValueSource& source) {
    switch (source.syntax) {
        case Syntax::Boolean: return BooleanValue{static_cast<uint8_t>(ReadBoolean(value) ? 1 : 0)};
        case Syntax::Integer:
        case Syntax::Counter: return IntegerValue{ReadInteger(value)};
        case Syntax::Time: return TimeValue{ReadTime(value)};
        case Syntax::Timestamp: {
            if (!value.is_object()) return TimeStamp{ReadTime(value), 0, 0};
            const Fields fields(value, {"time", "replica", "event"},
                                R"(a time or {"time": ..., "replica": ..., "event": ...})");
            TimeStamp stamp;
            stamp.seconds = ReadRequired(fields, "time", ReadTime);
            stamp.replica = static_cast<uint16_t>(ReadOptionalUnsigned(fields, "replica", 0xFFFF));
            stamp.event = static_cast<uint16_t>(ReadOptionalUnsigned(fields, "event", 0xFFFF));
            return stamp;
        }
        case Syntax::Interval:
            if (!value.is_number()) Refuse("expected a number of seconds");
            return IntervalValue{ReadUnsigned(value)};
        default: break;
    }
    Refuse("syntax " + std::to_string(source.syntax) + " is not read here");
}

// Addresses: FAX_NUMBER, NET_ADDRESS and EMAIL_ADDRESS.
ValueRecord ParseAddressRecord(const Json& value, const ValueSource& source) {
    switch (source.syntax) {
        case Syntax::FaxNumber: {
            if (value.is_string()) return FaxNumberValue{ReadText(value), 0, {}};
            const Fields fields(value, {"number", "bits", "hex"},
                                R"(a text or {"number": ..., "bits": ..., "hex": ...})");
            FaxNumberValue fax;
            fax.number = ReadRequired(fields, "number", ReadText);
            fax.parameterBits = ReadOptionalUnsigned(fields, "bits");
            if (const Json* hex = fields.Get("hex")) {
                ReadField("hex", [&] { AppendHex(*hex, fax.parameters); });
            }
            return fax;
        }
        case Syntax::NetAddress: return ParseNetAddress(value);
        case Syntax::EmailAddress: {
            if (value.is_string()) return EmailAddressValue{0, ReadText(value)};
            const Fields fields(value, {"type", "address"},
                                R"(a text or {"type": ..., "address": ...})");
            EmailAddressValue mail;
            mail.type = ReadOptionalUnsigned(fields, "type");
            mail.address = ReadRequired(fields, "address", ReadText);
            return mail;
        }
        default: break;
    }
    Refuse("syntax " + std::to_string(source.syntax) + " is not read here");
}

// Records that name objects: PATH, REPLICA_POINTER, OBJECT_ACL, BACK_LINK,
// TYPED_NAME and HOLD.
ValueRecord ParseObjectRecord(const Json& value, const ValueSource& source) {
    switch (source.syntax) {
        case Syntax::Path: {
            const Fields fields(value, {"nameSpace", "volume", "path"},
                                R"({"nameSpace": ..., "volume": ..., "path": ...})");
            PathValue path;
            path.nameSpace = ReadOptionalUnsigned(fields, "nameSpace");
            path.volume = ReadRequired(fields, "volume", ReadName);
            if (const Json* text = fields.Get("path")) {
                path.path = ReadField("path", [&] { return ReadText(*text); });
            }
            return path;
        }
        case Syntax::ReplicaPointer: {
            const Fields fields(
                value, {"server", "type", "number", "addresses"},
                R"({"server": ..., "type": ..., "number": ..., "addresses": [...]})");
            ReplicaPointerValue replica;
            replica.server = ReadRequired(fields, "server", ReadName);
            replica.type = ReadOptionalUnsigned(fields, "type");
            replica.number = ReadOptionalUnsigned(fields, "number");
            if (const Json* addresses = fields.Get("addresses")) {
                if (!addresses->is_array()) {
                    ReadField("addresses", [] { Refuse("expected a list of network addresses"); });
                }
                size_t index = 0;
                for (const Json& item : *addresses) {
                    replica.addresses.push_back(
                        ReadField("addresses[" + std::to_string(index++) + "]",
                                  [&] { return ParseNetAddress(item); }));
                }
            }
            return replica;
        }
        case Syntax::ObjectAcl: {
            const Fields fields(value, {"attribute", "subject", "privileges"},
                                R"({"attribute": ..., "subject": ..., "privileges": ...})");
            ObjectAclValue acl;
            acl.protectedAttribute = ReadRequired(fields, "attribute", ReadText);
            if (acl.protectedAttribute.empty()) {
                ReadField("attribute", [] { Refuse("expected an attribute name"); });
            }
            acl.subject = ReadRequired(fields, "subject", ReadName);
            acl.privileges = ReadOptionalUnsigned(fields, "privileges");
            return acl;
        }
        case Syntax::BackLink: {
            const Fields fields(value, {"remoteId", "object"},
                                R"({"remoteId": ..., "object": ...})");
            BackLinkValue link;
            link.remoteId = ReadOptionalUnsigned(fields, "remoteId");
            link.objectName = ReadRequired(fields, "object", ReadName);
            return link;
        }
        case Syntax::TypedName: {
            const Fields fields(value, {"object", "level", "interval"},
                                R"({"object": ..., "level": ..., "interval": ...})");
            TypedNameValue typed;
            typed.objectName = ReadRequired(fields, "object", ReadName);
            typed.level = ReadOptionalUnsigned(fields, "level");
            typed.interval = ReadOptionalUnsigned(fields, "interval");
            return typed;
        }
        case Syntax::Hold: {
            const Fields fields(value, {"object", "amount"}, R"({"object": ..., "amount": ...})");
            HoldValue hold;
            hold.objectName = ReadRequired(fields, "object", ReadName);
            hold.amount = ReadOptionalUnsigned(fields, "amount");
            return hold;
        }
        default: break;
    }
    Refuse("syntax " + std::to_string(source.syntax) + " is not read here");
}

// One value by its syntax: the octet syntaxes here, each other group of
// syntaxes in its own reader above; anything unknown is kept as raw octets.
ValueRecord ParseRecord(const Json& value, const ValueSource& source, Bytes& streamContent) {
    switch (source.syntax) {
        case Syntax::Unknown:
            return UnknownValue{*source.attributeName, source.syntax, ParseOctets(value)};
        case Syntax::OctetString: return OctetStringValue{ParseOctets(value)};
        case Syntax::Stream:
            streamContent = ParseOctets(value, source.baseDir);
            return StreamValue{};
        case Syntax::DistName:
        case Syntax::CeString:
        case Syntax::CiString:
        case Syntax::PrString:
        case Syntax::TelNumber:
        case Syntax::NuString:
        case Syntax::ClassName: return ParseTextRecord(value, source);
        case Syntax::CiList:
        case Syntax::OctetList:
        case Syntax::PoAddress: return ParseListRecord(value, source);
        case Syntax::Boolean:
        case Syntax::Integer:
        case Syntax::Counter:
        case Syntax::Time:
        case Syntax::Timestamp:
        case Syntax::Interval: return ParseNumberRecord(value, source);
        case Syntax::FaxNumber:
        case Syntax::NetAddress:
        case Syntax::EmailAddress: return ParseAddressRecord(value, source);
        case Syntax::Path:
        case Syntax::ReplicaPointer:
        case Syntax::ObjectAcl:
        case Syntax::BackLink:
        case Syntax::TypedName:
        case Syntax::Hold: return ParseObjectRecord(value, source);
        default: return RawValue{ParseOctets(value)};
    }
}

// The bytes a record holds beyond what the file spells out as text.
size_t BuiltBytes(const ValueRecord& record) {
    const auto addresses = [](const std::vector<NetAddressValue>& list) {
        size_t total = 0;
        for (const auto& address : list)
            total += address.address.size();
        return total;
    };
    return std::visit(
        [&](const auto& value) -> size_t {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, UnknownValue>) return value.data.size();
            if constexpr (std::is_same_v<T, OctetStringValue>) return value.data.size();
            if constexpr (std::is_same_v<T, RawValue>) return value.bytes.size();
            if constexpr (std::is_same_v<T, FaxNumberValue>) return value.parameters.size();
            if constexpr (std::is_same_v<T, NetAddressValue>) return value.address.size();
            if constexpr (std::is_same_v<T, ReplicaPointerValue>) return addresses(value.addresses);
            if constexpr (std::is_same_v<T, OctetListValue>) {
                size_t total = 0;
                for (const Bytes& bytes : value.strings)
                    total += bytes.size();
                return total;
            }
            return 0;
        },
        record);
}

}  // namespace

bool ValueIsList(SyntaxId syntax) {
    return syntax == Syntax::CiList || syntax == Syntax::OctetList || syntax == Syntax::PoAddress;
}

AttrValue ParseValue(const Json& value, const ValueSource& source, Bytes& streamContent) {
    AttrValue parsed{source.syntax, ParseRecord(value, source, streamContent)};
    if (source.budget != nullptr) {
        ByteBudget& budget = *source.budget;
        budget.used += BuiltBytes(parsed.record) + streamContent.size();
        if (budget.used > budget.limit) {
            Refuse("the values of the image build more than " + std::to_string(budget.limit) +
                   " bytes together (the limit for this image)");
        }
    }
    return parsed;
}

void CheckValueName(std::string_view name) {
    if (name.empty()) Refuse("expected a full name, not an empty text");
    if (const std::string_view fault = ValueNameFault(name); !fault.empty()) {
        Refuse(Quoted(name) + " " + std::string(fault));
    }
}

}  // namespace vellrun::client::image::detail
