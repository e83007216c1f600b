#pragma once

// The maker's web site: where the update check asks for the newest version,
// and the name the splash line, the about box and the "Visit " menu item show.
// The address is fixed when the program is built; the environment variable
// VELLRUN_UPDATE_URL replaces it (a test points it at its own local server).

#include <string>
#include <string_view>

namespace vellrun::update {

inline constexpr std::string_view kUpdateUrlVariable = "VELLRUN_UPDATE_URL";

// The address with its scheme ("https://vellrun.example.org"), no "/" at the end.
std::string MakerWebSite();
// The address as a person reads it: without the scheme and without a "/" at the end.
std::string WebSiteName(std::string_view address);

}  // namespace vellrun::update
