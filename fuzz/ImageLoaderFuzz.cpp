// The image loader on any text: it either returns an image and no message,
// or no image and one valid UTF-8 message that starts with the file's name.

#include "FuzzSupport.h"
#include "client/image/ImageLoader.h"
#include "platform/TextEncoding.h"

namespace {

constexpr std::string_view kName = "fuzz.json";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vellrun;
    // Stream files are looked for in a folder of our own (which holds only
    // what another target wrote there, if anything).
    const client::image::LoadResult result = client::image::LoadImageText(
        fuzz::AsText(data, size), std::string(kName), fuzz::ScratchDir());
    if (result.image) {
        fuzz::Check(result.status.error.empty(), "a loaded image comes with a message",
                    result.status.error);
        for (const auto& tree : result.image->trees) {
            fuzz::Check(tree && tree->root && tree->root->IsRoot(), "a tree without its top");
        }
    } else {
        fuzz::Check(result.status.error.starts_with(std::string(kName) + ": "),
                    "a refusal that does not name the file", result.status.error);
        fuzz::Check(platform::IsValidUtf8(result.status.error), "a refusal that is not UTF-8",
                    result.status.error);
    }
    return 0;
}
