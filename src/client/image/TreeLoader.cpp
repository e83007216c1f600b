#include "client/image/TreeLoader.h"

#include <algorithm>
#include <utility>

namespace vellrun::client::image::detail {

std::string Indexed(std::string_view list, size_t index) {
    std::string place(list);
    place += '[';
    place += std::to_string(index);
    place += ']';
    return place;
}

std::string NameNote(const Json& element) {
    if (!element.is_object()) return {};
    auto name = element.find("name");
    if (name == element.end() || !name->is_string()) return {};
    return " " + Quoted(name->get_ref<const std::string&>());
}

std::string_view TreeLoader::KeepName(std::string_view text) {
    constexpr size_t kBlockBytes = 64 * 1024;
    if (static_cast<size_t>(nameEnd_ - nameNext_) < text.size()) {
        const size_t size = std::max(kBlockBytes, text.size());
        nameBlocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        nameNext_ = nameBlocks_.back().get();
        nameEnd_ = nameNext_ + size;
    }
    const std::string_view kept(nameNext_, text.size());
    nameNext_ = std::copy(text.begin(), text.end(), nameNext_);
    return kept;
}

std::unique_ptr<Tree> TreeLoader::Load() {
    tree_ = std::make_unique<Tree>();
    const Json* schema = nullptr;
    const Json* objects = nullptr;
    const Json* identity = nullptr;
    try {
        const Fields fields(source_, {"name", "identity", "schema", "objects"},
                            R"(a tree {"name": ..., "schema": ..., "objects": [...]})");
        const Json& nameValue = fields.Require("name");
        tree_->name = ReadField("name", [&] {
            const std::string& name = detail::ReadText(nameValue);
            if (const std::string fault = TreeNameFault(name); !fault.empty())
                Refuse(Quoted(name) + " " + fault);
            return name;
        });
        schema = &fields.Require("schema");
        objects = fields.Get("objects");
        identity = fields.Get("identity");
    } catch (Refusal& refusal) {
        refusal.Within(place_);
        throw;
    }

    LoadSchema(*schema);

    auto root = std::make_unique<Entry>();
    root->name = "[Root]";
    // The top of a tree is of class "Top" whether or not the schema defines it.
    root->baseClass =
        tree_->names.Intern(topClass_ ? tree_->schema.classes[*topClass_].name : "Top");
    root->partitionRoot = true;
    tree_->root = std::move(root);

    valueSource_.baseDir = &baseDir_;
    valueSource_.findClass = [this](const std::string& name) -> const std::string* {
        const size_t* index = FindClass(name);
        return index != nullptr ? &tree_->schema.classes[*index].name : nullptr;
    };
    if (objects != nullptr) LoadObjects(*objects);
    LinkObjects();
    if (identity != nullptr) ReadIdentity(*identity);
    return std::move(tree_);
}

}  // namespace vellrun::client::image::detail
