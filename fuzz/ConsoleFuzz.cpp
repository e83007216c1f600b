// The console program on a fuzzed image, in-process: it lists the trees, then
// for an image that loads it lists the top and the first containers, shows
// the first objects, reports every object with every attribute of the schema
// (value flags, time stamps, no size limit) and reports the schema. Whatever
// the image holds, every command ends with an exit code and nothing crashes.

#include "FuzzSupport.h"
#include "cli/CliApp.h"
#include "client/image/ImageClient.h"
#include "client/image/ImageLoader.h"
#include "platform/TextEncoding.h"

#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace vellrun;

// How much of a big image the commands walk: enough to reach every value
// form, small enough to keep each input quick.
constexpr size_t kMaxObjects = 4;
constexpr size_t kMaxAttributes = 48;

int RunConsole(cli::CliApp& app, const std::vector<std::string>& args) {
    app.SetDateTimeFormats(platform::DateTimeFormats{});
    app.SetSettings(settings::AppSettings{});
    app.SetNow(platform::DateTimeParts{2009, 10, 30, 12, 0, 0, 5});
    std::ostringstream out;
    std::ostringstream err;
    const int code = app.Run(args, out, err);
    fuzz::Check(code == cli::CliApp::kSuccess || code == cli::CliApp::kFailure,
                "the console called its own command line wrong", err.str());
    fuzz::Check(code == cli::CliApp::kSuccess || !err.str().empty(),
                "the console failed without a word");
    return code;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = fuzz::AsText(data, size);
    const std::filesystem::path file = fuzz::ScratchDir() / "console.json";
    fuzz::WriteFile(file, text);

    // The real entry: the image read from its file by the program's own client.
    cli::CliApp fromFile;
    RunConsole(fromFile, {"--image", file.string(), "trees"});

    client::image::LoadResult loaded =
        client::image::LoadImageText(text, file.string(), fuzz::ScratchDir());
    if (!loaded.image) return 0;
    // The remaining commands share the loaded image rather than read the file
    // again for each one; they only read it.
    const std::shared_ptr<client::image::DirectoryImage> image = std::move(loaded.image);
    cli::CliApp app([image](const client::ClientOptions&) {
        return std::make_unique<client::image::ImageClient>(image);
    });
    const std::string imageArg = file.string();
    // Output kinds vary with the input, so that every export sees fuzzed
    // values; a workbook goes to a scratch file.
    static const char* const kOutputs[] = {"csv", "html", "xml", "xls"};
    const char* output = kOutputs[size % 4];
    const std::string workbook = (fuzz::ScratchDir() / "report.xlsx").string();

    for (const auto& tree : image->trees) {
        const std::string& name = tree->name;
        RunConsole(app, {"--image", imageArg, "list", "--tree", name, "--", "[Root]"});
        std::vector<std::string> objects;
        for (const auto& child : tree->root->children) {
            if (objects.size() >= kMaxObjects) break;
            objects.push_back(client::image::Tree::FullName(*child, true));
            for (const auto& grandChild : child->children) {
                if (objects.size() >= kMaxObjects) break;
                objects.push_back(client::image::Tree::FullName(*grandChild, true));
            }
        }
        for (const std::string& object : objects) {
            RunConsole(app, {"--image", imageArg, "list", "--tree", name, "--", object});
            RunConsole(app, {"--image", imageArg, "object", "--tree", name, "--value-flags",
                             "--time-stamps", "--max-size", "none", "--", object});
        }
        std::vector<std::string> report{
            "--image",       imageArg,        "report",     "--tree",    name,       "--container",
            "[Root]",        "--class",       "*",          "--recurse", "--output", output,
            "--value-flags", "--time-stamps", "--max-size", "none"};
        if (output == std::string_view("xls")) {
            report.push_back("--file");
            report.push_back(workbook);
        }
        size_t columns = 0;
        for (const auto& attribute : tree->schema.attributes) {
            if (columns++ >= kMaxAttributes) break;
            report.push_back("--attr");
            report.push_back(attribute.name);
        }
        if (columns > 0) RunConsole(app, report);
        RunConsole(app, {"--image", imageArg, "schema", "classes", "--tree", name});
        RunConsole(app, {"--image", imageArg, "schema", "attributes", "--tree", name});
    }
    return 0;
}
