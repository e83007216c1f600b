#pragma once

// Scenarios that every backend of the directory client must pass alike,
// written once against the client interface: the image client's tests and
// the live directory's tests run them on their own directories.

#include "client/DirectoryClient.h"

#include <string>
#include <string_view>
#include <vector>

namespace vellrun::testing {

// How a read of every attribute went when its pages came in a small buffer.
struct PagedRead {
    client::Result result = 0;
    // The attributes in the order they came, each as name and the total size
    // of its values.
    std::vector<std::pair<std::string, size_t>> attributes;
    // Pages refused as too small while the read's continuation was open.
    int refusedLaterPages = 0;
};

// Reads every attribute of the object, with values, into a reply buffer of
// `small` bytes. A page refused because its first value does not fit is asked
// for again on the same continuation with the largest buffer there is, as a
// caller that meets a value too large for its buffer does.
PagedRead ReadAllThroughSmallPages(client::DirectoryClient& client, client::ContextHandle context,
                                   std::string_view object, size_t small);

}  // namespace vellrun::testing
