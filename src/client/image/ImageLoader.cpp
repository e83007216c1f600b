#include "client/image/ImageLoader.h"

#include "client/image/TreeLoader.h"
#include "platform/RegularFile.h"

#include <exception>
#include <new>
#include <unordered_map>

namespace vellrun::client::image {

namespace {

using detail::Fields;
using detail::Indexed;
using detail::Json;
using detail::Quoted;
using detail::ReadField;
using detail::Refusal;
using detail::Refuse;
using detail::TextMap;
using detail::TreeLoader;

constexpr std::string_view kFormat = "vellrun-directory-image";
constexpr uint32_t kVersion = 1;

void LoadDocument(Json& document, DirectoryImage& image, const std::filesystem::path& baseDir,
                  detail::ByteBudget& budget, const LoadProgress& report) {
    if (!document.is_object()) {
        Refuse(R"(expected an image {"format": ..., "version": ..., "trees": [...]})");
    }
    // The format and version come first: a newer image may well have keys this one does not know.
    auto format = document.find("format");
    if (format == document.end()) Refuse("missing \"format\"");
    if (!format->is_string() || format->get_ref<const std::string&>() != kFormat) {
        ReadField("format", [] { Refuse("expected \"" + std::string(kFormat) + "\""); });
    }
    auto version = document.find("version");
    if (version == document.end()) Refuse("missing \"version\"");
    if (!version->is_number_unsigned() || version->get<uint64_t>() != kVersion) {
        ReadField("version", [&] {
            Refuse(version->dump() + " is not supported (this program reads version " +
                   std::to_string(kVersion) + ")");
        });
    }
    const Fields fields(document, {"format", "version", "trees"});
    fields.Require("trees");
    Json& trees = document["trees"];
    if (!trees.is_array()) ReadField("trees", [] { Refuse("expected a list of trees"); });

    detail::ObjectProgress progress;
    if (report) {
        progress.report = &report;
        for (const Json& tree : trees) {
            if (!tree.is_object()) continue;
            auto objects = tree.find("objects");
            if (objects != tree.end() && objects->is_array()) progress.total += objects->size();
        }
    }
    TextMap<size_t> treeNames;
    image.trees.reserve(trees.size());
    for (size_t i = 0; i < trees.size(); ++i) {
        TreeLoader loader(trees[i], i, baseDir, budget, progress);
        std::unique_ptr<Tree> tree = loader.Load();
        trees[i] = nullptr;
        // No structured binding: clang before 16 cannot capture one in a lambda.
        const auto known = treeNames.try_emplace(FoldCase(tree->name), i).first;
        if (known->second != i) {
            ReadField(Indexed("trees", i) + ": name", [&] {
                Refuse(Quoted(tree->name) + " is already the name of " +
                       Indexed("trees", known->second) +
                       " (names are compared without regard to case)");
            });
        }
        image.trees.push_back(std::move(tree));
    }
}

}  // namespace

uint64_t DefaultValueByteLimit(uint64_t textBytes) {
    constexpr uint64_t kMiB = 1024 * 1024;
    return textBytes * 64 + 64 * kMiB;
}

namespace {

// readable: the bytes from text.data() that may be read, text.size() and any
// padding. owner, when given, holds the text and is emptied once the document
// is read, so that the text does not stay in memory beside the growing tree.
LoadResult LoadPaddedText(std::string_view text, size_t readable, const std::string& displayName,
                          const std::filesystem::path& baseDir, const LoadOptions& options,
                          std::string* owner = nullptr) {
    LoadResult result;
    detail::ByteBudget budget;
    budget.limit =
        options.valueByteLimit != 0 ? options.valueByteLimit : DefaultValueByteLimit(text.size());
    try {
        Json document;
        std::string error;
        // While the text is read, how far it is is not known yet.
        const std::function<bool()> cancel = [&options] { return !options.progress(0, 0); };
        if (!detail::ParseImageJson(text, readable, document, error,
                                    options.progress ? &cancel : nullptr, kLoadCancelled)) {
            result.cancelled = error == kLoadCancelled;
            result.status = platform::FileStatus::Failed(displayName + ": " + error);
            return result;
        }
        if (owner != nullptr) std::string().swap(*owner);
        auto image = std::make_unique<DirectoryImage>();
        image->sourcePath = displayName;
        LoadDocument(document, *image, baseDir, budget, options.progress);
        result.image = std::move(image);
    } catch (Refusal& refusal) {
        result.cancelled = refusal.Text() == kLoadCancelled;
        refusal.Within(displayName);
        result.status = platform::FileStatus::Failed(refusal.Text());
    } catch (const std::bad_alloc&) {
        result.status =
            platform::FileStatus::Failed(displayName + ": not enough memory to load the image");
    } catch (const std::exception& error) {
        result.status =
            platform::FileStatus::Failed(displayName + ": cannot load the image: " + error.what());
    }
    return result;
}

}  // namespace

LoadResult LoadImageText(std::string_view text, const std::string& displayName,
                         const std::filesystem::path& baseDir, const LoadOptions& options) {
    return LoadPaddedText(text, text.size(), displayName, baseDir, options);
}

LoadResult LoadImageFile(const std::filesystem::path& path, const LoadOptions& options) {
    const std::string displayName = path.string();
    std::string text;
    // Read with room after the text, so that the parser need not copy it.
    const platform::FileStatus read =
        platform::ReadRegularFile(path, text, SIZE_MAX, detail::kJsonPadding);
    if (!read.ok()) {
        return LoadResult{nullptr, platform::FileStatus::Failed(
                                       displayName + ": cannot read the file: " + read.error)};
    }
    std::filesystem::path baseDir = path.parent_path();
    if (baseDir.empty()) baseDir = ".";
    return LoadPaddedText(text, text.capacity(), displayName, baseDir, options, &text);
}

}  // namespace vellrun::client::image
