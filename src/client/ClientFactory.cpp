#include "client/ClientFactory.h"

#include "client/image/ImageClient.h"
#include "platform/Paths.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

namespace vellrun::client {
namespace {

using image::ImageClient;
using image::ImageConnection;

// Reads a connections file; on a fault, a client whose start-up fails with the message.
std::unique_ptr<DirectoryClient> FromConfiguration(const std::filesystem::path& file) {
    const std::string name = file.string();
    std::ifstream in(file, std::ios::binary);
    if (!in) return ImageClient::Failing(name + ": cannot be read");
    std::stringstream text;
    text << in.rdbuf();
    nlohmann::json config;
    try {
        config = nlohmann::json::parse(text.str());
    } catch (const nlohmann::json::parse_error& e) {
        return ImageClient::Failing(name + ": invalid JSON: " + e.what());
    }
    if (!config.is_object() || !config.contains("connections") ||
        !config["connections"].is_array()) {
        return ImageClient::Failing(name + ": expected an object with a list \"connections\"");
    }
    const auto base = file.parent_path();
    std::vector<ImageConnection> connections;
    size_t index = 0;
    for (const auto& entry : config["connections"]) {
        ++index;
        const std::string place = name + ": connection " + std::to_string(index);
        if (!entry.is_object() || !entry.contains("image") || !entry["image"].is_string()) {
            return ImageClient::Failing(place + ": expected {\"image\": FILE, \"tree\": NAME}");
        }
        for (const auto& [key, value] : entry.items()) {
            if (key != "image" && key != "tree") {
                return ImageClient::Failing(place + ": unknown key \"" + key + "\"");
            }
        }
        std::filesystem::path image = entry["image"].get<std::string>();
        if (image.is_relative()) image = base / image;
        std::string tree;
        if (entry.contains("tree")) {
            if (!entry["tree"].is_string()) {
                return ImageClient::Failing(place + ": \"tree\" must be a text");
            }
            tree = entry["tree"].get<std::string>();
        }
        connections.push_back({image, tree});
    }
    int primary = 0;
    for (const auto& [key, value] : config.items()) {
        if (key != "connections" && key != "primary") {
            return ImageClient::Failing(name + ": unknown key \"" + key + "\"");
        }
    }
    if (config.contains("primary")) {
        const auto& p = config["primary"];
        if (!p.is_number_unsigned() || p.get<size_t>() < 1 ||
            p.get<size_t>() > connections.size()) {
            return ImageClient::Failing(name +
                                        ": \"primary\" must be the number of a connection (1 to " +
                                        std::to_string(connections.size()) + ")");
        }
        primary = static_cast<int>(p.get<size_t>()) - 1;
    }
    if (connections.empty()) return ImageClient::Failing(name + ": no connections");
    return std::make_unique<ImageClient>(std::move(connections), name, primary);
}

}  // namespace

std::filesystem::path BundledSampleImage() {
    const std::filesystem::path name = "sample-directory.json";
    const auto beside = platform::ExecutableDir() / "data" / name;
    if (std::filesystem::exists(beside)) return beside;
    const auto installed = platform::ExecutableDir().parent_path() / "share" / "vellrun" / name;
    if (std::filesystem::exists(installed)) return installed;
    return std::filesystem::path(VELLRUN_SOURCE_DATA_DIR) / name;
}

std::unique_ptr<DirectoryClient> MakeDirectoryClient(const ClientOptions& options) {
    if (options.image) {
        return std::make_unique<ImageClient>(std::vector<ImageConnection>{{*options.image, {}}},
                                             std::string{}, 0);
    }
    if (const char* env = std::getenv("VELLRUN_CONNECTIONS"); env && *env) {
        return FromConfiguration(env);
    }
    const auto configured = platform::ConfigDir() / "connections.json";
    if (std::filesystem::exists(configured)) return FromConfiguration(configured);
    return std::make_unique<ImageClient>(std::vector<ImageConnection>{{BundledSampleImage(), {}}},
                                         std::string{}, 0);
}

}  // namespace vellrun::client
