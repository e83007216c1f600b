// vellrun-make-image: writes a large synthetic directory image for benchmarks.
//
//   vellrun-make-image --users 100000 --containers 100 --attributes 10 --out FILE
//                      [--tree NAME] [--seed N]
//
// One tree (default "BENCH") with a small schema: Organization "Bench" holding
// the containers OU0001, OU0002, ... Each container holds a group "Staff" and
// its share of the users; every user has its naming value (CN) plus the given
// number of attributes, taken in a fixed order from a pool of mixed syntaxes
// (texts, numbers, booleans, times, group membership, telephone numbers,
// network addresses, octet strings, multi-valued texts, ...). Beyond the pool,
// generated attributes "benchAttribute01", ... alternate between texts and
// integers. The same arguments always give the same file.
//
// The image is written as a stream, one object per line, so that a hundred
// thousand users take a few seconds at most. The format is the one of
// docs/directory-image.md.

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace {

// splitmix64: small, fast and the same on every platform, unlike the
// distributions of <random>.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ULL + 0x632BE59BD9B4E019ULL) {}

    uint64_t Next() {
        state_ += 0x9E3779B97F4A7C15ULL;
        uint64_t z = state_;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
    uint32_t Between(uint32_t lo, uint32_t hi) { return lo + Below(hi - lo + 1); }

private:
    uint64_t state_;
};

// Buffered output to a file; every write goes through here.
class Writer {
public:
    explicit Writer(std::FILE* file) : file_(file) { buffer_.reserve(kChunk + 4096); }
    ~Writer() { Flush(); }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    Writer& operator<<(std::string_view text) {
        buffer_.append(text);
        if (buffer_.size() >= kChunk) Flush();
        return *this;
    }
    Writer& operator<<(char c) {
        buffer_.push_back(c);
        return *this;
    }
    template <typename T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, char> && !std::is_same_v<T, bool>) Writer&
    operator<<(T value) {
        return Number(static_cast<int64_t>(value));
    }
    Writer& Number(int64_t value) {
        char digits[24];
        auto result = std::to_chars(digits, digits + sizeof digits, value);
        buffer_.append(digits, result.ptr);
        return *this;
    }
    // A JSON string literal, quotes included.
    Writer& Quoted(std::string_view text) {
        buffer_.push_back('"');
        for (char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                buffer_.push_back('\\');
                buffer_.push_back(c);
            } else if (byte < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                buffer_.append(escaped);
            } else {
                buffer_.push_back(c);
            }
        }
        buffer_.push_back('"');
        return *this;
    }
    void Flush() {
        if (!buffer_.empty() &&
            std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
            failed_ = true;
        }
        buffer_.clear();
    }
    bool Failed() const { return failed_; }

private:
    static constexpr size_t kChunk = 1 << 20;
    std::FILE* file_;
    std::string buffer_;
    bool failed_ = false;
};

struct Options {
    uint32_t users = 100000;
    uint32_t containers = 100;
    uint32_t attributes = 10;
    std::string out;
    std::string tree = "BENCH";
    uint64_t seed = 1;
};

constexpr std::string_view kUsage =
    "usage: vellrun-make-image --users N --containers N --attributes N --out FILE\n"
    "                          [--tree NAME] [--seed N]\n"
    "Writes a synthetic directory image: Organization \"Bench\" with N containers\n"
    "(OU0001, ...) sharing the users; each user carries CN and N further attributes.\n";

std::optional<uint64_t> ParseNumber(std::string_view text) {
    uint64_t value = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

// Returns an error text, empty when the arguments are good.
std::string ParseArguments(int argc, char** argv, Options& options) {
    bool haveOut = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") return "help";
        if (i + 1 >= argc) return "missing value after " + std::string(arg);
        std::string_view value = argv[++i];
        if (arg == "--out") {
            options.out = value;
            haveOut = true;
            continue;
        }
        if (arg == "--tree") {
            options.tree = value;
            continue;
        }
        auto number = ParseNumber(value);
        if (!number) return "not a number: " + std::string(arg) + " " + std::string(value);
        if (arg == "--seed") {
            options.seed = *number;
            continue;
        }
        if (*number > 100000000) return "too large: " + std::string(arg) + " " + std::string(value);
        const auto n = static_cast<uint32_t>(*number);
        if (arg == "--users") {
            options.users = n;
        } else if (arg == "--containers") {
            options.containers = n;
        } else if (arg == "--attributes") {
            options.attributes = n;
        } else {
            return "unknown option " + std::string(arg);
        }
    }
    if (!haveOut || options.out.empty()) return "--out FILE is required";
    if (options.containers == 0) return "--containers must be at least 1";
    if (options.attributes > 200) return "--attributes must be 200 or less";
    if (options.tree.empty() || options.tree.size() > 32 || options.tree.back() == '_') {
        return "--tree: 1 to 32 characters, not ending in \"_\"";
    }
    return {};
}

constexpr const char* kGiven[] = {
    "James",  "Mary",   "Robert", "Linda", "Michael", "Susan",  "David",  "Karen",
    "Thomas", "Nancy",  "Daniel", "Laura", "Paul",    "Emily",  "Kevin",  "Sarah",
    "Brian",  "Amanda", "George", "Helen", "Ingrid",  "Lars",   "Priya",  "Rahul",
    "Mei",    "Kenji",  "Fatima", "Omar",  "Marco",   "Giulia", "Pierre", "Claire"};
constexpr const char* kSurnames[] = {
    "Smith",  "Johnson", "Brown",    "Garcia", "Miller", "Davis",  "Wilson", "Moore",
    "Taylor", "Thomas",  "Martin",   "Clark",  "Lewis",  "Walker", "Young",  "King",
    "Wright", "Scott",   "Green",    "Baker",  "Nelson", "Carter", "Turner", "Parker",
    "Evans",  "Collins", "Kowalski", "Tanaka", "Rossi",  "Dubois", "Jensen", "Patel"};
constexpr const char* kTitles[] = {"Engineer", "Analyst",    "Accountant", "Sales Representative",
                                   "Manager",  "Technician", "Consultant", "Assistant"};
constexpr size_t kGivenCount = sizeof kGiven / sizeof kGiven[0];
constexpr size_t kSurnameCount = sizeof kSurnames / sizeof kSurnames[0];
constexpr size_t kTitleCount = sizeof kTitles / sizeof kTitles[0];

// Seconds since 1970 of 2003-01-01 and 2009-10-30, the span of the generated times.
constexpr uint32_t kEarliest = 1041379200;
constexpr uint32_t kLatest = 1256860800;

// What a pool attribute's values look like.
enum class Kind {
    Surname,
    GivenName,
    FullName,
    Telephone,
    Disabled,
    LoginTime,
    GroupMembership,
    NetworkAddress,
    GraceLimit,
    TimeMap,
    Description,
    Title,
    InternetMail,
    PasswordInterval,
    Language,
    EmployeeId,
    HomeDirectory,
    LastReferenced,
    Revision,
    Fax,
    MailAddress,
    PostalAddress,
    LastLoginTime
};

// The pool of user attributes, in the order in which a user takes them: the
// first ten already mix texts, a telephone number, a boolean, a time, a name,
// a network address, an integer, an octet string and a multi-valued text.
struct PoolAttribute {
    const char* name;
    Kind kind;
    const char* definition;  // the schema entry without its name
};
constexpr PoolAttribute kPool[] = {
    {"Surname", Kind::Surname,
     R"("syntax": "CI_STRING", "flags": ["String", "Sized"], "lower": 1, "upper": 64, "oid": "2.5.4.4")"},
    {"Given Name", Kind::GivenName,
     R"("syntax": "CI_STRING", "flags": ["String", "Sized"], "lower": 1, "upper": 32, "oid": "2.5.4.42")"},
    {"Telephone Number", Kind::Telephone,
     R"("syntax": "TEL_NUMBER", "flags": ["String", "Sized"], "lower": 1, "upper": 32, "oid": "2.5.4.20")"},
    {"Login Disabled", Kind::Disabled, R"("syntax": "BOOLEAN", "flags": ["SingleVal"])"},
    {"Login Time", Kind::LoginTime,
     R"("syntax": "TIME", "flags": ["SingleVal", "ReadOnly", "PerReplica"])"},
    {"Group Membership", Kind::GroupMembership, R"("syntax": "DIST_NAME")"},
    {"Network Address", Kind::NetworkAddress,
     R"("syntax": "NET_ADDRESS", "flags": ["ReadOnly", "PublicRd"])"},
    {"Login Grace Limit", Kind::GraceLimit, R"("syntax": "INTEGER", "flags": ["SingleVal"])"},
    {"Login Allowed Time Map", Kind::TimeMap,
     R"("syntax": "OCTET_STRING", "flags": ["SingleVal", "Sized"], "lower": 42, "upper": 42)"},
    {"Description", Kind::Description,
     R"("syntax": "CI_STRING", "flags": ["Sized"], "lower": 1, "upper": 1024, "oid": "2.5.4.13")"},
    {"Full Name", Kind::FullName,
     R"("syntax": "CI_STRING", "flags": ["String", "Sized"], "lower": 1, "upper": 127)"},
    {"Title", Kind::Title,
     R"("syntax": "CI_STRING", "flags": ["String", "Sized"], "lower": 1, "upper": 64, "oid": "2.5.4.12")"},
    {"Internet EMail Address", Kind::InternetMail, R"("syntax": "CI_STRING", "flags": ["String"])"},
    {"Password Expiration Interval", Kind::PasswordInterval,
     R"("syntax": "INTERVAL", "flags": ["SingleVal"])"},
    {"Language", Kind::Language, R"("syntax": "CI_LIST", "flags": ["SingleVal"])"},
    {"Employee ID", Kind::EmployeeId, R"("syntax": "NU_STRING", "flags": ["SingleVal"])"},
    {"Home Directory", Kind::HomeDirectory, R"("syntax": "PATH", "flags": ["SingleVal"])"},
    {"Last Referenced Time", Kind::LastReferenced,
     R"("syntax": "TIMESTAMP", "flags": ["SingleVal", "ReadOnly"])"},
    {"Revision", Kind::Revision, R"("syntax": "COUNTER", "flags": ["SingleVal", "ReadOnly"])"},
    {"Facsimile Telephone Number", Kind::Fax, R"("syntax": "FAX_NUMBER", "oid": "2.5.4.23")"},
    {"EMail Address", Kind::MailAddress, R"("syntax": "EMAIL_ADDRESS")"},
    {"Postal Address", Kind::PostalAddress, R"("syntax": "PO_ADDRESS", "oid": "2.5.4.16")"},
    {"Last Login Time", Kind::LastLoginTime,
     R"("syntax": "TIME", "flags": ["SingleVal", "ReadOnly"])"},
};
constexpr uint32_t kPoolSize = sizeof kPool / sizeof kPool[0];

// Whether users get a "Group Membership": only then do the groups list them as members.
bool UsersJoinGroups(uint32_t attributes) {
    for (uint32_t k = 0; k < attributes && k < kPoolSize; ++k) {
        if (kPool[k].kind == Kind::GroupMembership) return true;
    }
    return false;
}

std::string ExtraName(uint32_t k) {
    char name[32];
    std::snprintf(name, sizeof name, "benchAttribute%02u", k);
    return name;
}

std::string Padded(uint32_t number, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*u", width, number);
    return text;
}

const char* GivenOf(uint32_t n) {
    return kGiven[n % kGivenCount];
}
const char* SurnameOf(uint32_t n) {
    return kSurnames[(n / kGivenCount) % kSurnameCount];
}

// "jsmith000042": initial, surname and the user's number, in lower case.
std::string LoginOf(uint32_t n) {
    std::string login = std::string(1, GivenOf(n)[0]) + SurnameOf(n) + Padded(n, 6);
    for (auto& ch : login) {
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    }
    return login;
}

void WriteSchema(Writer& w, const Options& o) {
    w << "   \"schema\": {\n    \"attributes\": [\n";
    w << R"(     {"name": "CN", "syntax": "CI_STRING", "flags": ["String", "Sized"], "lower": 1, "upper": 64, "oid": "2.5.4.3"},)"
      << "\n";
    w << R"(     {"name": "O", "syntax": "CI_STRING", "flags": ["String", "Sized"], "lower": 1, "upper": 64, "oid": "2.5.4.10"},)"
      << "\n";
    w << R"(     {"name": "OU", "syntax": "CI_STRING", "flags": ["String", "Sized"], "lower": 1, "upper": 64, "oid": "2.5.4.11"},)"
      << "\n";
    w << R"(     {"name": "Object Class", "syntax": "CLASS_NAME", "flags": ["NonRemov", "String"], "oid": "2.5.4.0"},)"
      << "\n";
    w << R"(     {"name": "Member", "syntax": "DIST_NAME", "oid": "2.5.4.31"})";
    // Every attribute of the pool is defined, used or not, so that reports can ask for it.
    for (const auto& a : kPool) {
        w << ",\n     {\"name\": " << '"' << a.name << "\", " << a.definition << '}';
    }
    for (uint32_t k = 1; k + kPoolSize <= o.attributes; ++k) {
        w << ",\n     {\"name\": \"" << ExtraName(k) << "\", \"syntax\": \""
          << (k % 2 ? "CI_STRING" : "INTEGER") << "\"}";
    }
    w << "\n    ],\n    \"classes\": [\n";
    w << R"(     {"name": "Top", "flags": ["NonRemovable"], "oid": "2.5.6.0", "mandatory": ["Object Class"]},)"
      << "\n";
    w << R"(     {"name": "Organization", "flags": ["Container", "Effective"], "oid": "2.5.6.4", "super": ["Top"], "containment": ["Top"], "naming": ["O"], "mandatory": ["O"], "optional": ["Description"]},)"
      << "\n";
    w << R"(     {"name": "Organizational Unit", "flags": ["Container", "Effective"], "oid": "2.5.6.5", "super": ["Top"], "containment": ["Organization", "Organizational Unit"], "naming": ["OU"], "mandatory": ["OU"], "optional": ["Description"]},)"
      << "\n";
    w << R"(     {"name": "Group", "flags": ["Effective"], "oid": "2.5.6.9", "super": ["Top"], "containment": ["Organization", "Organizational Unit"], "naming": ["CN"], "mandatory": ["CN"], "optional": ["Member", "Description"]},)"
      << "\n";
    w << R"(     {"name": "Person", "oid": "2.5.6.6", "super": ["Top"], "containment": ["Organization", "Organizational Unit"], "naming": ["CN"], "mandatory": ["CN", "Surname"]},)"
      << "\n";
    w << R"(     {"name": "User", "flags": ["Effective"], "oid": "2.16.840.1.113719.1.1.6.1.5", "super": ["Person"], "containment": ["Organization", "Organizational Unit"], "naming": ["CN"], "optional": [)";
    bool first = true;
    for (const auto& a : kPool) {
        if (std::string_view(a.name) == "Surname") continue;
        w << (first ? "" : ", ") << '"' << a.name << '"';
        first = false;
    }
    for (uint32_t k = 1; k + kPoolSize <= o.attributes; ++k)
        w << ", \"" << ExtraName(k) << '"';
    w << "]}\n    ]\n   },\n";
}

void WriteTime(Writer& w, uint32_t seconds) {
    w.Number(seconds);
}

// One value (or list of values) of a pool attribute for user number n.
void WritePoolValue(Writer& w, Random& rng, Kind kind, uint32_t n, const std::string& login,
                    const char* given, const char* surname, const std::string& group) {
    switch (kind) {
        case Kind::Surname: w.Quoted(surname); return;
        case Kind::GivenName: w.Quoted(given); return;
        case Kind::FullName: w << '"' << given << ' ' << surname << '"'; return;
        case Kind::Telephone: w << "\"+1 617 555 " << Padded(rng.Below(10000), 4) << '"'; return;
        case Kind::Disabled: w << (n % 11 == 0 ? "true" : "false"); return;
        case Kind::LoginTime: WriteTime(w, rng.Between(kLatest - 120 * 86400, kLatest)); return;
        case Kind::GroupMembership: w.Quoted(group); return;
        case Kind::NetworkAddress:
            w << R"({"type": 9, "ip": "10.)" << ((n + 1) >> 16 & 0xFF) << '.'
              << ((n + 1) >> 8 & 0xFF) << '.' << ((n + 1) & 0xFF) << R"(", "port": )"
              << rng.Between(1024, 65000) << '}';
            return;
        case Kind::GraceLimit: w.Number(rng.Between(0, 6)); return;
        case Kind::Description:
            w << "[\"Synthetic account " << login
              << "\", \"Created for load tests\", \"Cost center " << rng.Between(1000, 9999)
              << "\"]";
            return;
        case Kind::Title: w.Quoted(kTitles[rng.Below(kTitleCount)]); return;
        case Kind::InternetMail: w << '"' << login << "@bench.example.com\""; return;
        case Kind::PasswordInterval: w.Number(int64_t{86400} * rng.Between(30, 180)); return;
        case Kind::TimeMap: {
            // Working hours on weekdays: 42 bytes, one bit per half hour.
            w << R"({"hex": "000000)";
            for (int day = 0; day < 5; ++day)
                w << "00FCFF0F0000";
            w << "000000000000000000\"}";
            return;
        }
        case Kind::Language:
            w << (n % 5 == 0 ? R"([["ENGLISH", "DEUTSCH"]])" : R"([["ENGLISH"]])");
            return;
        case Kind::EmployeeId: w << '"' << Padded(100000 + n, 7) << '"'; return;
        case Kind::HomeDirectory:
            w << R"({"nameSpace": 0, "volume": "DATA.Bench", "path": "USERS\\)" << login << "\"}";
            return;
        case Kind::LastReferenced:
            w << R"({"time": )" << rng.Between(kLatest - 30 * 86400, kLatest)
              << R"(, "replica": 1, "event": )" << rng.Between(1, 500) << '}';
            return;
        case Kind::Revision: w.Number(rng.Between(1, 300)); return;
        case Kind::Fax: w << "\"+1 617 555 0199\""; return;
        case Kind::MailAddress:
            w << R"({"type": 0, "address": "SMTP:)" << login << "@bench.example.com\"}";
            return;
        case Kind::PostalAddress:
            w << R"([["Bench Inc.", ")" << rng.Between(1, 999)
              << R"( Test Street", "Boston, MA 02110", "USA"]])";
            return;
        case Kind::LastLoginTime:
            WriteTime(w, rng.Between(kLatest - 400 * 86400, kLatest - 120 * 86400));
            return;
    }
}

struct Counts {
    uint64_t objects = 0;
};

bool WriteImage(std::FILE* file, const Options& o, Counts& counts) {
    Random rng(o.seed);
    Writer w(file);
    const int width =
        o.containers > 9999 ? static_cast<int>(std::to_string(o.containers).size()) : 4;
    const bool withGroups = UsersJoinGroups(o.attributes);

    w << "{\n  \"format\": \"vellrun-directory-image\",\n  \"version\": 1,\n  \"trees\": [\n  {\n";
    w << "   \"name\": ";
    w.Quoted(o.tree);
    w << ",\n";
    WriteSchema(w, o);
    w << "   \"objects\": [\n";
    w << R"(    {"name": "Bench", "class": "Organization", "created": )" << kEarliest
      << R"(, "partitionRoot": true, "attributes": {"O": "Bench", "Description": "Synthetic organization for benchmarks"}})";
    counts.objects = 1;

    uint32_t userNumber = 0;
    for (uint32_t c = 1; c <= o.containers; ++c) {
        const std::string ou = "OU" + Padded(c, width);
        const std::string container = ou + ".Bench";
        const uint32_t here = o.users / o.containers + (c <= o.users % o.containers ? 1 : 0);
        const std::string group = "Staff." + container;

        w << ",\n    {\"name\": \"" << container
          << R"(", "class": "Organizational Unit", "created": )" << kEarliest + c * 60
          << R"(, "attributes": {"OU": ")" << ou << "\"}}";
        w << ",\n    {\"name\": \"" << group << R"(", "class": "Group", "created": )"
          << kEarliest + c * 60 + 1 << R"(, "attributes": {"CN": "Staff")";
        if (withGroups && here > 0) {
            // Members are the users below, named as they will be written.
            w << R"(, "Member": [)";
            for (uint32_t i = 0; i < here; ++i) {
                w << (i ? ",\"" : "\"") << LoginOf(userNumber + i) << '.' << container << '"';
            }
            w << ']';
        }
        w << "}}";
        counts.objects += 2;

        for (uint32_t i = 0; i < here; ++i, ++userNumber) {
            const uint32_t n = userNumber;
            const char* given = GivenOf(n);
            const char* surname = SurnameOf(n);
            const std::string login = LoginOf(n);
            const uint32_t created = rng.Between(kEarliest, kLatest - 200 * 86400);
            w << ",\n    {\"name\": \"" << login << '.' << container
              << R"(", "class": "User", "created": )" << created
              << ", \"modified\": " << rng.Between(created, kLatest)
              << R"(, "attributes": {"CN": ")" << login << '"';
            for (uint32_t k = 0; k < o.attributes; ++k) {
                if (k < kPoolSize) {
                    w << ", \"" << kPool[k].name << "\": ";
                    WritePoolValue(w, rng, kPool[k].kind, n, login, given, surname, group);
                } else {
                    const uint32_t extra = k - kPoolSize + 1;
                    w << ", \"" << ExtraName(extra) << "\": ";
                    if (extra % 2) {
                        w << "\"value " << extra << " of " << login << '"';
                    } else {
                        w.Number(rng.Between(0, 1000000));
                    }
                }
            }
            w << "}}";
            ++counts.objects;
        }
    }
    w << "\n   ]\n  }\n  ]\n}\n";
    w.Flush();
    return !w.Failed();
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const std::string error = ParseArguments(argc, argv, options);
    if (error == "help") {
        std::fputs(kUsage.data(), stdout);
        return 0;
    }
    if (!error.empty()) {
        std::fprintf(stderr, "vellrun-make-image: %s\n%s", error.c_str(), kUsage.data());
        return 2;
    }
    std::FILE* file = std::fopen(options.out.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "vellrun-make-image: cannot write %s: %s\n", options.out.c_str(),
                     std::strerror(errno));
        return 1;
    }
    Counts counts;
    const bool written = WriteImage(file, options, counts);
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "vellrun-make-image: writing %s failed\n", options.out.c_str());
        return 1;
    }
    std::printf("wrote %s: tree %s, %llu objects\n", options.out.c_str(), options.tree.c_str(),
                static_cast<unsigned long long>(counts.objects));
    return 0;
}
