// The embedded directory as the program sees it through the client interface:
// paging, names, aliases, schema reads, entry information, streams and updates.

#include "client/image/ImageClient.h"
#include "client/image/ImageLoader.h"
#include "support/ImageFixture.h"

#include <set>
#include <type_traits>

#include <gtest/gtest.h>

namespace vellrun::client {
namespace {

using image::ImageClient;
using testing::StartImageClient;
using testing::TreeImage;

// A context, a buffer and a stream cannot stand in for one another: a call
// with its handles swapped does not compile.
static_assert(!std::is_convertible_v<ContextHandle, BufferHandle>);
static_assert(!std::is_convertible_v<BufferHandle, ContextHandle>);
static_assert(!std::is_convertible_v<StreamHandle, BufferHandle>);
static_assert(!std::is_convertible_v<uint32_t, ContextHandle>);
static_assert(std::is_invocable_v<decltype(&DirectoryClient::GetEntryCount), DirectoryClient&,
                                  ContextHandle, BufferHandle, uint32_t&>);
static_assert(!std::is_invocable_v<decltype(&DirectoryClient::GetEntryCount), DirectoryClient&,
                                   BufferHandle, ContextHandle, uint32_t&>);

// Objects: Corp with OU Sales (users a, b, an alias to a, a group) and OU Empty.
std::string SmallTree() {
    return TreeImage(R"([
      {"name": "Corp", "class": "Organization"},
      {"name": "Sales.Corp", "class": "Organizational Unit"},
      {"name": "Empty.Corp", "class": "Organizational Unit"},
      {"name": "a.Sales.Corp", "class": "User", "created": 1000, "modified": 2000,
       "attributes": {"Description": ["first", "second"], "Title": "Boss",
                      "Login Script": {"text": "MAP F:=SYS:"}}},
      {"name": "b.Sales.Corp", "class": "User", "readOnly": true},
      {"name": "link.Sales.Corp", "class": "Alias", "attributes": {"Aliased Object Name": "a.Sales.Corp"}},
      {"name": "staff.Sales.Corp", "class": "Group", "attributes": {"Member": ["a.Sales.Corp", "b.Sales.Corp"]}}
    ])",
                     "", "", "a.Sales.Corp");
}

std::string ManyUsers(int count) {
    std::string objects = R"([{"name": "Corp", "class": "Organization"},
      {"name": "Big.Corp", "class": "Organizational Unit"})";
    for (int i = 0; i < count; ++i) {
        objects += ",{\"name\": \"user" + std::to_string(i) + ".Big.Corp\", \"class\": \"User\"}";
    }
    return TreeImage(objects + "]");
}

// Owns a context and the buffers of one test; frees them at the end.
struct Session {
    ImageClient& client;
    ContextHandle context{};
    std::vector<BufferHandle> buffers;

    explicit Session(ImageClient& c, std::string_view nameContext = "[Root]", bool typeless = true)
        : client(c) {
        EXPECT_EQ(client.CreateContext(context), 0);
        EXPECT_EQ(client.SetContextText(context, ContextKey::NameContext, nameContext), 0);
        uint32_t flags = 0;
        client.GetContextNumber(context, ContextKey::Flags, flags);
        flags = typeless ? (flags | ContextFlag::Typeless) : (flags & ~ContextFlag::Typeless);
        client.SetContextNumber(context, ContextKey::Flags, flags);
    }
    // Takes over a context made elsewhere (a copy), and frees it at the end.
    Session(ImageClient& c, ContextHandle adopted) : client(c), context(adopted) {}
    ~Session() {
        for (auto b : buffers)
            client.FreeBuffer(b);
        client.FreeContext(context);
    }
    BufferHandle Buffer(size_t size) {
        BufferHandle b{};
        EXPECT_EQ(client.AllocBuffer(size, b), 0);
        buffers.push_back(b);
        return b;
    }
    // Every entry name of a container, page by page; pages counts the calls.
    Result List(std::string_view container, std::vector<std::string>& names, int& pages) {
        BufferHandle reply = Buffer(kListReplySize);
        int32_t continuation = kNoContinuation;
        pages = 0;
        do {
            if (Result r = client.ListSubordinates(context, container, continuation, reply);
                r != 0) {
                return r;
            }
            ++pages;
            uint32_t count = 0;
            client.GetEntryCount(context, reply, count);
            for (uint32_t i = 0; i < count; ++i) {
                std::string name;
                uint32_t attributes = 0;
                EntryRecord record;
                EXPECT_EQ(client.GetNextEntry(context, reply, name, attributes, record), 0);
                names.push_back(name + ":" + record.baseClass);
            }
        } while (continuation != kNoContinuation);
        return 0;
    }
    // The values of one attribute as texts (string-valued syntaxes only).
    Result ReadTexts(std::string_view object, std::string_view attribute,
                     std::vector<std::string>& texts, int* pages = nullptr) {
        BufferHandle request = Buffer(kRequestBufferSize);
        BufferHandle reply = Buffer(kReadReplySize);
        client.PrepareRequest(context, Operation::Read, request);
        client.PutName(context, request, attribute);
        int32_t continuation = kNoContinuation;
        do {
            if (Result r = client.Read(context, object, ReadKind::Values, false, request,
                                       continuation, reply);
                r != 0) {
                return r;
            }
            if (pages) ++*pages;
            uint32_t count = 0;
            client.GetAttrCount(context, reply, count);
            for (uint32_t i = 0; i < count; ++i) {
                std::string name;
                uint32_t values = 0;
                SyntaxId syntax = 0;
                EXPECT_EQ(client.GetAttrName(context, reply, name, values, syntax), 0);
                for (uint32_t v = 0; v < values; ++v) {
                    AttrValue value;
                    EXPECT_EQ(client.GetAttrVal(context, reply, syntax, value), 0);
                    if (auto* s = std::get_if<StringValue>(&value.record)) texts.push_back(s->text);
                }
            }
        } while (continuation != kNoContinuation);
        return 0;
    }
    Result Modify(
        std::string_view object,
        std::vector<std::tuple<ChangeType, std::string, std::optional<AttrValue>>> changes) {
        BufferHandle request = Buffer(kRequestBufferSize);
        client.PrepareRequest(context, Operation::Modify, request);
        for (auto& [type, attribute, value] : changes) {
            Result r = value ? client.PutChangeAndValue(context, request, type, attribute,
                                                        value->syntax, *value)
                             : client.PutChange(context, request, type, attribute);
            if (r != 0) return r;
        }
        int32_t continuation = kNoContinuation;
        return client.ModifyObject(context, object, continuation, false, request);
    }
};

AttrValue Text(SyntaxId syntax, std::string text) {
    return {syntax, StringValue{std::move(text)}};
}

TEST(ImageClientConnections, ScanPadsTreeNamesAndEndsWithNonZero) {
    auto client = StartImageClient(SmallTree());
    uint32_t iterator = 0;
    ConnRef ref = 0;
    ASSERT_EQ(client->ScanConnections(iterator, ref), 0);
    std::string name;
    ASSERT_EQ(client->GetConnectionInfo(ref, 4, 255, name), 0);
    EXPECT_EQ(name, "T" + std::string(31, '_'));
    ASSERT_EQ(client->GetConnectionInfo(ref, 4, 5, name), 0);
    EXPECT_EQ(name, "T___");
    EXPECT_NE(client->ScanConnections(iterator, ref), 0);
}

TEST(ImageClientConnections, NothingWorksBeforeStartAndBadConfigurationExplains) {
    auto failing = ImageClient::Failing("conn.json: connection 1: no such image");
    ContextHandle context{};
    EXPECT_NE(failing->CreateContext(context), 0);
    EXPECT_NE(failing->InitClient(0, 0), 0);
    EXPECT_EQ(failing->StartupDiagnostic(), "conn.json: connection 1: no such image");

    ImageClient missing({{"/nonexistent/image.json", ""}}, "conn.json");
    EXPECT_NE(missing.InitClient(0, 0), 0);
    EXPECT_NE(missing.StartupDiagnostic().find("/nonexistent/image.json"), std::string::npos);
}

TEST(ImageClientConnections, StartUpCodesHaveTexts) {
    ErrorTextTable table;
    EXPECT_EQ(table.Lookup(Err::InitFailed16), "The directory client could not be started");
    EXPECT_EQ(table.Lookup(Err::NoSuchEntry), "No such entry");
    EXPECT_FALSE(table.Lookup(-12345));
}

TEST(ImageClientContexts, DuplicateKeepsSettingsAndTreeNamesMatchWithoutCase) {
    auto client = StartImageClient(SmallTree());
    ContextHandle context{}, copy{};
    ASSERT_EQ(client->CreateContext(context), 0);
    client->SetContextText(context, ContextKey::NameContext, "Sales.Corp");
    client->SetContextNumber(context, ContextKey::Flags, 0x15);
    ASSERT_EQ(client->DuplicateContext(context, copy), 0);
    std::string text;
    uint32_t flags = 0;
    client->GetContextText(copy, ContextKey::NameContext, text);
    client->GetContextNumber(copy, ContextKey::Flags, flags);
    EXPECT_EQ(text, "Sales.Corp");
    EXPECT_EQ(flags, 0x15u);
    EXPECT_EQ(client->SetContextText(copy, ContextKey::TreeName, "t_____"), 0);
    EXPECT_EQ(client->SetContextText(copy, ContextKey::TreeName, "OTHER"), Err::NoSuchTree);
    EXPECT_EQ(client->FreeContext(copy), 0);
    EXPECT_EQ(client->FreeContext(copy), Err::BadContext);
    client->FreeContext(context);
}

TEST(ImageClientListing, LongContainerComesInManyPagesEachEntryOnce) {
    auto client = StartImageClient(ManyUsers(1500));
    Session s(*client);
    std::vector<std::string> names;
    int pages = 0;
    ASSERT_EQ(s.List(".Big.Corp", names, pages), 0);
    ASSERT_EQ(names.size(), 1500u);
    EXPECT_EQ(names.front(), "user0:User");
    EXPECT_EQ(names.back(), "user1499:User");
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 1500u);
    EXPECT_GT(pages, 10);
    EXPECT_EQ(client->Statistics().listPages, static_cast<uint64_t>(pages));
}

TEST(ImageClientListing, EmptyContainerLeafAndMissingContainer) {
    auto client = StartImageClient(SmallTree());
    Session s(*client, "Corp");
    std::vector<std::string> names;
    int pages = 0;
    EXPECT_EQ(s.List("Empty", names, pages), 0);  // relative to the name context
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(pages, 1);
    EXPECT_EQ(s.List(".Nowhere.Corp", names, pages), Err::NoSuchEntry);
    EXPECT_EQ(s.List("[Root]", names, pages), 0);
    EXPECT_EQ(names, std::vector<std::string>{"Corp:Organization"});
}

TEST(ImageClientListing, TypedNamesAndContainerFlag) {
    auto client = StartImageClient(SmallTree());
    Session s(*client, "[Root]", false);
    BufferHandle reply = s.Buffer(kListReplySize);
    int32_t continuation = kNoContinuation;
    ASSERT_EQ(client->ListSubordinates(s.context, "OU=Sales.O=Corp", continuation, reply), 0);
    std::string name;
    uint32_t attributes = 0;
    EntryRecord record;
    ASSERT_EQ(client->GetNextEntry(s.context, reply, name, attributes, record), 0);
    EXPECT_EQ(name, "CN=a");
    EXPECT_EQ(record.flags & EntryFlag::Container, 0u);
    EXPECT_EQ(record.modificationTime, 2000u);
    continuation = kNoContinuation;
    ASSERT_EQ(client->ListSubordinates(s.context, "Corp", continuation, reply), 0);
    ASSERT_EQ(client->GetNextEntry(s.context, reply, name, attributes, record), 0);
    EXPECT_EQ(name, "OU=Sales");
    EXPECT_NE(record.flags & EntryFlag::Container, 0u);
    EXPECT_EQ(record.subordinateCount, 4u);
}

TEST(ImageClientListing, ContinuationDiesWithItsContext) {
    auto client = StartImageClient(ManyUsers(400));
    ContextHandle context{};
    client->CreateContext(context);
    BufferHandle reply{};
    client->AllocBuffer(kListReplySize, reply);
    int32_t continuation = kNoContinuation;
    ASSERT_EQ(client->ListSubordinates(context, ".Big.Corp", continuation, reply), 0);
    ASSERT_NE(continuation, kNoContinuation);
    ContextHandle other{};
    client->CreateContext(other);
    int32_t stolen = continuation;
    EXPECT_EQ(client->ListSubordinates(other, ".Big.Corp", stolen, reply), Err::InvalidIteration);
    client->FreeContext(context);
    EXPECT_EQ(client->ListSubordinates(other, ".Big.Corp", continuation, reply),
              Err::InvalidIteration);
    client->FreeContext(other);
    client->FreeBuffer(reply);
}

TEST(ImageClientReading, ValuesAbsentAttributesAndObjects) {
    auto client = StartImageClient(SmallTree());
    Session s(*client, "Sales.Corp");
    std::vector<std::string> texts;
    ASSERT_EQ(s.ReadTexts("a", "description", texts), 0);
    EXPECT_EQ(texts, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(s.ReadTexts("a", "Member", texts), Err::NoSuchAttribute);
    EXPECT_EQ(s.ReadTexts("nobody", "CN", texts), Err::NoSuchEntry);
}

TEST(ImageClientReading, AliasIsFollowedUnlessTheContextSaysNot) {
    auto client = StartImageClient(SmallTree());
    Session s(*client, "Sales.Corp");
    std::vector<std::string> texts;
    ASSERT_EQ(s.ReadTexts("link", "Title", texts), 0);
    EXPECT_EQ(texts, std::vector<std::string>{"Boss"});
    // Following, the alias's own attribute is not there; not following, it is.
    EXPECT_EQ(s.ReadTexts("link", "Aliased Object Name", texts), Err::NoSuchAttribute);
    client->SetContextNumber(s.context, ContextKey::Flags, ContextFlag::Typeless);
    texts.clear();
    ASSERT_EQ(s.ReadTexts("link", "Aliased Object Name", texts), 0);
    EXPECT_EQ(texts, std::vector<std::string>{"a.Sales.Corp"});
}

TEST(ImageClientReading, NamesInValuesFollowTheTypedSetting) {
    auto client = StartImageClient(SmallTree());
    Session typed(*client, "Sales.Corp", false);
    std::vector<std::string> texts;
    ASSERT_EQ(typed.ReadTexts("staff", "Member", texts), 0);
    EXPECT_EQ(texts, (std::vector<std::string>{"CN=a.OU=Sales.O=Corp", "CN=b.OU=Sales.O=Corp"}));
}

TEST(ImageClientReading, NeighboursInOneContainerAndNamesAfterARemoval) {
    // Objects read one after another in the same container, as a report reads
    // them, through contexts that name it differently: each is its own.
    auto client = StartImageClient(SmallTree());
    Session s(*client, "Sales.Corp");
    Session top(*client, "Corp");
    Session typed(*client, "[Root]", false);
    std::vector<std::string> texts;
    ASSERT_EQ(s.ReadTexts("a", "Title", texts), 0);
    EXPECT_EQ(s.ReadTexts("b", "Title", texts), Err::NoSuchAttribute);
    EXPECT_EQ(top.ReadTexts("a.Empty", "Title", texts), Err::NoSuchEntry);
    ASSERT_EQ(top.ReadTexts("link.Sales", "Title", texts), 0);
    EXPECT_EQ(texts, (std::vector<std::string>{"Boss", "Boss"}));
    for (int twice = 0; twice < 2; ++twice) {
        texts.clear();
        ASSERT_EQ(typed.ReadTexts(".staff.Sales.Corp", "Member", texts), 0);
        EXPECT_EQ(texts,
                  (std::vector<std::string>{"CN=a.OU=Sales.O=Corp", "CN=b.OU=Sales.O=Corp"}));
    }

    // After a removal nothing remembered stands for what is gone.
    ASSERT_EQ(client->RemoveObject(s.context, "a"), 0);
    EXPECT_EQ(s.ReadTexts("a", "Title", texts), Err::NoSuchEntry);
    EXPECT_EQ(top.ReadTexts("link.Sales", "Title", texts), Err::NoSuchEntry);
    ASSERT_EQ(client->RemoveObject(top.context, "Empty"), 0);
    EXPECT_EQ(top.ReadTexts("a.Empty", "Title", texts), Err::NoSuchEntry);
    texts.clear();
    ASSERT_EQ(typed.ReadTexts(".staff.Sales.Corp", "Member", texts), 0);
    EXPECT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1], "CN=b.OU=Sales.O=Corp");
}

TEST(ImageClientReading, AnEscapedDotOrEqualSignDoesNotSplitAName) {
    // The name's type ends at its first "=" that no backslash escapes, and a
    // relative name at its first such "."; names escape nothing nearly always.
    auto client = StartImageClient(SmallTree());
    Session typed(*client, "[Root]", false);
    std::vector<std::string> texts;
    ASSERT_EQ(typed.ReadTexts("CN\\=x=a.OU=Sales.O=Corp", "Title", texts), 0);
    EXPECT_EQ(texts, std::vector<std::string>{"Boss"});
    EXPECT_EQ(typed.ReadTexts("CN=x\\=a.OU=Sales.O=Corp", "Title", texts), Err::NoSuchEntry);
    EXPECT_EQ(typed.ReadTexts("CN=b\\.a.OU=Sales.O=Corp", "Title", texts), Err::NoSuchEntry);
}

TEST(ImageClientReading, CopiesOfAContextWhoseNameContextChangesReadFromTheNewPlace) {
    // A report copies its context for every cell; the copies land in the same
    // slot. A copy made after the name context changed sees the new one, and
    // the same relative name read through it is another object.
    auto client = StartImageClient(TreeImage(R"([
      {"name": "Corp", "class": "Organization"},
      {"name": "Sales.Corp", "class": "Organizational Unit"},
      {"name": "Empty.Corp", "class": "Organizational Unit"},
      {"name": "a.Sales.Corp", "class": "User", "attributes": {"Title": "in Sales"}},
      {"name": "a.Empty.Corp", "class": "User", "attributes": {"Title": "in Empty"}}
    ])"));
    ContextHandle original{};
    ASSERT_EQ(client->CreateContext(original), 0);
    const auto readThroughCopy = [&](std::vector<std::string>& texts) {
        ContextHandle copy{};
        EXPECT_EQ(client->DuplicateContext(original, copy), 0);
        Session reader{*client, copy};
        texts.clear();
        return reader.ReadTexts("a", "Title", texts);
    };
    std::vector<std::string> texts;
    EXPECT_EQ(readThroughCopy(texts), Err::NoSuchEntry);  // "a" at the top
    for (const auto& [place, title] :
         {std::pair{"Sales.Corp", "in Sales"}, std::pair{"Empty.Corp", "in Empty"},
          std::pair{"Sales.Corp", "in Sales"}}) {
        ASSERT_EQ(client->SetContextText(original, ContextKey::NameContext, place), 0);
        for (int twice = 0; twice < 2; ++twice) {
            ASSERT_EQ(readThroughCopy(texts), 0) << place;
            EXPECT_EQ(texts, std::vector<std::string>{title}) << place;
        }
    }
    std::string text;
    ContextHandle copy{};
    ASSERT_EQ(client->DuplicateContext(original, copy), 0);
    client->GetContextText(copy, ContextKey::NameContext, text);
    EXPECT_EQ(text, "Sales.Corp");
    client->FreeContext(copy);
    client->FreeContext(original);
}

TEST(ImageClientReading, AttributesAtOtherPlacesInEachObjectAndNamesWithoutCase) {
    // Where a name was found in one object is only a guess for the next: these
    // keep their attributes in other orders, lack some, and are asked for
    // them spelled in other cases.
    std::string objects = R"([{"name": "Corp", "class": "Organization"},
      {"name": "u1.Corp", "class": "User", "attributes": {"Title": "T1", "Description": "D1",
                                                          "CN": "S1"}},
      {"name": "u2.Corp", "class": "User", "attributes": {"CN": "S2", "Description": "D2",
                                                          "Title": "T2"}},
      {"name": "u3.Corp", "class": "User", "attributes": {"Description": "D3"}})";
    auto client = StartImageClient(TreeImage(objects + "]"));
    Session s(*client, "Corp");
    const std::vector<std::pair<std::string, std::string>> reads = {
        {"Title", "T"}, {"Description", "D"}, {"cn", "S"}, {"DESCRIPTION", "D"}, {"title", "T"}};
    for (int round = 0; round < 2; ++round) {
        for (const char* object : {"u1", "u2", "u3", "u1"}) {
            const char digit = object[1];
            for (const auto& [attribute, prefix] : reads) {
                std::vector<std::string> texts;
                const Result r = s.ReadTexts(object, attribute, texts);
                if (digit == '3' && prefix != "D") {
                    EXPECT_EQ(r, Err::NoSuchAttribute) << object << " " << attribute;
                    continue;
                }
                ASSERT_EQ(r, 0) << object << " " << attribute;
                EXPECT_EQ(texts, std::vector<std::string>{prefix + digit})
                    << object << " " << attribute;
            }
        }
    }
}

TEST(ImageClientReading, ManyValuesSpanPagesEachValueOnce) {
    std::string values;
    for (int i = 0; i < 3000; ++i) {
        values +=
            (i ? "," : "") + std::string("\"value number ") + std::to_string(i) + " of many\"";
    }
    auto client = StartImageClient(TreeImage(
        R"([{"name": "Corp", "class": "Organization"},
            {"name": "u.Corp", "class": "User", "attributes": {"Description": [)" +
        values + "]}}]"));
    Session s(*client);
    std::vector<std::string> texts;
    int pages = 0;
    ASSERT_EQ(s.ReadTexts("u.Corp", "Description", texts, &pages), 0);
    ASSERT_EQ(texts.size(), 3000u);
    EXPECT_EQ(texts[2999], "value number 2999 of many");
    EXPECT_GT(pages, 1);
}

TEST(ImageClientReading, ValueInformationOnlyWhenAskedAndBeforeTheValue) {
    auto client = StartImageClient(TreeImage(R"([{"name": "Corp", "class": "Organization"},
        {"name": "u.Corp", "class": "User", "modified": 500, "attributes": {"Description": [
          {"value": "x", "flags": 5, "modified": 77, "replica": 2, "event": 9}, "y"]}}])"));
    Session s(*client);
    BufferHandle request = s.Buffer(kRequestBufferSize), reply = s.Buffer(kReadReplySize);
    client->PrepareRequest(s.context, Operation::Read, request);
    client->PutName(s.context, request, "Description");
    for (ReadKind kind : {ReadKind::Values, ReadKind::ValuesWithInfo}) {
        int32_t continuation = kNoContinuation;
        ASSERT_EQ(client->Read(s.context, "u.Corp", kind, false, request, continuation, reply), 0);
        std::string name;
        uint32_t count = 0;
        SyntaxId syntax = 0;
        ASSERT_EQ(client->GetAttrName(s.context, reply, name, count, syntax), 0);
        uint32_t flags = 0;
        TimeStamp stamp;
        if (kind == ReadKind::Values) {
            EXPECT_NE(client->GetAttrValFlags(s.context, reply, flags), 0);
            continue;
        }
        ASSERT_EQ(client->GetAttrValFlags(s.context, reply, flags), 0);
        ASSERT_EQ(client->GetAttrValModTime(s.context, reply, stamp), 0);
        EXPECT_EQ(flags, 5u);
        EXPECT_EQ(stamp.seconds, 77u);
        EXPECT_EQ(stamp.replica, 2u);
        EXPECT_EQ(stamp.event, 9u);
        AttrValue value;
        size_t size = 0;
        ASSERT_EQ(client->ComputeAttrValSize(s.context, reply, syntax, size), 0);
        EXPECT_EQ(size, 2u);
        EXPECT_EQ(client->GetAttrVal(s.context, reply, Syntax::Integer, value), Err::BadSyntax);
        ASSERT_EQ(client->GetAttrVal(s.context, reply, syntax, value), 0);
        ASSERT_EQ(client->GetAttrValModTime(s.context, reply, stamp), 0);
        EXPECT_EQ(stamp.seconds, 500u);  // the second value carries the object's time
        ASSERT_EQ(client->GetAttrVal(s.context, reply, syntax, value), 0);
        EXPECT_EQ(client->GetAttrVal(s.context, reply, syntax, value), Err::BufferEmpty);
    }
}

TEST(ImageClientStreams, ReadInPiecesToTheEnd) {
    std::string text(70000, 'x');
    text[69999] = 'z';
    auto client = StartImageClient(TreeImage(R"([{"name": "Corp", "class": "Organization"},
        {"name": "u.Corp", "class": "User", "attributes": {"Login Script": {"text": ")" +
                                             text + R"("}}}])"));
    Session s(*client);
    StreamHandle stream{};
    EXPECT_EQ(client->OpenStream(s.context, "u.Corp", "Title", 1, stream), Err::NoSuchAttribute);
    ASSERT_EQ(client->OpenStream(s.context, "u.Corp", "login script", 1, stream), 0);
    std::vector<uint8_t> buffer(kReadReplySize);
    size_t read = 0;
    ASSERT_EQ(client->ReadStream(stream, buffer, read), 0);
    EXPECT_EQ(read, kReadReplySize);
    ASSERT_EQ(client->ReadStream(stream, buffer, read), 0);
    EXPECT_EQ(read, 70000 - kReadReplySize);
    EXPECT_EQ(buffer[read - 1], 'z');
    EXPECT_EQ(client->CloseStream(stream), 0);
    EXPECT_EQ(client->ReadStream(stream, buffer, read), Err::InvalidHandle);
}

TEST(ImageClientSchema, ClassesPageThroughSmallRepliesWithTheirLists) {
    std::string classes;
    for (int i = 0; i < 120; ++i) {
        classes += (i ? "," : "") + std::string(R"({"name": "Extra Class Number )") +
                   std::to_string(i) + R"(", "super": ["Top"], "optional": ["Description"]})";
    }
    auto client = StartImageClient(TreeImage(R"([])", "", classes));
    Session s(*client);
    BufferHandle reply = s.Buffer(kListReplySize);
    int32_t continuation = kNoContinuation;
    size_t total = 0;
    int pages = 0;
    do {
        ASSERT_EQ(client->ReadClassDefinitions(s.context, ClassInfoKind::NamesAndRecord, true,
                                               BufferHandle{}, continuation, reply),
                  0);
        ++pages;
        uint32_t count = 0;
        client->GetClassDefCount(s.context, reply, count);
        total += count;
    } while (continuation != kNoContinuation);
    EXPECT_EQ(total, 126u);
    EXPECT_GT(pages, 1);

    BufferHandle request = s.Buffer(kRequestBufferSize);
    client->PrepareRequest(s.context, Operation::ReadClassDefinitions, request);
    client->PutName(s.context, request, "user");
    continuation = kNoContinuation;
    ASSERT_EQ(client->ReadClassDefinitions(s.context, ClassInfoKind::Definitions, false, request,
                                           continuation, reply),
              0);
    std::string name;
    ClassDefRecord record;
    ASSERT_EQ(client->GetClassDef(s.context, reply, name, record), 0);
    EXPECT_EQ(name, "User");
    std::vector<std::vector<std::string>> lists;
    for (int list = 0; list < 5; ++list) {
        uint32_t count = 0;
        ASSERT_EQ(client->GetClassItemCount(s.context, reply, count), 0);
        lists.emplace_back();
        for (uint32_t i = 0; i < count; ++i) {
            ASSERT_EQ(client->GetClassItem(s.context, reply, name), 0);
            lists.back().push_back(name);
        }
    }
    EXPECT_EQ(lists[0], std::vector<std::string>{"Top"});
    EXPECT_EQ(lists[2], std::vector<std::string>{"CN"});
    EXPECT_EQ(lists[4].size(), 4u);

    client->PrepareRequest(s.context, Operation::ReadClassDefinitions, request);
    client->PutName(s.context, request, "Nonesuch");
    continuation = kNoContinuation;
    EXPECT_EQ(client->ReadClassDefinitions(s.context, ClassInfoKind::Definitions, false, request,
                                           continuation, reply),
              Err::NoSuchClass);
}

TEST(ImageClientSchema, AttributeDefinitionsAndSyntax) {
    auto client = StartImageClient(TreeImage("[]"));
    Session s(*client);
    SyntaxId syntax = 0;
    EXPECT_EQ(client->GetSyntaxId(s.context, "login disabled", syntax), 0);
    EXPECT_EQ(syntax, Syntax::Boolean);
    EXPECT_EQ(client->GetSyntaxId(s.context, "Nonesuch", syntax), Err::NoSuchAttribute);
    BufferHandle request = s.Buffer(kRequestBufferSize), reply = s.Buffer(kRequestBufferSize);
    client->PrepareRequest(s.context, Operation::ReadAttrDefinitions, request);
    client->PutName(s.context, request, "title");
    int32_t continuation = kNoContinuation;
    ASSERT_EQ(client->ReadAttrDefinitions(s.context, AttrInfoKind::Definitions, false, request,
                                          continuation, reply),
              0);
    uint32_t count = 0;
    client->GetAttrCount(s.context, reply, count);
    ASSERT_EQ(count, 1u);
    std::string name;
    AttrDefRecord record;
    ASSERT_EQ(client->GetAttrDef(s.context, reply, name, record), 0);
    EXPECT_EQ(name, "Title");
    EXPECT_EQ(record.flags, 1u);
    EXPECT_EQ(record.syntax, Syntax::CiString);
}

TEST(ImageClientNames, EntryInformationCanonicalNamesAndIdentity) {
    auto client = StartImageClient(SmallTree());
    Session s(*client, "Sales.Corp", false);
    client->SetContextNumber(s.context, ContextKey::EntryInfoItems, 0xE068);
    EntryInfo info;
    ASSERT_EQ(client->ReadEntryInfo(s.context, "a", 4096, info), 0);
    EntryItem item;
    ASSERT_EQ(client->TakeEntryItem(info, 8192, EntryItemBit::Parent, item), 0);
    EXPECT_EQ(std::get<std::string>(item), "OU=Sales.O=Corp");
    ASSERT_EQ(client->TakeEntryItem(info, 8192, EntryItemBit::PartitionRoot, item), 0);
    EXPECT_EQ(std::get<std::string>(item), "[Root]");
    ASSERT_EQ(client->TakeEntryItem(info, 8192, EntryItemBit::CreationTime, item), 0);
    EXPECT_EQ(std::get<uint32_t>(item), 1000u);
    EXPECT_NE(client->TakeEntryItem(info, 8192, EntryItemBit::BaseClass, item), 0);
    EXPECT_EQ(client->TakeEntryItem(info, 4, EntryItemBit::FullName, item),
              Err::InsufficientBuffer);

    ASSERT_EQ(client->ReadEntryInfo(s.context, ".Corp", 4096, info), 0);
    ASSERT_EQ(client->TakeEntryItem(info, 8192, EntryItemBit::Parent, item), 0);
    EXPECT_EQ(std::get<std::string>(item), "[Root]");
    ASSERT_EQ(client->ReadEntryInfo(s.context, "[Root]", 4096, info), 0);
    EXPECT_NE(client->TakeEntryItem(info, 8192, EntryItemBit::Parent, item), 0);

    std::string full;
    ASSERT_EQ(client->CanonicalizeName(s.context, "b", full), 0);
    EXPECT_EQ(full, "CN=b.OU=Sales.O=Corp");
    ASSERT_EQ(client->WhoAmI(s.context, full), 0);
    EXPECT_EQ(full, "CN=a.OU=Sales.O=Corp");
    uint32_t flags = 0;
    client->GetContextNumber(s.context, ContextKey::Flags, flags);
    client->SetContextNumber(s.context, ContextKey::Flags, flags | ContextFlag::Typeless);
    ASSERT_EQ(client->CanonicalizeName(s.context, "CN=ghost", full), 0);
    EXPECT_EQ(full, "ghost.Sales.Corp");
}

TEST(ImageClientUpdates, ModifyRulesAndResultCodes) {
    auto client = StartImageClient(SmallTree());
    client->SetClock([] { return 12345u; });
    Session s(*client, "Sales.Corp");
    using C = ChangeType;
    const AttrValue boss = Text(Syntax::CiString, "boss");
    // Overwriting a single value replaces it; a duplicate value counts as a duplicate.
    EXPECT_EQ(s.Modify("a", {{C::OverwriteValue, "Title", Text(Syntax::CiString, "Chief")}}), 0);
    EXPECT_EQ(s.Modify("a", {{C::AddValue, "Title", Text(Syntax::CiString, "Other")}}),
              Err::SingleValued);
    EXPECT_EQ(s.Modify("a", {{C::AddValue, "Description", Text(Syntax::CiString, "FIRST")}}),
              Err::DuplicateValue);
    EXPECT_EQ(s.Modify("a", {{C::RemoveValue, "Description", boss}}), Err::NoSuchValue);
    // An attribute the object does not have.
    EXPECT_EQ(s.Modify("b", {{C::OverwriteValue, "Title", boss}}), Err::NoAccess);
    EXPECT_EQ(s.Modify("staff", {{C::OverwriteValue, "Description", boss}}), Err::NoSuchAttribute);
    EXPECT_EQ(s.Modify("staff", {{C::RemoveAttribute, "Description", std::nullopt}}),
              Err::NoSuchAttribute);
    EXPECT_EQ(s.Modify("staff", {{C::ClearAttribute, "Description", std::nullopt}}),
              Err::NoSuchAttribute);
    EXPECT_EQ(s.Modify("staff", {{C::AddAttribute, "Description", std::nullopt}}), 0);
    std::vector<std::string> texts;
    EXPECT_EQ(s.ReadTexts("staff", "Description", texts), Err::NoSuchAttribute);
    EXPECT_EQ(s.Modify("staff", {{C::AddValue, "Description", boss}}), 0);
    ASSERT_EQ(s.ReadTexts("staff", "Description", texts), 0);
    EXPECT_EQ(texts, std::vector<std::string>{"boss"});
    // Clear and add in one request replaces every value.
    EXPECT_EQ(s.Modify("a", {{C::ClearAttribute, "Description", std::nullopt},
                             {C::AddValue, "Description", Text(Syntax::CiString, "only")}}),
              0);
    texts.clear();
    ASSERT_EQ(s.ReadTexts("a", "Description", texts), 0);
    EXPECT_EQ(texts, std::vector<std::string>{"only"});
    // Clearing a value sent alone names no value: nothing changes.
    EXPECT_EQ(s.Modify("a", {{C::ClearValue, "Description", std::nullopt}}), 0);
    EXPECT_EQ(s.Modify("staff", {{C::ClearValue, "Title", std::nullopt}}), Err::NoSuchAttribute);
    // Clearing alone leaves no attribute behind.
    EXPECT_EQ(s.Modify("a", {{C::ClearAttribute, "Description", std::nullopt}}), 0);
    EXPECT_EQ(s.Modify("a", {{C::OverwriteValue, "Description", boss}}), Err::NoSuchAttribute);
    // A value of another syntax than the attribute's is refused.
    EXPECT_EQ(s.Modify("a", {{C::AddValue, "Title", AttrValue{Syntax::Integer, IntegerValue{1}}}}),
              Err::SyntaxViolation);
    EXPECT_EQ(client->Image()->trees[0]->Find("a.Sales.Corp")->modified, 12345u);
}

TEST(ImageClientUpdates, ANameInAValueIsCheckedAlikeAtLoadAndAtChange) {
    // "a\\=b.Corp" is an escaped backslash and then a type: it would show as
    // "CN=b.O=Corp", another object. "a\=b.Corp" escapes the "=" and is sound.
    const auto load = [](std::string_view member) {
        const std::string objects = R"([{"name": "Corp", "class": "Organization"},
          {"name": "staff.Corp", "class": "Group", "attributes": {"Member": ")" +
                                    std::string(member) + R"("}}])";
        return image::LoadImageText(TreeImage(objects), "test.json", ".");
    };
    const auto typed = load(R"(a\\\\=b.Corp)");
    EXPECT_EQ(typed.image, nullptr);
    EXPECT_NE(typed.status.error.find("has name types"), std::string::npos) << typed.status.error;
    EXPECT_NE(load(R"(a\\=b.Corp)").image, nullptr);

    auto client = StartImageClient(SmallTree());
    Session s(*client, "Sales.Corp");
    const auto add = [&s](std::string name) {
        return s.Modify(
            "staff", {{ChangeType::AddValue, "Member", Text(Syntax::DistName, std::move(name))}});
    };
    EXPECT_EQ(add(R"(a\\=b.Corp)"), Err::IllegalDsName);
    EXPECT_EQ(add("[a..b"), Err::IllegalDsName);
    EXPECT_EQ(add("CN=gone.O=Corp"), Err::IllegalDsName);
    EXPECT_EQ(add(R"(a\=b.Corp)"), 0);
    std::vector<std::string> members;
    ASSERT_EQ(s.ReadTexts("staff", "Member", members), 0);
    EXPECT_EQ(members, (std::vector<std::string>{"a.Sales.Corp", "b.Sales.Corp", R"(a\=b.Corp)"}));
}

TEST(ImageClientUpdates, AFailingChangeLeavesTheObjectAsItWas) {
    auto client = StartImageClient(SmallTree());
    Session s(*client, "Sales.Corp");
    using C = ChangeType;
    EXPECT_EQ(s.Modify("a", {{C::RemoveValue, "Description", Text(Syntax::CiString, "first")},
                             {C::RemoveValue, "Description", Text(Syntax::CiString, "absent")}}),
              Err::NoSuchValue);
    std::vector<std::string> texts;
    ASSERT_EQ(s.ReadTexts("a", "Description", texts), 0);
    EXPECT_EQ(texts, (std::vector<std::string>{"first", "second"}));
}

TEST(ImageClientUpdates, RepliesAndNamesReadBeforeAChangeStayWhatTheyWere) {
    auto client = StartImageClient(SmallTree());
    Session typed(*client, "Sales.Corp", false);
    Session s(*client, "Sales.Corp");
    using C = ChangeType;
    // A page of Member values (names shown with their types) and a page of
    // Description values, both read and not yet taken.
    const BufferHandle memberRequest = typed.Buffer(kRequestBufferSize);
    const BufferHandle memberReply = typed.Buffer(kReadReplySize);
    client->PrepareRequest(typed.context, Operation::Read, memberRequest);
    client->PutName(typed.context, memberRequest, "Member");
    int32_t continuation = kNoContinuation;
    ASSERT_EQ(client->Read(typed.context, "staff", ReadKind::Values, false, memberRequest,
                           continuation, memberReply),
              0);
    const BufferHandle request = s.Buffer(kRequestBufferSize);
    const BufferHandle reply = s.Buffer(kReadReplySize);
    client->PrepareRequest(s.context, Operation::Read, request);
    client->PutName(s.context, request, "Description");
    ASSERT_EQ(
        client->Read(s.context, "a", ReadKind::ValuesWithInfo, false, request, continuation, reply),
        0);
    // Then the values go, the group loses b's name and the alias is removed.
    ASSERT_EQ(s.Modify("a", {{C::ClearAttribute, "Description", std::nullopt},
                             {C::AddValue, "Description", Text(Syntax::CiString, "new")}}),
              0);
    ASSERT_EQ(
        s.Modify("staff", {{C::RemoveValue, "Member", Text(Syntax::DistName, "b.Sales.Corp")}}), 0);
    ASSERT_EQ(client->RemoveObject(s.context, "link"), 0);

    // The replies hand out what was read, sizes and names as they were.
    std::string name;
    uint32_t count = 0;
    SyntaxId syntax = 0;
    ASSERT_EQ(client->GetAttrName(s.context, reply, name, count, syntax), 0);
    ASSERT_EQ(count, 2u);
    size_t size = 0;
    AttrValue value;
    uint32_t flags = 0;
    EXPECT_EQ(client->GetAttrValFlags(s.context, reply, flags), 0);
    EXPECT_EQ(client->ComputeAttrValSize(s.context, reply, syntax, size), 0);
    EXPECT_EQ(size, 6u);  // "first" and its terminating zero
    ASSERT_EQ(client->GetAttrVal(s.context, reply, syntax, value), 0);
    EXPECT_EQ(std::get<StringValue>(value.record).text, "first");
    ASSERT_EQ(client->GetAttrVal(s.context, reply, syntax, value), 0);
    EXPECT_EQ(std::get<StringValue>(value.record).text, "second");
    EXPECT_EQ(client->GetAttrVal(s.context, reply, syntax, value), Err::BufferEmpty);
    ASSERT_EQ(client->GetAttrName(typed.context, memberReply, name, count, syntax), 0);
    ASSERT_EQ(count, 2u);
    ASSERT_EQ(client->GetAttrVal(typed.context, memberReply, syntax, value), 0);
    EXPECT_EQ(std::get<StringValue>(value.record).text, "CN=a.OU=Sales.O=Corp");
    ASSERT_EQ(client->GetAttrVal(typed.context, memberReply, syntax, value), 0);
    EXPECT_EQ(std::get<StringValue>(value.record).text, "CN=b.OU=Sales.O=Corp");

    // Names read again see the change: the alias is gone, the object has its new value.
    std::vector<std::string> texts;
    EXPECT_EQ(s.ReadTexts("link", "Title", texts), Err::NoSuchEntry);
    ASSERT_EQ(s.ReadTexts("a", "Description", texts), 0);
    EXPECT_EQ(texts, std::vector<std::string>{"new"});
}

TEST(ImageClientContexts, FreedHandlesAndHandlesOfAnotherKindAreRefused) {
    auto client = StartImageClient(SmallTree());
    std::set<uint32_t> seen;
    for (int round = 0; round < 3; ++round) {
        ContextHandle context{};
        BufferHandle buffer{};
        ASSERT_EQ(client->CreateContext(context), 0);
        ASSERT_EQ(client->AllocBuffer(kRequestBufferSize, buffer), 0);
        // Every handle is new, also when its storage is used again.
        EXPECT_TRUE(seen.insert(static_cast<uint32_t>(context)).second);
        EXPECT_TRUE(seen.insert(static_cast<uint32_t>(buffer)).second);
        // A buffer's number is no context, and a context's number no buffer.
        EXPECT_EQ(client->FreeContext(static_cast<ContextHandle>(buffer)), Err::BadContext);
        EXPECT_EQ(client->FreeBuffer(static_cast<BufferHandle>(context)), Err::InvalidHandle);
        ASSERT_EQ(client->FreeBuffer(buffer), 0);
        ASSERT_EQ(client->FreeContext(context), 0);
        EXPECT_EQ(client->FreeBuffer(buffer), Err::InvalidHandle);
        EXPECT_EQ(client->FreeContext(context), Err::BadContext);
        uint32_t flags = 0;
        EXPECT_EQ(client->GetContextNumber(context, ContextKey::Flags, flags), Err::BadContext);
        EXPECT_EQ(client->PrepareRequest(context, Operation::Read, buffer), Err::BadContext);
    }
    // Several slots freed in another order than they were made are each
    // used again for exactly one new handle: every live handle is found.
    ContextHandle context{};
    ASSERT_EQ(client->CreateContext(context), 0);
    std::vector<BufferHandle> live(3);
    for (BufferHandle& buffer : live)
        ASSERT_EQ(client->AllocBuffer(kRequestBufferSize, buffer), 0);
    ASSERT_EQ(client->FreeBuffer(live[1]), 0);
    ASSERT_EQ(client->FreeBuffer(live[0]), 0);
    live.erase(live.begin(), live.begin() + 2);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(client->AllocBuffer(kRequestBufferSize, live.emplace_back()), 0);
    for (BufferHandle buffer : live) {
        EXPECT_TRUE(seen.insert(static_cast<uint32_t>(buffer)).second);
        EXPECT_EQ(client->PrepareRequest(context, Operation::Read, buffer), 0);
    }
    for (BufferHandle buffer : live)
        EXPECT_EQ(client->FreeBuffer(buffer), 0);
    ASSERT_EQ(client->FreeContext(context), 0);

    // A buffer used again starts empty: no request items, no reply.
    Session s(*client, "Sales.Corp");
    BufferHandle reply = s.Buffer(kReadReplySize);
    std::vector<std::string> texts;
    ASSERT_EQ(s.ReadTexts("a", "Title", texts), 0);
    client->FreeBuffer(s.buffers.back());
    s.buffers.pop_back();
    BufferHandle again = s.Buffer(kReadReplySize);
    uint32_t count = 0;
    EXPECT_EQ(client->GetAttrCount(s.context, again, count), Err::BadVerb);
    EXPECT_EQ(client->GetAttrCount(s.context, reply, count), Err::BadVerb);
}

TEST(ImageClientUpdates, RemoveRefusesWhatMustStay) {
    auto client = StartImageClient(SmallTree());
    Session s(*client, "Sales.Corp");
    EXPECT_EQ(client->RemoveObject(s.context, ".Sales.Corp"), Err::NotEmpty);
    EXPECT_EQ(client->RemoveObject(s.context, "b"), Err::NoAccess);
    EXPECT_EQ(client->RemoveObject(s.context, "nobody"), Err::NoSuchEntry);
    EXPECT_EQ(client->RemoveObject(s.context, ".[Root].Sales.Corp"), Err::NoSuchEntry);
    // Removing an alias removes the alias alone.
    ASSERT_EQ(client->RemoveObject(s.context, "link"), 0);
    const auto& tree = *client->Image()->trees[0];
    EXPECT_EQ(tree.Find("link.Sales.Corp"), nullptr);
    EXPECT_NE(tree.Find("a.Sales.Corp"), nullptr);
    EXPECT_EQ(client->RemoveObject(s.context, ".Empty.Corp"), 0);
    EXPECT_EQ(tree.Find("Empty.Corp"), nullptr);
}

}  // namespace
}  // namespace vellrun::client
