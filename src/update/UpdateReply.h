#pragma once

// The rules of the version-information page's reply: when a reply is an
// answer, how a page that only names the real address leads to it, how a key
// is read, and how two version dates compare. Pure functions over texts.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::update {

// Path and query of the version-information page; the archive name follows.
inline constexpr std::string_view kFileInfoQuery = "/php/fileinfo.php?file=";
// The request headers of every update request.
inline constexpr std::string_view kAcceptHeader = "Accept: text/html, */*";
inline constexpr std::string_view kUserAgentHeader =
    "User-Agent: Mozilla/3.0 (compatible; Indy Library)";

// The address of the version-information page of the archive on the site.
std::string FileInfoAddress(std::string_view webSite, std::string_view archive);

// A reply is an answer when it holds both "date=" and "file=" somewhere.
bool IsVersionAnswer(std::string_view reply);

// A page that names the real address: the lines that hold the page's path
// with the archive name and an "http:" or "https:" address. With fewer than
// two such lines there is none; otherwise the first one cut to begin at its
// first "http" and to end right after the archive name that follows.
std::optional<std::string> QualifyingAddress(std::string_view reply, std::string_view archive);

// The reply's lines (CR LF, CR or LF ends).
std::vector<std::string> ReplyLines(std::string_view reply);
// The rest of the first line that begins with key and "=" (exact case), or
// empty when there is none.
std::string ReplyValue(const std::vector<std::string>& lines, std::string_view key);

// The date without any "-", "/" or "\" ("2009-10-30" gives "20091030").
std::string DateDigits(std::string_view date);
// online is newer than running: compared byte by byte as unsigned values, and
// when one is the beginning of the other, the longer is the greater.
bool IsNewerDate(std::string_view online, std::string_view running);

// The texts of the three boxes of a check.
std::string NoAnswerText(std::string_view webSite);
std::string OfferDownloadText(std::string_view runningDate, std::string_view webSite,
                              std::string_view onlineDate);
std::string UpToDateText(std::string_view runningDate);

}  // namespace vellrun::update
