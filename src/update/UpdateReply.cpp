#include "update/UpdateReply.h"

#include "platform/TextLines.h"

namespace vellrun::update {

std::string FileInfoAddress(std::string_view webSite, std::string_view archive) {
    while (!webSite.empty() && webSite.back() == '/')
        webSite.remove_suffix(1);
    return std::string(webSite) + std::string(kFileInfoQuery) + std::string(archive);
}

bool IsVersionAnswer(std::string_view reply) {
    return reply.find("date=") != std::string_view::npos &&
           reply.find("file=") != std::string_view::npos;
}

std::vector<std::string> ReplyLines(std::string_view reply) {
    return platform::SplitLines(reply);
}

std::optional<std::string> QualifyingAddress(std::string_view reply, std::string_view archive) {
    const std::string page = std::string(kFileInfoQuery) + std::string(archive);
    std::vector<std::string> qualifying;
    for (const std::string& line : ReplyLines(reply)) {
        // "https:" holds no "http:", so both are looked for.
        const bool address =
            line.find("http:") != std::string::npos || line.find("https:") != std::string::npos;
        if (address && line.find(page) != std::string::npos) qualifying.push_back(line);
    }
    if (qualifying.size() < 2) return std::nullopt;
    const std::string& first = qualifying.front();
    const size_t begin = first.find("http");
    const size_t name = first.find(archive, begin);
    if (begin == std::string::npos || name == std::string::npos) return std::nullopt;
    return first.substr(begin, name + archive.size() - begin);
}

std::string ReplyValue(const std::vector<std::string>& lines, std::string_view key) {
    const std::string prefix = std::string(key) + "=";
    for (const std::string& line : lines) {
        if (line.starts_with(prefix)) return line.substr(prefix.size());
    }
    return {};
}

std::string DateDigits(std::string_view date) {
    std::string digits;
    for (const char c : date) {
        if (c != '-' && c != '/' && c != '\\') digits.push_back(c);
    }
    return digits;
}

bool IsNewerDate(std::string_view online, std::string_view running) {
    // char_traits<char> compares as unsigned char, and a proper prefix is smaller.
    return online.compare(running) > 0;
}

std::string NoAnswerText(std::string_view webSite) {
    return "Cannot access online information - check " + std::string(webSite);
}

std::string OfferDownloadText(std::string_view runningDate, std::string_view webSite,
                              std::string_view onlineDate) {
    return "Your software version is dated \"" + std::string(runningDate) + "\" - the version on " +
           std::string(webSite) + " is dated \"" + std::string(onlineDate) +
           "\": do you want to download the most recent version?";
}

std::string UpToDateText(std::string_view runningDate) {
    return "Your software version is dated " + std::string(runningDate) +
           " - there currently is no newer version available";
}

}  // namespace vellrun::update
