#pragma once

// Chooses and makes the directory client a front end starts with.
//
// Which trees the client connects to comes from the client configuration
// (docs/connections.md): the file named by $VELLRUN_CONNECTIONS, else
// connections.json in the per-user config folder, else the bundled sample image.
// A configuration names images or LDAP servers.
// A broken configuration still yields a client, one whose start-up fails with
// a message that names the file and the fault.

#include "client/DirectoryClient.h"
#include "client/image/ImageLoader.h"
#include "client/ldap/LdapSession.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vellrun::client {

struct ClientOptions {
    // Serve this image alone (every tree in it), ignoring any configuration.
    std::optional<std::filesystem::path> image = std::nullopt;
    // The schema files of an LDIF image (LDAP schema files or subschema entries).
    std::vector<std::filesystem::path> schemaFiles = {};
    // Connect to this one server alone (the console's -H), ignoring any configuration.
    std::optional<ldap::LdapConnectionConfig> server = std::nullopt;
    // The most bytes the octet values and streams of one image may build
    // together; 0: the loader's default for the file's size.
    uint64_t imageValueByteLimit = 0;
    // Told how far the load of a directory image is, and asked whether to go
    // on; none: loads are neither shown nor cancelled.
    image::LoadProgress loadProgress = {};
    // Asks for the bind password of a configured server that names no
    // password file or variable (the desktop's message port).
    std::function<std::optional<std::string>(const std::string& prompt)> askPassword = {};
    // Called about every 100 ms while a request waits for a server, so that
    // the front end can handle its window's events; returning false cancels
    // the request (LdapConnectionConfig::whileWaiting). None: waits are not
    // interrupted before the timeout.
    std::function<bool()> whileWaiting = {};
};

std::unique_ptr<DirectoryClient> MakeDirectoryClient(const ClientOptions& options);

// The bundled sample image: data/ beside the executable (the build copies it
// there), else share/vellrun beside its bin folder (an installed program).
// None when it is in neither.
std::optional<std::filesystem::path> BundledSampleImage();

}  // namespace vellrun::client
