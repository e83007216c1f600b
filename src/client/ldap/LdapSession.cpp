#include "client/ldap/LdapSession.h"

#include "client/ResultCodes.h"
#include "client/image/DirectoryImage.h"
#include "client/ldap/TcpConnect.h"
#include "platform/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <ldap.h>
#include <netinet/in.h>
#include <openldap.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace vellrun::client::ldap {

namespace {

// How long a wait for the server goes on before whileWaiting has its turn.
constexpr std::chrono::microseconds kWaitSlice = std::chrono::milliseconds(100);

// More than any bundle of authorities holds.
constexpr size_t kCaFileLimit = size_t{64} << 20;

// Frees what libldap hands out, whatever path a function leaves by.
struct MessageGuard {
    LDAPMessage* message = nullptr;
    ~MessageGuard() {
        if (message) ldap_msgfree(message);
    }
};
struct ControlsGuard {
    LDAPControl** controls = nullptr;
    ~ControlsGuard() {
        if (controls) ldap_controls_free(controls);
    }
};

struct ServerAddress {
    std::string scheme;  // folded
    std::string host;    // empty: libldap's default, this machine
    int port = 0;        // 0: the scheme's own
    std::string uri;     // this server alone
};

// Every server of a uri: libldap takes a list (separated by blanks or
// commas, as it splits it) and goes on to the next when one cannot be
// reached. Empty when any of them does not parse.
std::vector<ServerAddress> AddressesOf(const std::string& uri) {
    std::vector<ServerAddress> addresses;
    for (size_t at = uri.find_first_not_of(", "); at != std::string::npos;
         at = uri.find_first_not_of(", ", at)) {
        const size_t end = std::min(uri.find_first_of(", ", at), uri.size());
        LDAPURLDesc* url = nullptr;
        const std::string server = uri.substr(at, end - at);
        if (ldap_url_parse(server.c_str(), &url) != LDAP_URL_SUCCESS || !url) return {};
        addresses.push_back(ServerAddress{image::FoldCase(url->lud_scheme ? url->lud_scheme : ""),
                                          url->lud_host ? url->lud_host : "", url->lud_port,
                                          server});
        ldap_free_urldesc(url);
        at = end;
    }
    return addresses;
}

// The scheme every server of the uri shares, or empty.
std::string SchemeOf(const std::string& uri) {
    const std::vector<ServerAddress> addresses = AddressesOf(uri);
    if (addresses.empty()) return {};
    for (const ServerAddress& address : addresses) {
        if (address.scheme != addresses.front().scheme) return {};
    }
    return addresses.front().scheme;
}

std::string HostOf(const std::string& uri) {
    const std::vector<ServerAddress> addresses = AddressesOf(uri);
    return addresses.empty() ? std::string() : addresses.front().host;
}

// This machine: no host (libldap's default, this machine), "localhost", an
// IPv4 address in 127.0.0.0/8 or the IPv6 loopback address. Only the
// address itself counts: "127.example.org" is a name and may be anywhere.
bool IsLoopbackHost(const std::string& host) {
    if (host.empty() || host == "localhost") return true;
    in_addr v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    std::string v6 = host;
    if (v6.size() > 2 && v6.front() == '[' && v6.back() == ']') v6 = v6.substr(1, v6.size() - 2);
    in6_addr address{};
    return inet_pton(AF_INET6, v6.c_str(), &address) == 1 && IN6_IS_ADDR_LOOPBACK(&address);
}

// True when every server of the uri is this machine; never for a uri that
// does not parse.
bool IsLoopback(const std::string& uri) {
    const std::vector<ServerAddress> addresses = AddressesOf(uri);
    return !addresses.empty() &&
           std::all_of(addresses.begin(), addresses.end(),
                       [](const ServerAddress& address) { return IsLoopbackHost(address.host); });
}

// The system's authorities, which check a server's certificate when the
// connection names no CA file: the first bundle of these that is a file
// (Debian and Ubuntu, Fedora and RHEL, openSUSE, Alpine), else the folder of
// single certificates; neither when none is there.
struct SystemAuthorities {
    std::string bundle;  // a PEM file of certificates
    std::string folder;  // a folder of them
};
SystemAuthorities FindSystemAuthorities() {
    constexpr const char* kBundles[] = {
        "/etc/ssl/certs/ca-certificates.crt",
        "/etc/pki/tls/certs/ca-bundle.crt",
        "/etc/ssl/ca-bundle.pem",
        "/etc/ssl/cert.pem",
    };
    constexpr const char* kFolder = "/etc/ssl/certs";
    struct stat info {};
    for (const char* bundle : kBundles) {
        if (::stat(bundle, &info) == 0 && S_ISREG(info.st_mode)) return {bundle, {}};
    }
    if (::stat(kFolder, &info) == 0 && S_ISDIR(info.st_mode)) return {{}, kFolder};
    return {};
}

// "member;range=0-1499" -> ("member", 1499); end is -1 for "*", -2 for no range.
std::pair<std::string, long long> RangeOf(const std::string& description) {
    const std::string folded = image::FoldCase(description);
    const size_t at = folded.find(";range=");
    if (at == std::string::npos) return {description, -2};
    const size_t dash = folded.find('-', at);
    if (dash == std::string::npos) return {description, -2};
    const std::string end = folded.substr(dash + 1);
    if (end == "*") return {description.substr(0, at), -1};
    long long last = 0;
    std::from_chars(end.data(), end.data() + end.size(), last);
    return {description.substr(0, at), last};
}

// A reason libldap or the server gives, in brackets: one that a pair of
// brackets encloses whole is not bracketed again ("(a) and (b)" is not one),
// and "(unknown error code)", what TLS says when it has nothing to say, is
// left out.
std::string Reason(std::string message) {
    bool enclosed = message.size() >= 2 && message.front() == '(' && message.back() == ')';
    int depth = 0;
    for (size_t i = 0; enclosed && i + 1 < message.size(); ++i) {
        if (message[i] == '(') ++depth;
        if (message[i] == ')') --depth;
        enclosed = depth > 0;
    }
    if (enclosed) message = message.substr(1, message.size() - 2);
    if (message.empty() || message == "unknown error code") return {};
    return " (" + message + ")";
}

// The diagnostic message libldap keeps for the last call that failed.
std::string DiagnosticOf(LDAP* ld) {
    char* message = nullptr;
    if (!ld || ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &message) != LDAP_OPT_SUCCESS)
        return {};
    std::string text = message ? message : "";
    if (message) ldap_memfree(message);
    return text;
}

// ManageDsaIT (RFC 3296), not critical: a referral entry (class "referral")
// is then an entry like any other, listed, read, changed and removed itself,
// where a server would otherwise send a reference in its place, which would
// leave it out of listings and reports. A server that does not know the
// control goes on without it.
LDAPControl ManageDsaIt() {
    return LDAPControl{const_cast<char*>(LDAP_CONTROL_MANAGEDSAIT), {0, nullptr}, 0};
}

// The room an entry's page keeps between entries while they are read.
struct EntryScratch {
    std::vector<FoundEntry::Counted> names;
    std::vector<std::string_view> values;
};

// The attributes that ldap_get_dn_ber leaves ber at, up to its end (the end
// of the entry's attribute list): each a sequence of its description and the
// set of its values, read where they lie in the message. False when any part
// of the list does not decode or does not end where its encoding says.
bool ReadAttributeList(BerElement* ber, EntryScratch& scratch) {
    berval attribute{0, nullptr};
    ber_len_t length = 0;
    while (ber_peek_element(ber, &attribute) == LBER_SEQUENCE) {
        berval name{0, nullptr};
        berval set{0, nullptr};
        if (ber_skip_tag(ber, &length) == LBER_DEFAULT ||
            ber_get_stringbv(ber, &name, LBER_BV_NOTERM) == LBER_DEFAULT ||
            ber_peek_element(ber, &set) == LBER_DEFAULT ||
            ber_skip_tag(ber, &length) == LBER_DEFAULT) {
            return false;
        }
        // Each value is read in place: where it ends, the next one begins.
        const char* const end = set.bv_val + set.bv_len;
        if (end != attribute.bv_val + attribute.bv_len) return false;
        const size_t first = scratch.values.size();
        const char* at = set.bv_val;
        while (at < end) {
            berval value{0, nullptr};
            if (ber_get_stringbv(ber, &value, LBER_BV_NOTERM) == LBER_DEFAULT) return false;
            scratch.values.emplace_back(value.bv_val, value.bv_len);
            at = value.bv_val + value.bv_len;
        }
        if (at != end) return false;
        scratch.names.emplace_back(std::string_view(name.bv_val, name.bv_len),
                                   scratch.values.size() - first);
    }
    // What stopped the list is its end, not an element that is no attribute.
    ber_len_t left = 1;
    return ber_get_option(ber, LBER_OPT_REMAINING_BYTES, &left) == LBER_OPT_SUCCESS && left == 0;
}

// One pass over the entry's encoding: the DN, then the attributes with
// their values: nothing is allocated or written for them until the entry
// copies them in. Asking for the values by name would scan the entry again
// for each. False when the entry does not decode whole (found.dn is then its
// DN when that much was read, else empty): the entry is not handed out
// short of the values it has.
bool ReadAttributes(LDAP* ld, LDAPMessage* entry, EntryScratch& scratch, FoundEntry& found) {
    BerElement* ber = nullptr;
    berval dn{0, nullptr};
    if (ldap_get_dn_ber(ld, entry, &ber, &dn) != LDAP_SUCCESS) {
        if (ber) ber_free(ber, 0);
        return false;
    }
    found.dn.assign(dn.bv_val ? dn.bv_val : "", dn.bv_len);
    scratch.names.clear();
    scratch.values.clear();
    const bool whole = ReadAttributeList(ber, scratch);
    if (whole) found.SetAttributes(scratch.names, scratch.values);
    ber_free(ber, 0);
    return whole;
}

}  // namespace

// libldap makes the TLS handshake inside one call (ldap_install_tls), with
// no deadline for it: on a socket it leaves without blocking it tries again
// at once, for ever. It connects a local socket (ldapi://) inside another
// (ldap_connect); a TCP connection ConnectOverTcp makes itself. So while a
// connection is set up, a layer of our own lies below TLS: before each read
// or write it waits for the socket the way Await waits for an answer, in
// slices with whileWaiting between them, up to the timeout, and fails the
// read or write when the time is up or the wait is given up.
struct LdapSession::SetUpWait {
    static constexpr int kLevel = LBER_SBIOD_LEVEL_PROVIDER + 5;  // above TCP, below TLS

    explicit SetUpWait(LdapSession& owner) : session(owner), limit(owner.config_.timeoutSeconds) {
        callback.lc_add = &Added;
        callback.lc_del = &Removed;
        callback.lc_arg = this;
    }

    // Waits in each read and write from now on, until Disarm.
    void Arm() {
        armed = true;
        deadline = std::chrono::steady_clock::now() + limit;
    }
    void Disarm() { armed = false; }

    // False when the wait ran out or was given up.
    bool Ready(Sockbuf_IO_Desc* layer, short events) {
        if (events == POLLIN && LBER_SBIOD_CTRL_NEXT(layer, LBER_SB_OPT_DATA_READY, nullptr) > 0)
            return true;
        ber_socket_t fd = -1;
        ber_sockbuf_ctrl(layer->sbiod_sb, LBER_SB_OPT_GET_FD, &fd);
        return Await(fd, events);
    }

    // Waits for the socket until it is ready for events, in slices with
    // whileWaiting between them; false when the wait ran out or was given up.
    bool Await(int fd, short events) {
        using Clock = std::chrono::steady_clock;
        for (;;) {
            if (cancelled || timedOut) return false;
            const Clock::time_point now = Clock::now();
            if (now >= deadline) {
                timedOut = true;
                return false;
            }
            auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
            if (session.config_.whileWaiting)
                wait = std::min(wait, std::chrono::milliseconds(kWaitSlice.count() / 1000));
            pollfd socket{fd, events, 0};
            const int ready = ::poll(&socket, 1, static_cast<int>(wait.count()));
            // Ready, or a failure that the read or write itself tells.
            if (ready > 0 || (ready < 0 && errno != EINTR)) return true;
            if (ready == 0 && session.config_.whileWaiting) {
                const bool goOn = session.WhileWaiting();
                // libldap is in the middle of a call on the handle: a close
                // made meanwhile ends the set-up here, which then closes.
                if (!goOn || session.closeWanted_) cancelled = true;
            }
        }
    }

    // libldap connected a local socket (ldapi://; each server of a list in
    // turn): the layer goes onto it.
    static int Added(LDAP*, Sockbuf* socket, LDAPURLDesc*, sockaddr*, ldap_conncb* callback) {
        return static_cast<SetUpWait*>(callback->lc_arg)->Attach(socket);
    }
    // The layer goes onto a connection made (by libldap, or by
    // ConnectOverTcp), and the server has the whole time for its handshake.
    int Attach(Sockbuf* socket) {
        if (armed) Arm();
        return ber_sockbuf_add_io(socket, &io, kLevel, this) == 0 ? 0 : -1;
    }
    static void Removed(LDAP*, Sockbuf*, ldap_conncb*) {}

    static int Setup(Sockbuf_IO_Desc* layer, void* wait) {
        layer->sbiod_pvt = wait;
        return 0;
    }
    static int Remove(Sockbuf_IO_Desc*) { return 0; }
    static int Control(Sockbuf_IO_Desc* layer, int option, void* value) {
        return LBER_SBIOD_CTRL_NEXT(layer, option, value);
    }
    static ber_slen_t Read(Sockbuf_IO_Desc* layer, void* buffer, ber_len_t length) {
        auto* wait = static_cast<SetUpWait*>(layer->sbiod_pvt);
        if (wait->armed && !wait->Ready(layer, POLLIN)) {
            errno = ETIMEDOUT;
            return -1;
        }
        return LBER_SBIOD_READ_NEXT(layer, buffer, length);
    }
    static ber_slen_t Write(Sockbuf_IO_Desc* layer, void* buffer, ber_len_t length) {
        auto* wait = static_cast<SetUpWait*>(layer->sbiod_pvt);
        if (wait->armed && !wait->Ready(layer, POLLOUT)) {
            errno = ETIMEDOUT;
            return -1;
        }
        return LBER_SBIOD_WRITE_NEXT(layer, buffer, length);
    }
    static int CloseLayer(Sockbuf_IO_Desc*) { return 0; }

    static Sockbuf_IO io;

    LdapSession& session;
    std::chrono::seconds limit;
    std::chrono::steady_clock::time_point deadline;
    ldap_conncb callback{};
    bool armed = false;
    bool timedOut = false;
    bool cancelled = false;
};

Sockbuf_IO LdapSession::SetUpWait::io = {&Setup, &Remove, &Control, &Read, &Write, &CloseLayer};

FoundEntry::FoundEntry(
    std::string entryDn,
    const std::vector<std::pair<std::string, std::vector<std::string>>>& attributes)
    : dn(std::move(entryDn)) {
    std::vector<Counted> names;
    std::vector<std::string_view> values;
    for (const auto& [name, texts] : attributes) {
        names.emplace_back(name, texts.size());
        values.insert(values.end(), texts.begin(), texts.end());
    }
    SetAttributes(names, values);
}

FoundEntry::FoundEntry(const FoundEntry& other) {
    *this = other;
}

FoundEntry& FoundEntry::operator=(const FoundEntry& other) {
    if (this == &other) return *this;
    dn = other.dn;
    std::vector<Counted> names;
    for (const Attribute& attribute : other.attributes_)
        names.emplace_back(attribute.name, attribute.values.size());
    SetAttributes(names, other.values_);
    return *this;
}

FoundEntry::FoundEntry(FoundEntry&& other) noexcept
    : dn(std::move(other.dn)),
      block_(std::move(other.block_)),
      blockBytes_(std::exchange(other.blockBytes_, 0)),
      attributes_(std::exchange(other.attributes_, {})),
      values_(std::exchange(other.values_, {})) {}

FoundEntry& FoundEntry::operator=(FoundEntry&& other) noexcept {
    dn = std::move(other.dn);
    block_ = std::move(other.block_);
    blockBytes_ = std::exchange(other.blockBytes_, 0);
    attributes_ = std::exchange(other.attributes_, {});
    values_ = std::exchange(other.values_, {});
    return *this;
}

namespace {

// Whether an attribute's name comes twice (case aside, as attribute
// descriptions compare). The list is an entry's, of a few dozen names at most.
bool NameRepeated(std::span<const FoundEntry::Counted> names) {
    for (size_t i = 1; i < names.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (names[i].first.size() == names[j].first.size() &&
                image::EqualsNoCase(names[i].first, names[j].first)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

void FoundEntry::SetAttributes(std::span<const Counted> names,
                               std::span<const std::string_view> values) {
    if (NameRepeated(names)) {
        // A server may send an attribute in more than one part (slapd does
        // for one an entry was loaded with in two places): its values are
        // gathered under its first name, in the order they came, so that
        // each reader of the entry finds all of them.
        std::vector<size_t> first(names.size());
        for (size_t i = 1; i < names.size(); ++i)
            first[i] = first[i - 1] + names[i - 1].second;
        std::vector<bool> taken(names.size(), false);
        std::vector<Counted> merged;
        std::vector<std::string_view> all;
        all.reserve(values.size());
        for (size_t i = 0; i < names.size(); ++i) {
            if (taken[i]) continue;
            const size_t before = all.size();
            for (size_t j = i; j < names.size(); ++j) {
                if (j != i && (taken[j] || !image::EqualsNoCase(names[j].first, names[i].first)))
                    continue;
                taken[j] = true;
                all.insert(all.end(), values.begin() + static_cast<ptrdiff_t>(first[j]),
                           values.begin() + static_cast<ptrdiff_t>(first[j] + names[j].second));
            }
            merged.emplace_back(names[i].first, all.size() - before);
        }
        SetAttributes(merged, all);
        return;
    }
    // The block: the attributes, then the views of the values, then the text.
    static_assert(sizeof(Attribute) % alignof(std::string_view) == 0);
    const size_t attributeBytes = names.size() * sizeof(Attribute);
    const size_t valueBytes = values.size() * sizeof(std::string_view);
    size_t size = attributeBytes + valueBytes;
    for (const auto& [name, count] : names)
        size += name.size();
    for (const std::string_view value : values)
        size += value.size();
    // Built aside: the names and values given may be this entry's own.
    auto block = std::make_unique_for_overwrite<std::byte[]>(size);
    auto* attributes = reinterpret_cast<Attribute*>(block.get());
    auto* copied = reinterpret_cast<std::string_view*>(block.get() + attributeBytes);
    char* at = reinterpret_cast<char*>(block.get() + attributeBytes + valueBytes);
    const auto copy = [&at](std::string_view from) {
        if (!from.empty()) std::memcpy(at, from.data(), from.size());
        const std::string_view to(at, from.size());
        at += from.size();
        return to;
    };
    for (size_t i = 0; i < values.size(); ++i)
        std::construct_at(copied + i, copy(values[i]));
    size_t first = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        const auto& [name, count] = names[i];
        std::construct_at(attributes + i, Attribute{copy(name), Values(copied + first, count)});
        first += count;
    }
    block_ = std::move(block);
    blockBytes_ = size;
    attributes_ = {attributes, names.size()};
    values_ = {copied, values.size()};
}

void FoundEntry::ReplaceAttribute(size_t index, std::string_view name,
                                  const std::vector<std::string>& values) {
    std::vector<Counted> names;
    std::vector<std::string_view> all;
    for (size_t i = 0; i < attributes_.size(); ++i) {
        if (i == index) {
            names.emplace_back(name, values.size());
            all.insert(all.end(), values.begin(), values.end());
        } else {
            names.emplace_back(attributes_[i].name, attributes_[i].values.size());
            all.insert(all.end(), attributes_[i].values.begin(), attributes_[i].values.end());
        }
    }
    SetAttributes(names, all);
}

std::string_view AttributeOfDescription(std::string_view description) {
    const size_t semicolon = description.find(';');
    if (semicolon == std::string_view::npos) return description;
    for (size_t at = semicolon; at != std::string_view::npos;) {
        const size_t next = description.find(';', at + 1);
        const std::string_view option = description.substr(
            at + 1, next == std::string_view::npos ? std::string_view::npos : next - at - 1);
        if (!image::EqualsNoCase(option, "binary")) return {};
        at = next;
    }
    return description.substr(0, semicolon);
}

const FoundEntry::Values* FoundEntry::Find(std::string_view name) const {
    for (const Attribute& attribute : attributes_) {
        if (image::EqualsNoCase(attribute.name, name)) return &attribute.values;
    }
    for (const Attribute& attribute : attributes_) {
        if (attribute.name.size() > name.size() &&
            image::EqualsNoCase(AttributeOfDescription(attribute.name), name))
            return &attribute.values;
    }
    return nullptr;
}

LdapSession::LdapSession(LdapConnectionConfig config)
    : config_(std::move(config)), setUpWait_(std::make_unique<SetUpWait>(*this)) {}

LdapSession::~LdapSession() {
    Disconnect();
}

void LdapSession::Close() {
    if (settingUp_) {
        closeWanted_ = true;
        return;
    }
    Disconnect();
}

void LdapSession::Disconnect() {
    ahead_.reset();
    sentAhead_.clear();
    if (ld_) ldap_unbind_ext_s(ld_, nullptr, nullptr);
    ld_ = nullptr;
}

Result LdapSession::MapResult(int code, const std::string& message, bool change) {
    if (code == LDAP_SUCCESS) return 0;
    // A server of the directory family says its own code in the message: "(-NNN)".
    for (size_t at = message.find("(-"); at != std::string::npos; at = message.find("(-", at + 1)) {
        int value = 0;
        const char* start = message.data() + at + 1;
        auto [end, ec] = std::from_chars(start, message.data() + message.size(), value);
        if (ec == std::errc() && end < message.data() + message.size() && *end == ')' &&
            value < 0) {
            return value;
        }
    }
    switch (code) {
        case LDAP_NO_SUCH_OBJECT: return Err::NoSuchEntry;
        case LDAP_NO_SUCH_ATTRIBUTE:
            // Deleting a value that is not there: the attribute is, the value is not.
            return image::FoldCase(message).find("value") != std::string::npos
                       ? Err::NoSuchValue
                       : Err::NoSuchAttribute;
        case LDAP_TYPE_OR_VALUE_EXISTS: return Err::DuplicateValue;
        case LDAP_INSUFFICIENT_ACCESS: return Err::NoAccess;
        // Said of a change, these refuse it to the bind in use (an anonymous
        // one, or one without encryption): it may not change the entry.
        case LDAP_STRONG_AUTH_REQUIRED:
        case LDAP_CONFIDENTIALITY_REQUIRED:
            return change ? Err::NoAccess : Err::FailedAuthentication;
        case LDAP_INVALID_CREDENTIALS:
        case LDAP_INAPPROPRIATE_AUTH: return Err::FailedAuthentication;
        case LDAP_INVALID_DN_SYNTAX:
        case LDAP_NAMING_VIOLATION: return Err::IllegalDsName;
        case LDAP_UNDEFINED_TYPE: return Err::NoSuchAttribute;
        case LDAP_INVALID_SYNTAX: return Err::SyntaxViolation;
        case LDAP_CONSTRAINT_VIOLATION: return Err::SyntaxViolation;
        case LDAP_OBJECT_CLASS_VIOLATION: return Err::MissingMandatory;
        case LDAP_NOT_ALLOWED_ON_NONLEAF: return Err::NotEmpty;
        case LDAP_ALREADY_EXISTS: return Err::EntryAlreadyExists;
        case LDAP_SIZELIMIT_EXCEEDED:
        case LDAP_ADMINLIMIT_EXCEEDED: return Err::SizeLimitExceeded;
        case LDAP_TIMELIMIT_EXCEEDED: return Err::TimeLimitExceeded;
        case LDAP_ALIAS_PROBLEM:
        case LDAP_ALIAS_DEREF_PROBLEM: return Err::AliasOfAlias;
        case LDAP_BUSY:
        case LDAP_UNAVAILABLE:
        case LDAP_SERVER_DOWN:
        case LDAP_CONNECT_ERROR:
        case LDAP_TIMEOUT:
        case LDAP_OTHER: return Err::TransportFailure;
        default: return Err::InvalidRequest;
    }
}

Result LdapSession::Fail(int code, const std::string& message, bool change) {
    why_ = {};
    diagnostic_ = config_.uri + ": " + ldap_err2string(code) + Reason(message);
    const Result result = MapResult(code, message, change);
    // A connection that broke is dropped, at once in a set-up too (this runs
    // after libldap's calls, never inside one); the next call connects again.
    if (code == LDAP_SERVER_DOWN || code == LDAP_CONNECT_ERROR || code == LDAP_TIMEOUT ||
        code == LDAP_UNAVAILABLE) {
        Disconnect();
    }
    return result;
}

Result LdapSession::Refused(int code, const std::string& message, bool change,
                            const std::string& searchBase, const std::string& matched) {
    const Result result = Fail(code, message, change);
    Name asked, below;
    if (code == LDAP_NO_SUCH_OBJECT && config_.base && !config_.base->empty() && !base_.empty() &&
        ParseDn(searchBase, asked) && RelativeTo(asked, base_, below) && below.empty()) {
        // The tree's own top is not there: no entry below it can be either.
        why_.kind = FailureNote::Kind::MissingBase;
        why_.text = "the base \"" + *config_.base + "\" does not exist on " + config_.uri;
        if (!matched.empty()) why_.text += " (the nearest entry there is \"" + matched + "\")";
    } else if (!message.empty()) {
        // Only words of the server's own: the name of its code alone would
        // repeat the code's text ("No such entry (the server said: No such
        // object)").
        why_.kind = FailureNote::Kind::ServerSaid;
        why_.text = ldap_err2string(code) + (": " + message);
    }
    return result;
}

Result LdapSession::Noted(Result result, Result limit) {
    const Result code = result != 0 ? result : limit;
    *note_ = code != 0 ? why_ : FailureNote{};
    note_->code = code;
    return result;
}

Result LdapSession::Open() {
    // The handle is there, but not ready for a request of its own.
    if (waitingInSetUp_) {
        why_ = {};
        diagnostic_ = config_.uri + ": the connection is still being set up";
        return Noted(Err::TransportFailure);
    }
    if (ld_) return 0;
    diagnostic_.clear();
    why_ = {};
    // Before anything connects: a password must not go out in clear.
    if (Result r = RefuseInsecureBind(); r != 0) return Noted(r);
    settingUp_ = true;
    closeWanted_ = false;
    Result result = SetUp();
    settingUp_ = false;
    if (closeWanted_) {
        closeWanted_ = false;
        cancelled_ = true;
        diagnostic_ = config_.uri + ": cancelled while waiting for the server";
        result = Err::TransportFailure;
    }
    if (result != 0) Disconnect();
    return Noted(result);
}

bool LdapSession::WhileWaiting() {
    const bool outer = waitingInSetUp_;
    waitingInSetUp_ = outer || settingUp_;
    const bool goOn = config_.whileWaiting();
    waitingInSetUp_ = outer;
    return goOn;
}

Result LdapSession::SetUp() {
    if (Result r = Connect(); r != 0) return r;
    if (Result r = Bind(); r != 0) return r;
    if (Result r = ReadRootDse(); r != 0) return r;
    // Replies are read through a buffer of their own: without it libldap
    // reads the head and the body of every message with a system call each,
    // and waits for the socket before each one.
    Sockbuf* socket = nullptr;
    if (ldap_get_option(ld_, LDAP_OPT_SOCKBUF, &socket) == LDAP_OPT_SUCCESS && socket) {
        ber_sockbuf_add_io(socket, &ber_sockbuf_io_readahead, LBER_SBIOD_LEVEL_PROVIDER, nullptr);
    }
    return 0;
}

Result LdapSession::Connect() {
    const std::string scheme = SchemeOf(config_.uri);
    if (scheme != "ldap" && scheme != "ldaps" && scheme != "ldapi") {
        // A list of servers shares one scheme: whether the connection is
        // encrypted must not depend on which of them answers.
        diagnostic_ = config_.uri +
                      ": not an ldap://, ldaps:// or ldapi:// address, nor a list of "
                      "addresses of one of them";
        return Err::InvalidRequest;
    }
    cancelled_ = false;
    // libldap reads the address (a list of servers too) before anything
    // connects.
    LDAP* ld = nullptr;
    if (int rc = ldap_initialize(&ld, config_.uri.c_str()); rc != LDAP_SUCCESS) {
        diagnostic_ = config_.uri + ": " + ldap_err2string(rc);
        return Err::InvalidRequest;
    }
    const bool startTls = config_.tls == TlsKind::StartTls && scheme == "ldap";
    SetUpWait& wait = *setUpWait_;
    wait.timedOut = wait.cancelled = false;
    if (scheme == "ldapi") {
        // A local socket: libldap connects it, at once or not at all.
        ld_ = ld;
        ++connection_;
        Configure();
        ldap_set_option(ld_, LDAP_OPT_CONNECT_CB, &wait.callback);
        wait.Arm();
        const int rc = ldap_connect(ld_);
        wait.Disarm();
        if (rc != LDAP_SUCCESS) return ConnectFailure({}, rc, false);
    } else {
        ldap_unbind_ext_s(ld, nullptr, nullptr);
        if (Result r = ConnectOverTcp(scheme == "ldaps", startTls); r != 0) return r;
    }
    if (startTls) {
        if (Result r = StartTls(); r != 0) return r;
    }
    // Set up: from here on each request waits in Await.
    Sockbuf* socket = nullptr;
    if (ldap_get_option(ld_, LDAP_OPT_SOCKBUF, &socket) == LDAP_OPT_SUCCESS && socket)
        ber_sockbuf_remove_io(socket, &SetUpWait::io, SetUpWait::kLevel);
    return 0;
}

// libldap's own TCP connect waits in one poll() for the whole network
// timeout, with no turn for whileWaiting: a server whose host drops the
// connection request (a firewall, a machine that is down) held the window,
// and Escape or Ctrl+C, for that long; so did its lookup of the host name,
// for as long as the name service took to answer or the resolver to give up.
// The lookup and the connection are made here instead, each waiting as any
// request waits, and the connection is handed to libldap made.
Result LdapSession::ConnectOverTcp(bool ldaps, bool startTls) {
    SetUpWait& wait = *setUpWait_;
    const auto await = [&wait](int fd, short events) {
        wait.timedOut = false;  // the lookup and each address have the whole time
        wait.Arm();
        const bool ready = wait.Await(fd, events);
        wait.Disarm();
        if (ready) return SocketWait::Ready;
        return wait.cancelled ? SocketWait::GivenUp : SocketWait::TimedOut;
    };
    Result failure = Err::TransportFailure;
    // Each server of a list in turn, as libldap would take them.
    for (const ServerAddress& server : AddressesOf(config_.uri)) {
        std::string host = server.host.empty() ? "localhost" : server.host;
        if (host.size() > 2 && host.front() == '[' && host.back() == ']')
            host = host.substr(1, host.size() - 2);
        const int port = server.port != 0 ? server.port : ldaps ? LDAPS_PORT : LDAP_PORT;
        std::string error;
        wait.timedOut = false;
        const Addresses addresses = LookUpHost(host, port, await, error);
        const int fd = addresses ? ConnectTcp(addresses.get(), await, error) : -1;
        if (fd < 0) {
            // A name service that does not answer is not the server.
            const bool lookupTimedOut = !addresses && wait.timedOut;
            failure = ConnectFailure(lookupTimedOut ? "host name lookup failed: " : "",
                                     LDAP_SERVER_DOWN, false);
            if (!wait.timedOut && !wait.cancelled) diagnostic_ += Reason(error);
            if (wait.cancelled) return failure;
            continue;
        }
        LDAP* ld = nullptr;
        if (const int rc = ldap_init_fd(fd, LDAP_PROTO_TCP, server.uri.c_str(), &ld);
            rc != LDAP_SUCCESS) {
            ::close(fd);
            diagnostic_ = config_.uri + ": " + ldap_err2string(rc);
            return Err::TransportFailure;
        }
        ld_ = ld;
        ++connection_;
        Configure();
        if (ldaps || startTls) {
            if (Result r = SetUpTls(); r != 0) return r;
        }
        Sockbuf* socket = nullptr;
        if (ldap_get_option(ld_, LDAP_OPT_SOCKBUF, &socket) != LDAP_OPT_SUCCESS || !socket ||
            wait.Attach(socket) != 0) {
            diagnostic_ = config_.uri + ": the connection could not be set up";
            return Err::TransportFailure;
        }
        if (!ldaps) return 0;
        // The server has the whole time for its handshake.
        wait.Arm();
        const int rc = ldap_install_tls(ld_);
        wait.Disarm();
        if (rc == LDAP_SUCCESS) return 0;
        // Said as libldap's own connect says a failed handshake.
        failure = ConnectFailure({}, LDAP_SERVER_DOWN, true);
        if (wait.cancelled) return failure;
        Disconnect();
    }
    return failure;
}

void LdapSession::Configure() {
    const int version = LDAP_VERSION3;
    ldap_set_option(ld_, LDAP_OPT_PROTOCOL_VERSION, &version);
    // libldap starts each connection from the defaults of ldap.conf,
    // ~/.ldaprc and the LDAP* variables, and some of them change what a
    // search answers. They are pinned: referrals are not chased, aliases
    // are never dereferenced by the server (the client follows them itself,
    // where the context asks for it), and the server is asked for no size
    // or time limit of its own beyond what it imposes anyway. (A default
    // search base does not matter: every search names its base.)
    ldap_set_option(ld_, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    const int never = LDAP_DEREF_NEVER;
    ldap_set_option(ld_, LDAP_OPT_DEREF, &never);
    const int noLimit = LDAP_NO_LIMIT;
    ldap_set_option(ld_, LDAP_OPT_SIZELIMIT, &noLimit);
    ldap_set_option(ld_, LDAP_OPT_TIMELIMIT, &noLimit);
    timeval timeout{config_.timeoutSeconds, 0};
    ldap_set_option(ld_, LDAP_OPT_NETWORK_TIMEOUT, &timeout);
    ldap_set_option(ld_, LDAP_OPT_TIMEOUT, &timeout);
    // A signal that cuts a wait short (the console's Ctrl+C, whose handler
    // restarts nothing) says nothing of the server: libldap would take the
    // interrupted poll for a connection gone and the connection would be
    // dropped. It polls again for what is left of the slice instead, and
    // whileWaiting then says, as after any slice, whether to go on.
    ldap_set_option(ld_, LDAP_OPT_RESTART, LDAP_OPT_ON);
}

Result LdapSession::SetUpTls() {
    // libldap starts each connection from the defaults of ldap.conf,
    // ~/.ldaprc and LDAPTLS_* (a check turned off, other authorities), and
    // falls back to them when the connection's own context cannot be made:
    // the certificate check and the authorities are set here, and a context
    // that cannot be made stops the connection.
    const std::string& caFile = config_.caFile;
    if (!caFile.empty()) {
        // libldap takes a file without a certificate in it as no authority at
        // all, and says only that the handshake failed.
        std::string text;
        if (platform::FileStatus read = platform::ReadRegularFile(caFile, text, kCaFileLimit);
            !read.ok()) {
            diagnostic_ =
                caFile + ": the CA file of " + config_.uri + " cannot be read (" + read.error + ")";
            return Err::InvalidRequest;
        }
        if (text.find("-----BEGIN CERTIFICATE-----") == std::string::npos &&
            text.find("-----BEGIN TRUSTED CERTIFICATE-----") == std::string::npos) {
            diagnostic_ = caFile + ": the CA file of " + config_.uri +
                          " holds no certificate (PEM, \"-----BEGIN CERTIFICATE-----\")";
            return Err::InvalidRequest;
        }
    }
    // Without a CA file, the system's: the connection's new context starts
    // with no authority at all (libldap clears the paths of its defaults),
    // and would refuse every certificate.
    const SystemAuthorities system =
        caFile.empty() ? FindSystemAuthorities() : SystemAuthorities{caFile, {}};
    trusted_ = system.bundle.empty() ? system.folder : system.bundle;
    if (trusted_.empty() && config_.verifyCertificate) {
        diagnostic_ = config_.uri +
                      ": no authorities to check the server's certificate against: no CA file "
                      "was named, and the system keeps none in /etc/ssl";
        return Err::InvalidRequest;
    }
    const int require = config_.verifyCertificate ? LDAP_OPT_X_TLS_DEMAND : LDAP_OPT_X_TLS_NEVER;
    if (ldap_set_option(ld_, LDAP_OPT_X_TLS_REQUIRE_CERT, &require) != LDAP_OPT_SUCCESS ||
        (!system.bundle.empty() && ldap_set_option(ld_, LDAP_OPT_X_TLS_CACERTFILE,
                                                   system.bundle.c_str()) != LDAP_OPT_SUCCESS) ||
        (!system.folder.empty() && ldap_set_option(ld_, LDAP_OPT_X_TLS_CACERTDIR,
                                                   system.folder.c_str()) != LDAP_OPT_SUCCESS)) {
        diagnostic_ = config_.uri + ": the TLS settings could not be made";
        return Err::InvalidRequest;
    }
    const int client = 0;
    if (ldap_set_option(ld_, LDAP_OPT_X_TLS_NEWCTX, &client) != LDAP_OPT_SUCCESS) {
        const std::string reason = Reason(DiagnosticOf(ld_));
        diagnostic_ = caFile.empty() ? config_.uri +
                                           ": TLS could not be set up with the "
                                           "system's authorities in " +
                                           trusted_ + reason
                                     : caFile + ": the CA file of " + config_.uri +
                                           " holds no certificate that can be loaded" + reason;
        return Err::InvalidRequest;
    }
    return 0;
}

Result LdapSession::StartTls() {
    const std::string failed = "StartTLS failed: ";
    ++requests;
    int messageId = -1;
    if (const int rc = ldap_start_tls(ld_, nullptr, nullptr, &messageId); rc != LDAP_SUCCESS)
        return ConnectFailure(failed, rc, false);
    MessageGuard reply;
    if (Result r = Await(messageId, reply.message); r != 0) {
        const std::string prefix = config_.uri + ": ";
        if (!cancelled_ && diagnostic_.rfind(prefix, 0) == 0)
            diagnostic_.insert(prefix.size(), failed);
        return r;
    }
    int code = LDAP_OTHER;
    char* text = nullptr;
    if (const int rc =
            ldap_parse_result(ld_, reply.message, &code, nullptr, &text, nullptr, nullptr, 0);
        rc != LDAP_SUCCESS) {
        code = rc;
    }
    const std::string message = text ? text : "";
    if (text) ldap_memfree(text);
    if (code != LDAP_SUCCESS) {
        diagnostic_ = config_.uri + ": " + failed + ldap_err2string(code) + Reason(message);
        return Err::TransportFailure;
    }
    // The server takes TLS now: the handshake waits as the connection did.
    setUpWait_->Arm();
    const int rc = ldap_install_tls(ld_);
    setUpWait_->Disarm();
    if (rc != LDAP_SUCCESS) return ConnectFailure(failed, rc, true);
    return 0;
}

std::string LdapSession::NoAnswer() const {
    const int seconds = config_.timeoutSeconds;
    return "the server did not answer within " + std::to_string(seconds) +
           (seconds == 1 ? " second" : " seconds");
}

std::string LdapSession::TimedOut() const {
    const int seconds = config_.timeoutSeconds;
    return ldap_err2string(LDAP_TIMEOUT) + std::string(" (no answer within ") +
           std::to_string(seconds) + (seconds == 1 ? " second)" : " seconds)");
}

Result LdapSession::ConnectFailure(const std::string& what, int code, bool tls) {
    const SetUpWait& wait = *setUpWait_;
    if (wait.cancelled) {
        cancelled_ = true;
        diagnostic_ = config_.uri + ": cancelled while waiting for the server";
    } else if (wait.timedOut) {
        diagnostic_ = config_.uri + ": " + what + TimedOut();
        why_ = {0, FailureNote::Kind::Unanswered, NoAnswer()};
    } else {
        diagnostic_ = config_.uri + ": " + what + ldap_err2string(code) + Reason(DiagnosticOf(ld_));
        // libldap says a refused certificate as if the server were not there.
        if (tls) {
            diagnostic_ += "; the server's certificate may have been refused (signed by " +
                           (trusted_.empty() ? std::string("an unknown authority")
                                             : "an authority that " + trusted_ + " does not hold") +
                           ", made for another host name, or expired)";
        }
    }
    return Err::TransportFailure;
}

Result LdapSession::ReadPassword(std::string& password) {
    // A bind DN with an empty password is an unauthenticated bind, which a
    // server may let through as anonymous: no source may give one.
    if (config_.password) {
        if (config_.password->empty()) {
            diagnostic_ = config_.uri + ": an empty password was given for " + config_.bindDn;
            return Err::FailedAuthentication;
        }
        password = *config_.password;
        return 0;
    }
    if (!config_.passwordEnv.empty()) {
        const char* value = std::getenv(config_.passwordEnv.c_str());
        if (!value) {
            diagnostic_ = config_.uri + ": the environment variable " + config_.passwordEnv +
                          " that holds the password is not set";
            return Err::FailedAuthentication;
        }
        password = value;
        if (password.empty()) {
            diagnostic_ = config_.uri + ": the environment variable " + config_.passwordEnv +
                          " that holds the password is empty";
            return Err::FailedAuthentication;
        }
        return 0;
    }
    if (!config_.passwordFile.empty()) {
        struct stat info {};
        if (stat(config_.passwordFile.c_str(), &info) != 0) {
            diagnostic_ = config_.passwordFile + ": the password file cannot be read (" +
                          std::strerror(errno) + ")";
            return Err::FailedAuthentication;
        }
        if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
            diagnostic_ = config_.passwordFile +
                          ": the password file may be read by others; make it private "
                          "(chmod 600) first";
            return Err::FailedAuthentication;
        }
        // A folder, a FIFO or a file we may not read is refused, never read as nothing.
        if (platform::FileStatus read = platform::ReadRegularFile(config_.passwordFile, password);
            !read.ok()) {
            password.clear();
            diagnostic_ =
                config_.passwordFile + ": the password file cannot be read (" + read.error + ")";
            return Err::FailedAuthentication;
        }
        // One line: the end of line is not part of the password.
        while (!password.empty() && (password.back() == '\n' || password.back() == '\r'))
            password.pop_back();
        if (password.empty()) {
            diagnostic_ = config_.passwordFile + ": the password file holds no password";
            return Err::FailedAuthentication;
        }
        return 0;
    }
    if (config_.askPassword) {
        std::optional<std::string> asked =
            config_.askPassword("Password of " + config_.bindDn + " on " + config_.uri + ":");
        if (!asked) {
            diagnostic_ = config_.uri + ": no password was given for " + config_.bindDn;
            return Err::FailedAuthentication;
        }
        if (asked->empty()) {
            diagnostic_ = config_.uri + ": an empty password was given for " + config_.bindDn;
            return Err::FailedAuthentication;
        }
        // Kept for this run, so that a reconnection does not ask again.
        config_.password = std::move(*asked);
        password = *config_.password;
        return 0;
    }
    diagnostic_ = config_.uri +
                  ": a simple bind needs a password (a file, an environment "
                  "variable, or asked for)";
    return Err::FailedAuthentication;
}

std::string InsecureBindRefusal(const LdapConnectionConfig& config) {
    if (config.bind != BindKind::Simple) return {};
    const std::string scheme = SchemeOf(config.uri);
    const bool encrypted =
        scheme == "ldaps" || scheme == "ldapi" || config.tls == TlsKind::StartTls;
    if (encrypted || IsLoopback(config.uri) || config.allowInsecureBind) return {};
    return config.uri + ": refused to send a password unencrypted to another host; " +
           (config.insecureBindAdvice.empty()
                ? "use ldaps:// or StartTLS, or set \"allowInsecureBind\": true"
                : config.insecureBindAdvice);
}

Result LdapSession::RefuseInsecureBind() {
    std::string refusal = InsecureBindRefusal(config_);
    if (refusal.empty()) return 0;
    diagnostic_ = std::move(refusal);
    return Err::FailedAuthentication;
}

Result LdapSession::Bind() {
    if (config_.bind == BindKind::Simple) {
        std::string password;
        if (Result r = ReadPassword(password); r != 0) return r;
        berval credentials{static_cast<ber_len_t>(password.size()), password.data()};
        ++requests;
        int messageId = -1;
        if (const int rc = ldap_sasl_bind(ld_, config_.bindDn.c_str(), LDAP_SASL_SIMPLE,
                                          &credentials, nullptr, nullptr, &messageId);
            rc != LDAP_SUCCESS) {
            return Fail(rc, {});
        }
        if (Result r = AwaitResult(messageId, false); r != 0) return r;
        identity_ = config_.bindDn;
        return 0;
    }
    if (config_.bind == BindKind::External) {
        ++requests;
        // EXTERNAL asks nothing of us: the identity comes from the socket or
        // the client certificate. One request and its answer, as any other.
        // Empty credentials: no other identity than the one the server sees.
        berval none{0, const_cast<char*>("")};
        int messageId = -1;
        if (const int rc = ldap_sasl_bind(ld_, "", "EXTERNAL", &none, nullptr, nullptr, &messageId);
            rc != LDAP_SUCCESS) {
            return Fail(rc, {});
        }
        if (Result r = AwaitResult(messageId, false); r != 0) return r;
        // Who the server took us for, when it says.
        ++requests;
        if (ldap_whoami(ld_, nullptr, nullptr, &messageId) != LDAP_SUCCESS) return 0;
        MessageGuard reply;
        if (Result r = Await(messageId, reply.message); r != 0) return r;
        berval* who = nullptr;
        if (ldap_parse_whoami(ld_, reply.message, &who) == LDAP_SUCCESS && who) {
            std::string id(who->bv_val, who->bv_len);
            if (id.rfind("dn:", 0) == 0) identity_ = id.substr(3);
        }
        if (who) ber_bvfree(who);
        return 0;
    }
    // Anonymous: no bind request at all.
    return 0;
}

Result LdapSession::ReadRootDse() {
    FoundEntry root;
    const std::vector<std::string> wanted = {"namingContexts", "subschemaSubentry",
                                             "directoryTreeName", "supportedFeatures", "+"};
    if (Result r = ReadEntry("", wanted, root); r != 0) return r;
    namingContexts_.clear();
    if (const auto* contexts = root.Find("namingContexts")) {
        for (const std::string_view text : *contexts) {
            Name name;
            if (ParseDn(text, name)) namingContexts_.push_back(std::move(name));
        }
    }
    if (const auto* subschema = root.Find("subschemaSubentry"); subschema && !subschema->empty()) {
        subschemaDn_ = std::string(subschema->front());
    } else {
        subschemaDn_ = "cn=Subschema";
    }
    base_.clear();
    if (config_.base && !config_.base->empty()) {
        if (!ParseDn(*config_.base, base_)) {
            diagnostic_ = config_.uri + ": the base \"" + *config_.base + "\" is not a DN";
            return Err::IllegalDsName;
        }
    } else if (namingContexts_.size() == 1) {
        // One naming context is the tree's top; several are its top-level objects.
        base_ = namingContexts_.front();
    }
    // Named once: a connection opened again keeps the name the trees were
    // listed by. A name made from the server's or the host's must be one the
    // tree list shows unchanged.
    if (!treeName_.empty()) return 0;
    if (!config_.name.empty()) {
        treeName_ = config_.name;
        return 0;
    }
    if (const auto* tree = root.Find("directoryTreeName"); tree && !tree->empty())
        treeName_ = image::FitTreeName(tree->front());
    if (treeName_.empty()) treeName_ = image::FitTreeName(HostOf(config_.uri));
    if (treeName_.empty()) treeName_ = "localhost";
    return 0;
}

Result LdapSession::Schema(const LdapSchema*& schema) {
    schema = nullptr;
    if (schema_) {
        schema = schema_.get();
        return 0;
    }
    if (Result r = Open(); r != 0) return r;
    FoundEntry entry;
    if (Result r =
            ReadEntry(subschemaDn_, {"attributeTypes", "objectClasses", "ldapSyntaxes"}, entry);
        r != 0) {
        return r;
    }
    SchemaText text;
    if (const auto* list = entry.Find("attributeTypes"))
        text.attributeTypes.assign(list->begin(), list->end());
    if (const auto* list = entry.Find("objectClasses"))
        text.objectClasses.assign(list->begin(), list->end());
    if (const auto* list = entry.Find("ldapSyntaxes"))
        text.ldapSyntaxes.assign(list->begin(), list->end());
    auto loaded = std::make_unique<LdapSchema>();
    loaded->Load(text);
    schema_ = std::move(loaded);
    schema = schema_.get();
    return 0;
}

namespace {
bool SameSearch(const SearchRequest& a, const SearchRequest& b) {
    return a.base == b.base && a.scope == b.scope && a.filter == b.filter &&
           a.attributes == b.attributes && a.pageSize == b.pageSize && a.cookie == b.cookie;
}
}  // namespace

int LdapSession::SendSearch(const SearchRequest& request, int& messageId) {
    std::vector<char*> names;
    for (const std::string& a : request.attributes)
        names.push_back(const_cast<char*>(a.c_str()));
    names.push_back(nullptr);
    LDAPControl* page = nullptr;
    if (request.pageSize > 0) {
        berval sent{static_cast<ber_len_t>(request.cookie.size()),
                    const_cast<char*>(request.cookie.data())};
        if (int rc = ldap_create_page_control(ld_, request.pageSize,
                                              request.cookie.empty() ? nullptr : &sent, 1, &page);
            rc != LDAP_SUCCESS) {
            return rc;
        }
    }
    LDAPControl manage = ManageDsaIt();
    LDAPControl* controls[] = {&manage, page, nullptr};
    ++requests;
    const int rc = ldap_search_ext(ld_, request.base.c_str(), request.scope, request.filter.c_str(),
                                   request.attributes.empty() ? nullptr : names.data(), 0, controls,
                                   nullptr, nullptr, 0, &messageId);
    if (page) ldap_control_free(page);
    return rc;
}

Result LdapSession::Await(int messageId, LDAPMessage*& message, bool change) {
    message = nullptr;
    cancelled_ = false;
    why_ = {};
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(config_.timeoutSeconds);
    const uint64_t connection = connection_;
    for (;;) {
        // The whole time left, or a slice of it when someone waits with us.
        auto wait = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (config_.whileWaiting) wait = std::min(wait, kWaitSlice);
        wait = std::max(wait, std::chrono::microseconds::zero());
        timeval timeout{static_cast<time_t>(wait.count() / 1000000),
                        static_cast<suseconds_t>(wait.count() % 1000000)};
        int rc = ldap_result(ld_, messageId, LDAP_MSG_ALL, &timeout, &message);
        if (rc > 0) return message ? 0 : Fail(rc, {});
        if (rc < 0) {
            rc = LDAP_SERVER_DOWN;
            ldap_get_option(ld_, LDAP_OPT_RESULT_CODE, &rc);
            if (rc == LDAP_SUCCESS) rc = LDAP_SERVER_DOWN;
            return Fail(rc, {});
        }
        if (Clock::now() >= deadline) {
            ldap_abandon_ext(ld_, messageId, nullptr, nullptr);
            const Result result = Fail(LDAP_TIMEOUT, {});
            diagnostic_ = config_.uri + ": " + TimedOut();
            if (!change) {
                why_ = {0, FailureNote::Kind::Unanswered, NoAnswer()};
                return result;
            }
            // The server has the change and may still make it, or has made
            // it already: only a read of the entry can tell.
            diagnostic_ = config_.uri + ": the server did not answer the change in time";
            return Err::OutcomeUnknown;
        }
        if (!config_.whileWaiting) continue;
        const bool goOn = WhileWaiting();
        // Whatever ran meanwhile must not have closed the connection under us.
        if (!ld_ || connection_ != connection || closeWanted_) {
            diagnostic_ = config_.uri + ": the connection was closed while waiting for the server";
            return Err::TransportFailure;
        }
        if (!goOn && !change) {
            // The connection stays: the server has done nothing wrong, and
            // answers the next request once it is back.
            ldap_abandon_ext(ld_, messageId, nullptr, nullptr);
            cancelled_ = true;
            diagnostic_ = config_.uri + ": cancelled while waiting for the server";
            return Err::TransportFailure;
        }
    }
}

Result LdapSession::AwaitResult(int messageId, bool withMessage, bool change) {
    MessageGuard result;
    if (Result r = Await(messageId, result.message, change); r != 0) return r;
    int code = LDAP_OTHER;
    char* text = nullptr;
    if (int rc = ldap_parse_result(ld_, result.message, &code, nullptr, &text, nullptr, nullptr, 0);
        rc != LDAP_SUCCESS) {
        return Fail(rc, {});
    }
    const std::string message = text ? text : "";
    if (text) ldap_memfree(text);
    if (code == LDAP_SUCCESS) return 0;
    // The server's words are noted whether or not the code is read from them.
    const Result refused = Refused(code, withMessage ? message : std::string(), change);
    if (!withMessage && !message.empty() && why_.kind == FailureNote::Kind::None) {
        why_.kind = FailureNote::Kind::ServerSaid;
        why_.text = ldap_err2string(code) + (": " + message);
    }
    return refused;
}

void LdapSession::DropAhead() {
    if (ahead_ && ld_) ldap_abandon_ext(ld_, ahead_->messageId, nullptr, nullptr);
    ahead_.reset();
}

void LdapSession::SendAhead(const std::string& base, int scope, const std::string& filter,
                            const std::vector<std::string>& attributes) {
    if (transport_ || !ld_ || settingUp_) return;
    SearchRequest request{base, scope, filter, attributes, 0, {}};
    for (const Ahead& sent : sentAhead_) {
        if (SameSearch(sent.request, request)) return;
    }
    if (sentAhead_.size() >= kMostAhead) {
        ldap_abandon_ext(ld_, sentAhead_.front().messageId, nullptr, nullptr);
        sentAhead_.pop_front();
    }
    int messageId = -1;
    if (SendSearch(request, messageId) != LDAP_SUCCESS) return;
    sentAhead_.push_back(Ahead{std::move(request), messageId, std::chrono::steady_clock::now()});
}

void LdapSession::DropSentAhead() {
    for (const Ahead& sent : sentAhead_) {
        if (ld_) ldap_abandon_ext(ld_, sent.messageId, nullptr, nullptr);
    }
    sentAhead_.clear();
}

int LdapSession::TakeSentAhead(const SearchRequest& request) {
    const auto sent = std::find_if(sentAhead_.begin(), sentAhead_.end(),
                                   [&](const Ahead& a) { return SameSearch(a.request, request); });
    if (sent == sentAhead_.end()) return -1;
    // An answer made long ago is not taken: the search is made again.
    int messageId = sent->messageId;
    if (std::chrono::steady_clock::now() - sent->sent >= kAheadKept) {
        ldap_abandon_ext(ld_, messageId, nullptr, nullptr);
        messageId = -1;
    }
    sentAhead_.erase(sent);
    return messageId;
}

Result LdapSession::SearchServer(const SearchRequest& request, SearchReply& reply) {
    if (Result r = Open(); r != 0) return r;
    int messageId = -1;
    if (ahead_ && SameSearch(ahead_->request, request)) {
        messageId = ahead_->messageId;  // asked for while the last page was read
        ahead_.reset();
    } else if (request.pageSize == 0 && (messageId = TakeSentAhead(request)) >= 0) {
        // sent ahead of its turn (SendAhead)
    } else {
        // A search without paging (a read, a slice of ranged values) leaves
        // the next page in flight: the server may have made it already, and
        // with it moved its paging on, so that the listing could not ask for
        // that page again. Its answer waits in libldap until the listing
        // collects it. Another paged search takes the server's paging over:
        // the page asked for is no longer wanted.
        if (request.pageSize > 0) DropAhead();
        if (int rc = SendSearch(request, messageId); rc != LDAP_SUCCESS) return Fail(rc, {});
    }
    MessageGuard result;
    if (Result r = Await(messageId, result.message); r != 0) return r;
    if (const int count = ldap_count_entries(ld_, result.message); count > 0) {
        reply.entries.reserve(static_cast<size_t>(count));
    }
    EntryScratch scratch;
    for (LDAPMessage* e = ldap_first_entry(ld_, result.message); e; e = ldap_next_entry(ld_, e)) {
        FoundEntry& entry = reply.entries.emplace_back();
        if (!ReadAttributes(ld_, e, scratch, entry)) {
            // Shown short, the entry would pass for one without the values
            // it has: the search fails instead. The connection stays, as the
            // messages around the entry were read.
            const std::string what = entry.dn.empty() ? "an entry" : "the entry " + entry.dn;
            reply.entries.clear();
            return Fail(LDAP_DECODING_ERROR, "the server sent " + what + " that could not be read");
        }
    }
    char* diagnostic = nullptr;
    char* matched = nullptr;
    ControlsGuard returned;
    if (int prc = ldap_parse_result(ld_, result.message, &reply.code, &matched, &diagnostic,
                                    nullptr, &returned.controls, 0);
        prc != LDAP_SUCCESS) {
        return Fail(prc, {});
    }
    reply.message = diagnostic ? diagnostic : "";
    if (diagnostic) ldap_memfree(diagnostic);
    reply.matched = matched ? matched : "";
    if (matched) ldap_memfree(matched);
    if (request.pageSize > 0 && returned.controls) {
        if (LDAPControl* response =
                ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, returned.controls, nullptr)) {
            ber_int_t estimate = 0;
            berval next{0, nullptr};
            if (ldap_parse_pageresponse_control(ld_, response, &estimate, &next) == LDAP_SUCCESS) {
                reply.cookie.assign(next.bv_val ? next.bv_val : "", next.bv_len);
                if (next.bv_val) ber_memfree(next.bv_val);
            }
        }
    }
    // The next page is asked for now, so that the server makes it while the
    // caller goes through this one; the next search for it only collects it.
    if (request.pageSize > 0 && reply.code == LDAP_SUCCESS && !reply.cookie.empty() &&
        reply.cookie != request.cookie) {
        SearchRequest next = request;
        next.cookie = reply.cookie;
        int nextId = -1;
        if (SendSearch(next, nextId) == LDAP_SUCCESS) ahead_ = Ahead{std::move(next), nextId};
    }
    return 0;
}

Result LdapSession::SearchPage(const std::string& base, int scope, const std::string& filter,
                               const std::vector<std::string>& attributes, int pageSize,
                               const std::string& cookie, std::vector<FoundEntry>& entries,
                               PageEnd& end) {
    if (Result r = SearchSlices({base, scope, filter, attributes, pageSize, cookie}, entries, end);
        r != 0) {
        return Noted(r);
    }
    for (FoundEntry& entry : entries) {
        if (Result r = CompleteRanges(entry); r != 0) return Noted(r);
    }
    return Noted(0, end.limit);
}

Result LdapSession::SearchSlices(const SearchRequest& request, std::vector<FoundEntry>& entries,
                                 PageEnd& end) {
    entries.clear();
    end = PageEnd{};
    matchedDn_.clear();
    why_ = {};
    const std::string& cookie = request.cookie;
    SearchRequest asked = request;
    const int largest = largestPage_;
    if (asked.pageSize > largestPage_) asked.pageSize = largestPage_;
    SearchReply reply;
    for (;;) {
        if (Result r = transport_ ? transport_(asked, reply) : SearchServer(asked, reply); r != 0) {
            return r;
        }
        // A server with a largest page (slapd's size.pr) refuses a search
        // that asks for more with "administrative limit exceeded" before any
        // entry: ask again with smaller pages, and start there from now on.
        // A refusal with a cookie or entries is a limit reached on the way.
        if (reply.code != LDAP_ADMINLIMIT_EXCEEDED || asked.pageSize <= 1 || !cookie.empty() ||
            !reply.entries.empty()) {
            break;
        }
        asked.pageSize /= 2;
        largestPage_ = asked.pageSize;
        reply = SearchReply{};
    }
    if (reply.code == LDAP_ADMINLIMIT_EXCEEDED && asked.pageSize > 0 && cookie.empty() &&
        reply.entries.empty()) {
        why_ = {0, FailureNote::Kind::SearchRefused,
                reply.message.empty() ? ldap_err2string(reply.code) : reply.message};
        largestPage_ = largest;  // no page was taken: the next search asks as before
    }
    entries = std::move(reply.entries);
    if (reply.code == LDAP_SIZELIMIT_EXCEEDED || reply.code == LDAP_ADMINLIMIT_EXCEEDED) {
        end.limit = Err::SizeLimitExceeded;
    } else if (reply.code == LDAP_TIMELIMIT_EXCEEDED) {
        end.limit = Err::TimeLimitExceeded;
    } else if (reply.code != LDAP_SUCCESS) {
        entries.clear();
        matchedDn_ = std::move(reply.matched);
        // slapd says "paged results cookie is invalid or old" (unwilling to
        // perform; a protocol error in older versions).
        end.cookieRefused =
            request.pageSize > 0 && !cookie.empty() &&
            (reply.code == LDAP_UNWILLING_TO_PERFORM || reply.code == LDAP_PROTOCOL_ERROR);
        return Refused(reply.code, reply.message, false, request.base, matchedDn_);
    }
    if (request.pageSize > 0) {
        end.cookie = std::move(reply.cookie);
        if (!end.cookie.empty() && end.cookie == cookie) {
            diagnostic_ = config_.uri + ": the server sent the same paging cookie twice";
            end.cookie.clear();
            return Err::InvalidIteration;
        }
    }
    return 0;
}

Result LdapSession::ReadEntry(const std::string& dn, const std::vector<std::string>& attributes,
                              FoundEntry& entry) {
    std::vector<FoundEntry> entries;
    PageEnd end;
    if (Result r =
            SearchPage(dn, LDAP_SCOPE_BASE, "(objectClass=*)", attributes, 0, {}, entries, end);
        r != 0) {
        return r;
    }
    if (entries.empty()) return Noted(Err::NoSuchEntry);
    entry = std::move(entries.front());
    return 0;
}

bool LdapSession::BaseMissing() {
    if (!config_.base || config_.base->empty()) return false;
    FoundEntry entry;
    return ReadEntry(*config_.base, {"1.1"}, entry) == Err::NoSuchEntry &&
           LastFailure().kind == FailureNote::Kind::MissingBase;
}

Result LdapSession::CompleteRanges(FoundEntry& entry) {
    // "member;range=0-1499": the server hands out the values in slices; ask for
    // the next slice until the one that ends with "*".
    for (size_t i = 0; i < entry.Attributes().size(); ++i) {
        const FoundEntry::Attribute& attribute = entry.Attributes()[i];
        // Only a description with options can name a range.
        if (attribute.name.find(';') == std::string::npos) continue;
        auto [name, last] = RangeOf(std::string(attribute.name));
        if (last == -2) continue;
        std::vector<std::string> values(attribute.values.begin(), attribute.values.end());
        int guard = 0;
        while (last >= 0) {
            if (++guard > 100000) return Err::InvalidIteration;
            const std::string next = name + ";range=" + std::to_string(last + 1) + "-*";
            std::vector<FoundEntry> slice;
            PageEnd end;
            // The slice as the server sent it: its own range is what tells how far it went.
            if (Result r = SearchSlices(
                    {entry.dn, LDAP_SCOPE_BASE, "(objectClass=*)", {next}, 0, {}}, slice, end);
                r != 0) {
                return r;
            }
            long long reached = -1;
            bool found = false;
            if (!slice.empty()) {
                for (const auto& [description, more] : slice.front().Attributes()) {
                    auto [sliceName, sliceLast] = RangeOf(std::string(description));
                    if (!image::EqualsNoCase(sliceName, name) || sliceLast == -2) continue;
                    values.insert(values.end(), more.begin(), more.end());
                    reached = sliceLast;
                    found = true;
                }
            }
            // No slice of it: the server has no more values after the last one.
            if (!found) break;
            if (reached >= 0 && reached <= last) {
                // A slice that does not go on: reading on would loop for ever,
                // stopping here would hand out the attribute short.
                diagnostic_ = config_.uri + ": the server's ranges of " + name + " in " + entry.dn +
                              " do not go on past " + std::to_string(last);
                return Err::InvalidIteration;
            }
            last = reached;
        }
        entry.ReplaceAttribute(i, name, values);
    }
    return 0;
}

Result LdapSession::Modify(const std::string& dn, const std::vector<Change>& changes,
                           bool permissive) {
    if (Result r = Open(); r != 0) return r;
    DropSentAhead();
    std::vector<LDAPMod> mods(changes.size());
    std::vector<std::vector<berval>> values(changes.size());
    std::vector<std::vector<berval*>> pointers(changes.size());
    std::vector<LDAPMod*> list;
    for (size_t i = 0; i < changes.size(); ++i) {
        for (const std::string& v : changes[i].values)
            values[i].push_back(
                berval{static_cast<ber_len_t>(v.size()), const_cast<char*>(v.data())});
        for (berval& b : values[i])
            pointers[i].push_back(&b);
        pointers[i].push_back(nullptr);
        mods[i].mod_op = changes[i].operation | LDAP_MOD_BVALUES;
        mods[i].mod_type = const_cast<char*>(changes[i].attribute.c_str());
        mods[i].mod_bvalues = values[i].empty() ? nullptr : pointers[i].data();
        list.push_back(&mods[i]);
    }
    list.push_back(nullptr);
    // The permissive-modify control (1.2.840.113556.1.4.1413).
    LDAPControl permissiveControl{const_cast<char*>("1.2.840.113556.1.4.1413"), {0, nullptr}, 0};
    LDAPControl manage = ManageDsaIt();
    LDAPControl* controls[] = {&manage, permissive ? &permissiveControl : nullptr, nullptr};
    ++requests;
    int messageId = -1;
    if (const int rc = ldap_modify_ext(ld_, dn.c_str(), list.data(), controls, nullptr, &messageId);
        rc != LDAP_SUCCESS) {
        return Noted(Fail(rc, {}));
    }
    return Noted(AwaitResult(messageId, true, true));
}

Result LdapSession::Delete(const std::string& dn) {
    if (Result r = Open(); r != 0) return r;
    DropSentAhead();
    ++requests;
    int messageId = -1;
    LDAPControl manage = ManageDsaIt();
    LDAPControl* controls[] = {&manage, nullptr};
    if (const int rc = ldap_delete_ext(ld_, dn.c_str(), controls, nullptr, &messageId);
        rc != LDAP_SUCCESS) {
        return Noted(Fail(rc, {}));
    }
    return Noted(AwaitResult(messageId, true, true));
}

}  // namespace vellrun::client::ldap
