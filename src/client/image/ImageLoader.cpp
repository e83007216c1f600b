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

// The parts of a document the library's parser read whole; each tree is
// emptied once the next is asked for.
class DocumentParts final : public detail::ImageParts, detail::ObjectList {
public:
    explicit DocumentParts(Json& document) : document_(document) {}

    Json& Image() override { return document_; }

    uint64_t ObjectTotal() override {
        uint64_t total = 0;
        for (const Json& tree : document_["trees"]) {
            if (!tree.is_object()) continue;
            auto objects = tree.find("objects");
            if (objects != tree.end() && objects->is_array()) total += objects->size();
        }
        return total;
    }

    Json* NextTree() override {
        Json& trees = document_["trees"];
        if (next_ > 0) trees[next_ - 1] = nullptr;
        if (next_ == trees.size()) return nullptr;
        nextObject_ = 0;
        return &trees[next_++];
    }

    ObjectList& Objects() override { return *this; }
    size_t Size() override { return ObjectsOfTree().size(); }
    Json& Next() override { return ObjectsOfTree()[nextObject_++]; }

private:
    Json& ObjectsOfTree() { return document_["trees"][next_ - 1]["objects"]; }

    Json& document_;
    size_t next_ = 0;
    size_t nextObject_ = 0;
};

void LoadDocument(detail::ImageParts& parts, DirectoryImage& image,
                  const std::filesystem::path& baseDir, detail::ByteBudget& budget,
                  const LoadProgress& report) {
    const Json& document = parts.Image();
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
    if (!fields.Require("trees").is_array()) {
        ReadField("trees", [] { Refuse("expected a list of trees"); });
    }

    detail::ObjectProgress progress;
    if (report) {
        progress.report = &report;
        progress.total = parts.ObjectTotal();
    }
    TextMap<size_t> treeNames;
    for (size_t i = 0; const Json* source = parts.NextTree(); ++i) {
        TreeLoader loader(*source, parts.Objects(), i, baseDir, budget, progress);
        std::unique_ptr<Tree> tree = loader.Load();
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
    // Every object is in: the last word of progress (a cancel now comes too late).
    if (report) static_cast<void>(report(progress.total, progress.total));
}

}  // namespace

uint64_t DefaultValueByteLimit(uint64_t textBytes) {
    constexpr uint64_t kMiB = 1024 * 1024;
    return textBytes * 64 + 64 * kMiB;
}

namespace {

// Loads the parts of a document into a new image.
std::unique_ptr<DirectoryImage> LoadParts(detail::ImageParts& parts, uint64_t textBytes,
                                          const std::string& displayName,
                                          const std::filesystem::path& baseDir,
                                          const LoadOptions& options) {
    detail::ByteBudget budget;
    budget.limit =
        options.valueByteLimit != 0 ? options.valueByteLimit : DefaultValueByteLimit(textBytes);
    auto image = std::make_unique<DirectoryImage>();
    image->sourcePath = displayName;
    LoadDocument(parts, *image, baseDir, budget, options.progress);
    return image;
}

// The fast reader builds one part of the document at a time (the image, a
// tree, an object) and the loader takes each in before the next is read. At a
// fault of the text the library's parser reads it again whole, for the
// message; a fault of the content is told only once the rest of the text is
// known to be sound, as a fault of the text wins wherever it lies.
// readable: the bytes from text.data() that may be read, text.size() and any
// padding. file, when given, is where the text was read from: the fast reader
// then gives back the text behind it, and the library's parser reads the file
// again.
std::unique_ptr<DirectoryImage> LoadText(std::string_view text, size_t readable,
                                         const std::string& displayName,
                                         const std::filesystem::path& baseDir,
                                         const LoadOptions& options,
                                         const std::filesystem::path* file) {
    try {
        std::unique_ptr<detail::ImageParts> parts =
            detail::ReadImageParts(text, readable, file != nullptr);
        // The text's structure is found: the first word of progress, and a
        // chance to stop, before the objects are counted and taken in.
        if (options.progress && !options.progress(0, 0)) Refuse(std::string(kLoadCancelled));
        try {
            return LoadParts(*parts, text.size(), displayName, baseDir, options);
        } catch (Refusal& refusal) {
            if (refusal.Text() != kLoadCancelled) parts->Finish();
            throw;
        }
    } catch (detail::TextFault&) {
    }
    std::string again;
    if (file != nullptr) {
        const platform::FileStatus read = platform::ReadRegularFile(*file, again);
        if (!read.ok()) Refuse("cannot read the file: " + read.error);
        text = again;
    }
    Json document;
    std::string error;
    if (!detail::ParseImageJson(text, document, error)) Refuse(error);
    DocumentParts parts(document);
    return LoadParts(parts, text.size(), displayName, baseDir, options);
}

LoadResult LoadPaddedText(std::string_view text, size_t readable, const std::string& displayName,
                          const std::filesystem::path& baseDir, const LoadOptions& options,
                          const std::filesystem::path* file = nullptr) {
    LoadResult result;
    try {
        result.image = LoadText(text, readable, displayName, baseDir, options, file);
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
    return LoadPaddedText(text, text.capacity(), displayName, baseDir, options, &path);
}

}  // namespace vellrun::client::image
