#pragma once

// One connection to an LDAP server through libldap: connecting, TLS, binding,
// the root DSE and the subschema entry, searches (one page at a time with the
// paged-results control, ranged values read whole), modifications and
// deletions, and LDAP result codes turned into the client's. A server that
// goes away closes the session; the next call connects again.
//
// Owned by the LDAP client, one per configured connection; used from one
// thread. It knows DNs and LDAP names only, never the program's dotted names.

#include "client/ClientTypes.h"
#include "client/ldap/LdapNames.h"
#include "client/ldap/LdapSchema.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct ldap;
struct ldapmsg;

namespace vellrun::client::ldap {

enum class BindKind { Anonymous, Simple, External };
enum class TlsKind { None, StartTls };  // ldaps:// is chosen by the URI

// One configured server (docs/connections.md).
struct LdapConnectionConfig {
    std::string name;  // the tree's name; empty: from the root DSE, else the host
    std::string uri;
    std::optional<std::string> base;  // empty text or none: the naming contexts
    BindKind bind = BindKind::Anonymous;
    std::string bindDn;
    std::string passwordFile;             // must not be readable by group or others
    std::string passwordEnv;              // the environment variable holding it
    std::optional<std::string> password;  // given for this run (asked), never stored
    // Asks a person for the password when no file, variable or password is
    // given (the desktop's message port); nothing when they decline.
    std::function<std::optional<std::string>(const std::string& prompt)> askPassword;
    TlsKind tls = TlsKind::None;
    std::string caFile;  // the authorities that sign the server's certificate; empty: the system's
    bool verifyCertificate = true;
    bool allowInsecureBind = false;
    // What a person can do about a password refused for a connection without
    // encryption; empty: the words for an entry of the configuration.
    std::string insecureBindAdvice;
    int timeoutSeconds = 30;
    // Called between the slices (about 100 ms) of every wait for the server,
    // so that a front end can handle its window's events meanwhile; false
    // abandons the request, which then fails as a cancelled one. None: the
    // wait is one piece, up to the timeout.
    std::function<bool()> whileWaiting;
};

// Why a simple bind of this configuration must not go out: its password
// would travel unencrypted to a host other than this machine (with a list,
// to any host of it that is another). Empty when it may.
std::string InsecureBindRefusal(const LdapConnectionConfig& config);

// The attribute whose values an attribute description from a server holds:
// ";binary" says only how the values travel, so "userCertificate;binary" is
// userCertificate. Any other option (a language tag: "cn;lang-de") names
// values of their own, which are no attribute's of the program: empty.
std::string_view AttributeOfDescription(std::string_view description);

// One entry of a search result: its DN and attributes with their values, in
// the order the server sent them. The attributes, the views of their values
// and the text of both lie in one block the entry owns, so an entry costs one
// allocation beside its DN instead of one or two for each value.
class FoundEntry {
public:
    using Values = std::span<const std::string_view>;
    struct Attribute {
        std::string_view name;
        Values values;
    };
    // A name with how many of the values that follow it are its own.
    using Counted = std::pair<std::string_view, size_t>;

    FoundEntry() = default;
    // The entry with copies of these attributes (tests and scripted servers).
    FoundEntry(std::string entryDn,
               const std::vector<std::pair<std::string, std::vector<std::string>>>& attributes);
    FoundEntry(const FoundEntry& other);
    FoundEntry& operator=(const FoundEntry& other);
    FoundEntry(FoundEntry&& other) noexcept;
    FoundEntry& operator=(FoundEntry&& other) noexcept;
    ~FoundEntry() = default;

    std::string dn;
    std::span<const Attribute> Attributes() const { return attributes_; }
    // The values of the attribute of this name (sent with ";binary" or without).
    const Values* Find(std::string_view name) const;
    // Copies in the attributes: each name takes the next of its count of values.
    // An attribute named more than once (case aside) becomes one with all the
    // values of its parts, where it first came.
    void SetAttributes(std::span<const Counted> names, std::span<const std::string_view> values);
    // The attribute at index named again, with these values instead.
    void ReplaceAttribute(size_t index, std::string_view name,
                          const std::vector<std::string>& values);
    // The memory the entry holds: its DN and its attributes with their values.
    size_t Bytes() const { return dn.size() + blockBytes_; }

private:
    std::unique_ptr<std::byte[]> block_;
    size_t blockBytes_ = 0;
    std::span<const Attribute> attributes_;
    Values values_;
};

// One search as it goes to the server, and what the server answers: its
// entries as sent (ranged values still in slices), the LDAP result code with
// the diagnostic message, and the paged-results cookie it returned.
struct SearchRequest {
    std::string base;
    int scope = 0;
    std::string filter;
    std::vector<std::string> attributes;
    int pageSize = 0;  // 0: without the paged-results control
    std::string cookie;
};
struct SearchReply {
    std::vector<FoundEntry> entries;
    int code = 0;
    std::string message;
    std::string matched;  // a failure's matched DN: the part of the base the server found
    std::string cookie;
};
// Sends one search and collects the answer; the result is the client's code
// for a failure to talk at all (the reply's code is the server's answer).
using SearchTransport = std::function<Result(const SearchRequest&, SearchReply&)>;

// How a search page ended, beside its result code.
struct PageEnd {
    std::string cookie;  // empty: nothing is left
    Result limit = 0;    // Err::SizeLimitExceeded or TimeLimitExceeded when the server cut it
    // The server refused the cookie sent: it pages one search per connection,
    // and another paged search has taken the paging over since that page.
    bool cookieRefused = false;
};

// What a failed request's code does not say by itself: the server's own
// words for its refusal, a tree's base that the server does not hold, a
// search refused outright, or a server that did not answer in time. One note
// is shared by the sessions of a client, so that it tells of the last request
// to any of its servers: a request that succeeds clears it, one that fails
// otherwise replaces it.
struct FailureNote {
    enum class Kind { None, ServerSaid, MissingBase, SearchRefused, Unanswered };
    Result code = 0;  // the code the request ended with
    Kind kind = Kind::None;
    // The server's result and message ("Insufficient access: no write
    // access"); the base and server ("the base "o=x" does not exist on
    // ldap://h"); the server's refusal; or how long it was waited for.
    std::string text;
};

class LdapSession {
public:
    explicit LdapSession(LdapConnectionConfig config);
    ~LdapSession();
    LdapSession(const LdapSession&) = delete;
    LdapSession& operator=(const LdapSession&) = delete;

    // Connects and binds when not connected. On failure the diagnostic says why.
    Result Open();
    void Close();
    bool IsOpen() const { return ld_ != nullptr; }
    const std::string& Diagnostic() const { return diagnostic_; }
    const LdapConnectionConfig& Config() const { return config_; }

    // Known after the first successful Open.
    const Name& Base() const { return base_; }
    const std::vector<Name>& NamingContexts() const { return namingContexts_; }
    const std::string& TreeName() const { return treeName_; }
    // Whether the configuration gave the name (else the server or the host did).
    bool TreeNameGiven() const { return !config_.name.empty(); }
    // A name that another tree holds is changed once the sessions are open.
    void RenameTree(std::string name) { treeName_ = std::move(name); }
    const std::string& Identity() const { return identity_; }  // a DN, or empty

    // The server's schema, read once per connection.
    Result Schema(const LdapSchema*& schema);

    // One page of a search. pageSize 0 asks without the paged-results control.
    // cookie is the server's cookie from the last page (empty for the first).
    // A cookie that comes back the same as the one sent is an error: the
    // server would send the same page for ever.
    Result SearchPage(const std::string& base, int scope, const std::string& filter,
                      const std::vector<std::string>& attributes, int pageSize,
                      const std::string& cookie, std::vector<FoundEntry>& entries, PageEnd& end);
    // Sends a search without paging now, whose answer the first SearchPage
    // of the same search collects: the server works on a few such searches
    // while the caller goes through the answers before them. The oldest is
    // given up when more would wait than the server is asked to hold (a
    // server may close a connection with a hundred requests waiting), and
    // all are given up by a change, which may make their answers stale.
    void SendAhead(const std::string& base, int scope, const std::string& filter,
                   const std::vector<std::string>& attributes);
    // The one entry at dn (a base search); values handed out in ranges are read whole.
    Result ReadEntry(const std::string& dn, const std::vector<std::string>& attributes,
                     FoundEntry& entry);

    // Searches go to transport instead of the server (the tests' scripted
    // servers); the session then never connects for them.
    void UseSearchTransport(SearchTransport transport) { transport_ = std::move(transport); }

    // A modification: each item is (operation, attribute, values); permissive
    // makes adding a present value and deleting a missing one no error.
    struct Change {
        int operation = 0;  // LDAP_MOD_ADD, LDAP_MOD_DELETE, LDAP_MOD_REPLACE
        std::string attribute;
        std::vector<std::string> values;
    };
    Result Modify(const std::string& dn, const std::vector<Change>& changes, bool permissive);
    Result Delete(const std::string& dn);

    // LDAP result code (and diagnostic message) to the client's result code.
    // change: the code answers a change (modify, delete), which the bind in
    // use may not make; the bind itself was not refused.
    static Result MapResult(int code, const std::string& message, bool change = false);

    // The matched DN of the last search that failed: how much of its base
    // the server found (an alias on the way stops it there).
    const std::string& MatchedDn() const { return matchedDn_; }

    // Why the last request failed (else code 0). A search refused outright
    // with the code of a limit (slapd's "pagedResults control not allowed"),
    // even with the smallest page, is noted with Err::SizeLimitExceeded
    // although the page returns no failure: no entry came, so nothing was
    // cut short.
    const FailureNote& LastFailure() const { return *note_; }
    // From now on the last failure is noted in note (the client's, shared by
    // its sessions), which must outlive the session.
    void ShareFailureNote(FailureNote& note) { note_ = &note; }

    // Whether the configured base is not there: a read of it that the
    // server answers with no such object (the note says which, and the
    // nearest entry). Other failures say nothing: the next request meets them.
    bool BaseMissing();

    // Whether the last request failed because whileWaiting cancelled it.
    bool Cancelled() const { return cancelled_; }

    // How many requests went to the server (tests and benchmarks look at it).
    uint64_t requests = 0;

private:
    Result Fail(int code, const std::string& message, bool change = false);
    // A failure the server answered with: its code, and its words noted
    // (or, for a search of the tree's base that it does not hold, that).
    Result Refused(int code, const std::string& message, bool change = false,
                   const std::string& searchBase = {}, const std::string& matched = {});
    // Notes how the request ended (a page cut by a limit, with why_ saying
    // it was refused) and returns its result.
    Result Noted(Result result, Result limit = 0);
    // Closes the connection at once (Close waits for the end of a set-up).
    void Disconnect();
    // Open's work: connects, sets up TLS, binds and reads the root DSE.
    Result SetUp();
    // config_.whileWaiting, with what it asks of this session during a
    // set-up refused: the handle is there, but half set up.
    bool WhileWaiting();
    Result Connect();
    // Connects to the first server of the list that takes the connection
    // (TLS made too for ldaps), waiting in slices with whileWaiting.
    Result ConnectOverTcp(bool ldaps, bool startTls);
    // The options every connection is set up with, whatever libldap's
    // defaults of the user or the machine say.
    void Configure();
    // The TLS settings of this connection alone: the certificate check and
    // the authorities, never libldap's defaults of the user or the machine.
    Result SetUpTls();
    Result StartTls();
    // A connection that could not be made (a failed TLS handshake among the
    // reasons when tls), or the set-up's wait that ran out or was given up.
    Result ConnectFailure(const std::string& what, int code, bool tls);
    // "Timed out (no answer within 30 seconds)": a wait that ran out.
    std::string TimedOut() const;
    // "the server did not answer within 30 seconds": the same, as a reason.
    std::string NoAnswer() const;
    Result RefuseInsecureBind();
    Result Bind();
    Result ReadRootDse();
    Result ReadPassword(std::string& password);
    Result CompleteRanges(FoundEntry& entry);
    Result SearchServer(const SearchRequest& request, SearchReply& reply);
    // Waits for the whole answer to the request messageId, in slices with
    // whileWaiting between them, up to the timeout; on a failure the request
    // is abandoned and the result says why. A change (modify, delete) is not
    // given up when whileWaiting says stop: abandoning it would not undo it,
    // and its outcome would be unknown. One that is not answered in time
    // ends with Err::OutcomeUnknown, as the server may have made it.
    Result Await(int messageId, struct ldapmsg*& message, bool change = false);
    // The result of a request that is not a search (bind, modify, delete).
    Result AwaitResult(int messageId, bool withMessage, bool change = false);
    // Sends a search without waiting; an LDAP result code.
    int SendSearch(const SearchRequest& request, int& messageId);
    void DropAhead();
    // Gives up the searches sent ahead without paging: a change may have
    // made their answers stale.
    void DropSentAhead();
    // One search with its result code, limit and cookie judged; ranged values
    // left in their slices.
    Result SearchSlices(const SearchRequest& request, std::vector<FoundEntry>& entries,
                        PageEnd& end);

    LdapConnectionConfig config_;
    struct ldap* ld_ = nullptr;
    // The wait of the connection's set-up (the TCP connection made, the TLS
    // handshake), with the timeout and whileWaiting as any other wait.
    struct SetUpWait;
    std::unique_ptr<SetUpWait> setUpWait_;
    // Counts the connections made: a wait tells by it whether its connection
    // went away while whileWaiting ran.
    uint64_t connection_ = 0;
    bool cancelled_ = false;
    // Why the request under way failed, noted in note_ as it ends.
    FailureNote why_;
    FailureNote ownNote_;
    FailureNote* note_ = &ownNote_;
    // While Open sets a connection up, libldap may be inside a call on the
    // handle when whileWaiting runs: a request made from there is refused,
    // and a Close only asks the set-up to end, as cancelled, and close.
    bool settingUp_ = false;
    bool waitingInSetUp_ = false;
    bool closeWanted_ = false;
    // The authorities the last TLS set-up trusted (the CA file or the
    // system's bundle or folder), named when a handshake fails.
    std::string trusted_;
    std::string matchedDn_;
    std::string diagnostic_;
    Name base_;
    std::vector<Name> namingContexts_;
    std::string treeName_;
    std::string identity_;
    std::string subschemaDn_;
    std::unique_ptr<LdapSchema> schema_;
    SearchTransport transport_;
    // The largest page the server took: a paged search asks for no more.
    int largestPage_ = std::numeric_limits<int>::max();
    // The next page of the last paged search, asked for before it is wanted.
    struct Ahead {
        SearchRequest request;
        int messageId = -1;
        std::chrono::steady_clock::time_point sent{};
    };
    // How many searches sent ahead may wait, and how long an answer may
    // wait for its search.
    static constexpr size_t kMostAhead = 64;
    static constexpr std::chrono::seconds kAheadKept{2};
    // The message of the search sent ahead as request, taken off the list, or -1.
    int TakeSentAhead(const SearchRequest& request);
    std::optional<Ahead> ahead_;
    // Searches without paging sent ahead (SendAhead), oldest first.
    std::deque<Ahead> sentAhead_;
};

}  // namespace vellrun::client::ldap
