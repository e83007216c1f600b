#pragma once

#include "client/image/ImageClient.h"
#include "directory/DirectoryAccess.h"
#include "support/CountingRunFeedback.h"
#include "support/RecordingValueFormatter.h"
#include "support/ScriptedMessagePort.h"
#include "support/SpyClient.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vellrun::testing {

// An image of several trees, each given as its name and its objects (a JSON
// array text), over a small schema: Organization, Organizational Unit, User,
// Group and Alias, with CN, Surname, Description (multi-valued), Title,
// Aliased Object Name and the stream Login Script.
std::string TreesImage(const std::vector<std::pair<std::string, std::string>>& trees,
                       std::string_view identity = "");

// The objects of a small tree: Corp with the units Sales (holding East) and
// IT, the users admin.IT.Corp, jdoe.Sales.Corp (Description with two values)
// and asmith.East.Sales.Corp, the group staff.Sales.Corp and the alias
// jalias.Sales.Corp of jdoe.
std::string CorpObjects();

// DirectoryAccess over the embedded directory of an inline image, with the
// client wrapped in a SpyClient and scripted ports. The test fails when the
// image is refused. Contexts made with Context() are freed at the end.
class DirectoryTestBed {
public:
    // start: run DSStartClient at once (the test fails unless it returns 0).
    // baseDir: where the image's stream files lie.
    explicit DirectoryTestBed(std::string_view json, bool start = true,
                              std::string_view baseDir = ".");
    ~DirectoryTestBed();
    DirectoryTestBed(const DirectoryTestBed&) = delete;
    DirectoryTestBed& operator=(const DirectoryTestBed&) = delete;

    // A new context on the tree (the first one when empty) at the container, typeless.
    client::ContextHandle Context(std::string_view container = "[Root]", std::string_view tree = {},
                                  bool typeless = true);
    // The entries of a listing, as "class: name" lines.
    std::vector<std::string> List(client::ContextHandle context, std::string_view container,
                                  client::Result* result = nullptr);

    std::unique_ptr<client::image::ImageClient> image;
    SpyClient spy;
    ScriptedMessagePort messages;
    CountingRunFeedback feedback;
    RecordingValueFormatter formatter;
    directory::DirectoryAccess access;

private:
    std::vector<client::ContextHandle> contexts_;
};

}  // namespace vellrun::testing
