#include "support/ImageFixture.h"

#include "client/image/ImageLoader.h"

#include <gtest/gtest.h>

namespace vellrun::testing {

std::unique_ptr<client::image::ImageClient> StartImageClient(std::string_view json) {
    auto loaded = client::image::LoadImageText(json, "test.json", ".");
    EXPECT_TRUE(loaded.image) << loaded.status.error;
    if (!loaded.image) return nullptr;
    auto client = std::make_unique<client::image::ImageClient>(
        std::shared_ptr<client::image::DirectoryImage>(std::move(loaded.image)));
    EXPECT_EQ(client->InitClient(0, 0), 0);
    return client;
}

std::string TreeImage(std::string_view objects, std::string_view extraAttributes,
                      std::string_view extraClasses, std::string_view identity) {
    std::string json = R"({"format": "vellrun-directory-image", "version": 1, "trees": [{
  "name": "T", "identity": ")";
    json += identity;
    json += R"(",
  "schema": {
    "attributes": [
      {"name": "CN", "syntax": "CI_STRING"},
      {"name": "OU", "syntax": "CI_STRING"},
      {"name": "O", "syntax": "CI_STRING"},
      {"name": "Object Class", "syntax": "CLASS_NAME"},
      {"name": "Aliased Object Name", "syntax": "DIST_NAME", "flags": ["SingleVal"]},
      {"name": "Description", "syntax": "CI_STRING"},
      {"name": "Title", "syntax": "CI_STRING", "flags": ["SingleVal"]},
      {"name": "Member", "syntax": "DIST_NAME"},
      {"name": "Login Disabled", "syntax": "BOOLEAN", "flags": ["SingleVal"]},
      {"name": "Login Script", "syntax": "STREAM", "flags": ["SingleVal"]})";
    if (!extraAttributes.empty()) {
        json += ",\n      ";
        json += extraAttributes;
    }
    json += R"(],
    "classes": [
      {"name": "Top", "flags": ["Effective"]},
      {"name": "Alias", "flags": ["Effective"], "super": ["Top"]},
      {"name": "Organization", "flags": ["Container", "Effective"], "super": ["Top"], "naming": ["O"]},
      {"name": "Organizational Unit", "flags": ["Container", "Effective"], "super": ["Top"], "naming": ["OU"]},
      {"name": "User", "flags": ["Effective"], "super": ["Top"], "naming": ["CN"],
       "optional": ["Description", "Title", "Login Disabled", "Login Script"]},
      {"name": "Group", "flags": ["Effective"], "super": ["Top"], "naming": ["CN"], "optional": ["Member"]})";
    if (!extraClasses.empty()) {
        json += ",\n      ";
        json += extraClasses;
    }
    json += R"(]
  },
  "objects": )";
    json += objects;
    json += "}]}";
    return json;
}

}  // namespace vellrun::testing
