#include "client/ClientFactory.h"

#include "client/image/ImageClient.h"
#include "client/ldap/LdapClient.h"
#include "client/ldap/LdifImage.h"
#include "platform/Paths.h"
#include "platform/RegularFile.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include <nlohmann/json.hpp>

namespace vellrun::client {
namespace {

using image::ImageClient;
using image::ImageConnection;

constexpr char kSampleImageName[] = "sample-directory.json";

// Where the bundled sample image may lie, nearest first.
std::vector<std::filesystem::path> SampleImagePlaces() {
    return platform::DataFolders(platform::ExecutableDir());
}

// Directory image files, and LDIF dumps with their schema files.
image::LoadResult LoadAnyImage(const ImageConnection& connection) {
    if (ldap::IsLdifFile(connection.imageFile)) {
        return ldap::LoadLdifImage(connection.imageFile, connection.schemaFiles, connection.tree);
    }
    if (!connection.schemaFiles.empty()) {
        return {nullptr, platform::FileStatus::Failed(
                             connection.imageFile.string() +
                             ": schema files go with an LDIF dump (.ldif), not with a directory "
                             "image")};
    }
    return image::LoadImageFile(connection.imageFile, connection.load);
}

std::unique_ptr<DirectoryClient> MakeImageClient(std::vector<ImageConnection> connections,
                                                 std::string configName, int primary) {
    auto client =
        std::make_unique<ImageClient>(std::move(connections), std::move(configName), primary);
    client->SetLoader(LoadAnyImage);
    return client;
}

// One server entry of the connections file; false with the fault in error.
bool ReadServer(const nlohmann::json& entry, const std::filesystem::path& base,
                ldap::LdapConnectionConfig& config, std::string& error) {
    auto text = [&](const char* key, std::string& into) {
        if (!entry.contains(key)) return true;
        if (!entry[key].is_string()) {
            error = std::string("\"") + key + "\" must be a text";
            return false;
        }
        into = entry[key].get<std::string>();
        return true;
    };
    auto flag = [&](const char* key, bool& into) {
        if (!entry.contains(key)) return true;
        if (!entry[key].is_boolean()) {
            error = std::string("\"") + key + "\" must be true or false";
            return false;
        }
        into = entry[key].get<bool>();
        return true;
    };
    for (const auto& [key, value] : entry.items()) {
        if (key == "password") {
            error =
                "a password is never kept in the connections file; use \"passwordFile\" or "
                "\"passwordEnv\"";
            return false;
        }
        static const char* const kKeys[] = {"uri",
                                            "name",
                                            "base",
                                            "bind",
                                            "bindDn",
                                            "passwordFile",
                                            "passwordEnv",
                                            "tls",
                                            "caFile",
                                            "verifyCertificate",
                                            "allowInsecureBind"};
        if (std::find(std::begin(kKeys), std::end(kKeys), key) == std::end(kKeys)) {
            error = "unknown key \"" + key + "\"";
            return false;
        }
    }
    std::string baseDn, bind = "anonymous", tls = "none";
    if (!text("uri", config.uri) || !text("name", config.name) || !text("base", baseDn) ||
        !text("bind", bind) || !text("bindDn", config.bindDn) ||
        !text("passwordFile", config.passwordFile) || !text("passwordEnv", config.passwordEnv) ||
        !text("tls", tls) || !text("caFile", config.caFile) ||
        !flag("verifyCertificate", config.verifyCertificate) ||
        !flag("allowInsecureBind", config.allowInsecureBind)) {
        return false;
    }
    if (entry.contains("base")) config.base = baseDn;
    if (bind == "anonymous") {
        config.bind = ldap::BindKind::Anonymous;
    } else if (bind == "simple") {
        config.bind = ldap::BindKind::Simple;
        if (config.bindDn.empty()) {
            error = "a simple bind needs \"bindDn\"";
            return false;
        }
    } else if (bind == "external") {
        config.bind = ldap::BindKind::External;
    } else {
        error = "\"bind\" must be \"anonymous\", \"simple\" or \"external\"";
        return false;
    }
    if (tls == "none") {
        config.tls = ldap::TlsKind::None;
    } else if (tls == "starttls") {
        config.tls = ldap::TlsKind::StartTls;
    } else {
        error = "\"tls\" must be \"none\" or \"starttls\" (ldaps:// goes in the uri)";
        return false;
    }
    for (std::string* path : {&config.passwordFile, &config.caFile}) {
        if (!path->empty() && std::filesystem::path(*path).is_relative()) {
            *path = (base / *path).string();
        }
    }
    return true;
}

// Reads a connections file; on a fault, a client whose start-up fails with the message.
std::unique_ptr<DirectoryClient> FromConfiguration(const std::filesystem::path& file,
                                                   const ClientOptions& options,
                                                   const image::LoadOptions& load) {
    const std::string name = file.string();
    std::string text;
    if (const platform::FileStatus read = platform::ReadRegularFile(file, text); !read.ok())
        return ImageClient::Failing(name + ": cannot be read: " + read.error);
    nlohmann::json config;
    try {
        config = nlohmann::json::parse(text);
    } catch (const nlohmann::json::parse_error& e) {
        return ImageClient::Failing(name + ": invalid JSON: " + e.what());
    }
    if (!config.is_object() || !config.contains("connections") ||
        !config["connections"].is_array()) {
        return ImageClient::Failing(name + ": expected an object with a list \"connections\"");
    }
    const auto base = file.parent_path();
    std::vector<ImageConnection> connections;
    std::vector<ldap::LdapConnectionConfig> servers;
    size_t index = 0;
    for (const auto& entry : config["connections"]) {
        ++index;
        const std::string place = name + ": connection " + std::to_string(index);
        if (entry.is_object() && entry.contains("uri")) {
            ldap::LdapConnectionConfig server;
            std::string error;
            if (!ReadServer(entry, base, server, error)) {
                return ImageClient::Failing(place + ": " + error);
            }
            // The tree list shows a name cut and trimmed: a name that changes
            // there would find no tree, or another one.
            if (const std::string fault = image::TreeNameFault(server.name);
                !server.name.empty() && !fault.empty()) {
                return ImageClient::Failing(place + ": the tree name \"" + server.name + "\" " +
                                            fault);
            }
            server.askPassword = options.askPassword;
            server.whileWaiting = options.whileWaiting;
            servers.push_back(std::move(server));
            continue;
        }
        if (!entry.is_object() || !entry.contains("image") || !entry["image"].is_string()) {
            return ImageClient::Failing(
                place + ": expected {\"image\": FILE, \"tree\": NAME} or {\"uri\": URI, ...}");
        }
        for (const auto& [key, value] : entry.items()) {
            if (key != "image" && key != "tree" && key != "schema") {
                return ImageClient::Failing(place + ": unknown key \"" + key + "\"");
            }
        }
        std::filesystem::path image = entry["image"].get<std::string>();
        if (image.is_relative()) image = base / image;
        std::vector<std::filesystem::path> schemaFiles;
        if (entry.contains("schema")) {
            const auto& schema = entry["schema"];
            const bool single = schema.is_string();
            bool list = schema.is_array();
            for (const auto& item : list ? schema : nlohmann::json::array())
                list = list && item.is_string();
            if (!single && !list) {
                return ImageClient::Failing(place +
                                            ": \"schema\" must be a file or a list of files");
            }
            for (const auto& item : single ? nlohmann::json::array({schema}) : schema) {
                std::filesystem::path schemaFile = item.get<std::string>();
                schemaFiles.push_back(schemaFile.is_relative() ? base / schemaFile : schemaFile);
            }
        }
        std::string tree;
        if (entry.contains("tree")) {
            if (!entry["tree"].is_string()) {
                return ImageClient::Failing(place + ": \"tree\" must be a text");
            }
            tree = entry["tree"].get<std::string>();
        }
        // A dump's tree is named here, and must be a name the tree list
        // shows unchanged (an image's own names are checked as it loads).
        if (const std::string fault = image::TreeNameFault(tree);
            !tree.empty() && ldap::IsLdifFile(image) && !fault.empty()) {
            return ImageClient::Failing(place + ": the tree name \"" + tree + "\" " + fault);
        }
        connections.push_back({image, tree, std::move(schemaFiles), load});
    }
    int primary = 0;
    for (const auto& [key, value] : config.items()) {
        if (key != "connections" && key != "primary") {
            return ImageClient::Failing(name + ": unknown key \"" + key + "\"");
        }
    }
    if (!servers.empty() && !connections.empty()) {
        return ImageClient::Failing(name +
                                    ": images and servers cannot be mixed in one configuration");
    }
    const size_t total = connections.size() + servers.size();
    if (config.contains("primary")) {
        const auto& p = config["primary"];
        if (!p.is_number_unsigned() || p.get<size_t>() < 1 || p.get<size_t>() > total) {
            return ImageClient::Failing(name +
                                        ": \"primary\" must be the number of a connection (1 to " +
                                        std::to_string(total) + ")");
        }
        primary = static_cast<int>(p.get<size_t>()) - 1;
    }
    if (total == 0) return ImageClient::Failing(name + ": no connections");
    if (!servers.empty()) return std::make_unique<ldap::LdapClient>(std::move(servers), primary);
    return MakeImageClient(std::move(connections), name, primary);
}

}  // namespace

std::optional<std::filesystem::path> BundledSampleImage() {
    for (const auto& place : SampleImagePlaces()) {
        auto file = place / kSampleImageName;
        std::error_code error;
        if (std::filesystem::is_regular_file(file, error)) return file;
    }
    return std::nullopt;
}

std::unique_ptr<DirectoryClient> MakeDirectoryClient(const ClientOptions& options) {
    if (options.server) {
        ldap::LdapConnectionConfig server = *options.server;
        if (options.whileWaiting) server.whileWaiting = options.whileWaiting;
        return std::make_unique<ldap::LdapClient>(std::vector<ldap::LdapConnectionConfig>{server},
                                                  0);
    }
    image::LoadOptions load;
    load.valueByteLimit = options.imageValueByteLimit;
    load.progress = options.loadProgress;
    if (options.image) {
        return MakeImageClient({{*options.image, {}, options.schemaFiles, load}}, {}, 0);
    }
    if (const char* env = std::getenv("VELLRUN_CONNECTIONS"); env && *env) {
        return FromConfiguration(env, options, load);
    }
    const auto configured = platform::ConfigDir() / "connections.json";
    // Only a file that is not there lets the sample stand in: one that may be
    // there but cannot be looked at (a folder on its way that may not be
    // searched) fails as a file that cannot be read.
    std::error_code lookedAt;
    if (std::filesystem::exists(configured, lookedAt) || lookedAt)
        return FromConfiguration(configured, options, load);
    if (const auto sample = BundledSampleImage()) {
        return MakeImageClient({{*sample, {}, {}, load}}, {}, 0);
    }
    const auto places = SampleImagePlaces();
    const std::string text =
        "No directory to show: there is no connections file " + configured.string() +
        " (its format: connections.md in share/doc/vellrun), and the sample " + kSampleImageName +
        " is in neither " + places[0].string() + " nor " + places[1].string();
    return ImageClient::Failing(text);
}

}  // namespace vellrun::client
