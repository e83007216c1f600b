#pragma once

// The product's fixed texts: the application title, the parts of the main
// window's caption, the version the program reports, the names the about box
// and the update check use, and the maker's web site.

#include "update/UpdateSite.h"

#include <string>

namespace vellrun::ui::product {

inline constexpr char kApplicationTitle[] = "RAZ Arorad";
inline constexpr char kGeneratorName[] = "Korvel: Vellrun - RAZ Arorad Generator";
inline constexpr char kVersion[] = "v2.12";
inline constexpr char kVersionDate[] = "2009-10-30";
inline constexpr char kProductName[] = "Vellrun";
inline constexpr char kAuthor[] = "the Vellrun developers";
// The archive the update check asks about.
inline constexpr char kArchiveName[] = "vellrun.zip";

// The maker's web site: its address, and its name as the splash, the about
// box and the "Visit " menu item show it.
inline std::string WebSiteAddress() {
    return update::MakerWebSite();
}
inline std::string WebSiteName() {
    return update::WebSiteName(update::MakerWebSite());
}
// The support forum the Info tab's second button opens.
inline constexpr char kSupportAddress[] = "https://forum.vellrun.example.org/edirectory";

}  // namespace vellrun::ui::product
