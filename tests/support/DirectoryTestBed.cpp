#include "support/DirectoryTestBed.h"

#include "client/image/ImageLoader.h"

#include <gtest/gtest.h>

namespace vellrun::testing {

namespace {

constexpr std::string_view kSchema = R"("schema": {
    "attributes": [
      {"name": "CN", "syntax": "CI_STRING"},
      {"name": "OU", "syntax": "CI_STRING"},
      {"name": "O", "syntax": "CI_STRING"},
      {"name": "Surname", "syntax": "CI_STRING"},
      {"name": "Object Class", "syntax": "CLASS_NAME"},
      {"name": "Aliased Object Name", "syntax": "DIST_NAME", "flags": ["SingleVal"]},
      {"name": "Description", "syntax": "CI_STRING"},
      {"name": "Title", "syntax": "CI_STRING", "flags": ["SingleVal"]},
      {"name": "Login Grace Limit", "syntax": "INTEGER", "flags": ["SingleVal"]},
      {"name": "Login Disabled", "syntax": "BOOLEAN", "flags": ["SingleVal"]},
      {"name": "Login Script", "syntax": "STREAM", "flags": ["SingleVal"]}
    ],
    "classes": [
      {"name": "Top", "flags": ["Effective"]},
      {"name": "Alias", "flags": ["Effective"], "super": ["Top"], "naming": ["CN"]},
      {"name": "Organization", "flags": ["Container", "Effective"], "super": ["Top"],
       "naming": ["O"], "optional": ["Description"]},
      {"name": "Organizational Unit", "flags": ["Container", "Effective"], "super": ["Top"],
       "containment": ["Organization", "Organizational Unit"], "naming": ["OU"],
       "optional": ["Description"]},
      {"name": "User", "flags": ["Effective"], "super": ["Top"],
       "containment": ["Organization", "Organizational Unit"], "naming": ["CN"],
       "mandatory": ["CN"],
       "optional": ["Surname", "Description", "Title", "Login Grace Limit", "Login Disabled",
                    "Login Script"]},
      {"name": "Group", "flags": ["Effective"], "super": ["Top"], "naming": ["CN"]}
    ]
  })";

std::unique_ptr<client::image::ImageClient> LoadClient(std::string_view json,
                                                       std::string_view baseDir) {
    auto loaded = client::image::LoadImageText(json, "test.json", std::string(baseDir));
    if (!loaded.image) {
        ADD_FAILURE() << "image refused: " << loaded.status.error;
        return client::image::ImageClient::Failing(loaded.status.error);
    }
    return std::make_unique<client::image::ImageClient>(
        std::shared_ptr<client::image::DirectoryImage>(std::move(loaded.image)));
}

}  // namespace

std::string TreesImage(const std::vector<std::pair<std::string, std::string>>& trees,
                       std::string_view identity) {
    std::string json = R"({"format": "vellrun-directory-image", "version": 1, "trees": [)";
    bool first = true;
    for (const auto& [name, objects] : trees) {
        if (!first) json += ",";
        first = false;
        json += "\n {\"name\": \"" + name + "\", \"identity\": \"";
        json += identity;
        json += "\", ";
        json += kSchema;
        json += ",\n  \"objects\": " + objects + "}";
    }
    json += "]}";
    return json;
}

std::string CorpObjects() {
    return R"([
  {"name": "Corp", "class": "Organization"},
  {"name": "Sales.Corp", "class": "Organizational Unit"},
  {"name": "IT.Corp", "class": "Organizational Unit"},
  {"name": "admin.IT.Corp", "class": "User", "attributes": {"CN": "admin", "Surname": "Admin"}},
  {"name": "jdoe.Sales.Corp", "class": "User",
   "attributes": {"CN": "jdoe", "Surname": "Doe", "Description": ["first", "second"]}},
  {"name": "East.Sales.Corp", "class": "Organizational Unit"},
  {"name": "asmith.East.Sales.Corp", "class": "User", "attributes": {"CN": "asmith"}},
  {"name": "staff.Sales.Corp", "class": "Group"},
  {"name": "jalias.Sales.Corp", "class": "Alias",
   "attributes": {"Aliased Object Name": "jdoe.Sales.Corp"}}
])";
}

DirectoryTestBed::DirectoryTestBed(std::string_view json, bool start, std::string_view baseDir)
    : image(LoadClient(json, baseDir)), spy(*image), access(spy, messages, feedback) {
    formatter.access = &access;
    access.SetValueFormatter(&formatter);
    if (start) {
        EXPECT_EQ(access.DSStartClient(), 0) << image->StartupDiagnostic();
    }
}

DirectoryTestBed::~DirectoryTestBed() {
    for (client::ContextHandle context : contexts_)
        spy.FreeContext(context);
}

client::ContextHandle DirectoryTestBed::Context(std::string_view container, std::string_view tree,
                                                bool typeless) {
    client::ContextHandle context{};
    EXPECT_EQ(spy.CreateContext(context), 0);
    contexts_.push_back(context);
    EXPECT_EQ(access.DSSetContext(context, tree, container), 0);
    EXPECT_EQ(access.DSSetTypeless(context, typeless), 0);
    return context;
}

std::vector<std::string> DirectoryTestBed::List(client::ContextHandle context,
                                                std::string_view container,
                                                client::Result* result) {
    platform::StringList lines;
    const client::Result listed =
        access.DSListContainer(context, container, nullptr, feedback.Cancel(), lines);
    if (result != nullptr) *result = listed;
    return lines.Texts();
}

}  // namespace vellrun::testing
