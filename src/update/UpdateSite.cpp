#include "update/UpdateSite.h"

#include <cstdlib>

#ifndef VELLRUN_WEB_SITE
#define VELLRUN_WEB_SITE "https://vellrun.example.org"
#endif

namespace vellrun::update {

namespace {

std::string WithoutTrailingSlashes(std::string text) {
    while (!text.empty() && text.back() == '/')
        text.pop_back();
    return text;
}

}  // namespace

std::string MakerWebSite() {
    const char* overridden = std::getenv(std::string(kUpdateUrlVariable).c_str());
    if (overridden != nullptr && *overridden != '\0') return WithoutTrailingSlashes(overridden);
    return WithoutTrailingSlashes(VELLRUN_WEB_SITE);
}

std::string WebSiteName(std::string_view address) {
    const size_t scheme = address.find("://");
    if (scheme != std::string_view::npos) address.remove_prefix(scheme + 3);
    return WithoutTrailingSlashes(std::string(address));
}

}  // namespace vellrun::update
