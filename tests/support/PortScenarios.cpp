#include "support/PortScenarios.h"

#include <gtest/gtest.h>

namespace vellrun::testing {

using namespace client;

PagedRead ReadAllThroughSmallPages(DirectoryClient& client, ContextHandle context,
                                   std::string_view object, size_t small) {
    PagedRead read;
    BufferHandle smallReply{};
    BufferHandle largeReply{};
    EXPECT_EQ(client.AllocBuffer(small, smallReply), 0);
    EXPECT_EQ(client.AllocBuffer(kReadReplySize, largeReply), 0);
    int32_t continuation = kNoContinuation;
    do {
        BufferHandle reply = smallReply;
        read.result = client.Read(context, object, ReadKind::Values, true, BufferHandle{},
                                  continuation, reply);
        if (read.result == Err::InsufficientBuffer && continuation != kNoContinuation) {
            ++read.refusedLaterPages;
            reply = largeReply;
            read.result = client.Read(context, object, ReadKind::Values, true, BufferHandle{},
                                      continuation, reply);
        }
        if (read.result != 0) break;
        uint32_t count = 0;
        EXPECT_EQ(client.GetAttrCount(context, reply, count), 0);
        for (uint32_t i = 0; i < count; ++i) {
            std::string name;
            uint32_t values = 0;
            SyntaxId syntax = 0;
            EXPECT_EQ(client.GetAttrName(context, reply, name, values, syntax), 0);
            size_t total = 0;
            for (uint32_t v = 0; v < values; ++v) {
                size_t size = 0;
                EXPECT_EQ(client.ComputeAttrValSize(context, reply, syntax, size), 0);
                AttrValue value;
                EXPECT_EQ(client.GetAttrVal(context, reply, syntax, value), 0);
                total += size;
            }
            // An attribute cut between pages goes on under the same name.
            if (!read.attributes.empty() && read.attributes.back().first == name) {
                read.attributes.back().second += total;
            } else {
                read.attributes.emplace_back(name, total);
            }
        }
    } while (continuation != kNoContinuation);
    client.FreeBuffer(largeReply);
    client.FreeBuffer(smallReply);
    return read;
}

}  // namespace vellrun::testing
