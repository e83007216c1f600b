#pragma once

// Builds embedded-directory clients from small images that tests write inline.

#include "client/image/ImageClient.h"

#include <memory>
#include <string>
#include <string_view>

namespace vellrun::testing {

// Loads the image text (failing the test on a refusal) and starts a client on it.
std::unique_ptr<client::image::ImageClient> StartImageClient(std::string_view json);

// An image with one tree "T" holding the given schema attributes/classes and
// objects (JSON array texts); a small default schema is used when empty.
std::string TreeImage(std::string_view objects, std::string_view extraAttributes = "",
                      std::string_view extraClasses = "", std::string_view identity = "");

}  // namespace vellrun::testing
