// Making a connection: TLS that trusts only what the connection names,
// whatever the user's libldap defaults say, and the set-up of a connection
// (the host name's lookup, the TLS handshake, StartTLS, a SASL bind) waiting
// as any request does: within the timeout, and given up through whileWaiting.

#include "SilentServer.h"
#include "TestSlapd.h"
#include "client/ResultCodes.h"
#include "client/ldap/LdapSession.h"
#include "client/ldap/TcpConnect.h"
#include "support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vellrun::client::ldap {
namespace {

using testing::SilentServer;
using testing::TestSlapd;

std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A certificate authority, a server certificate for 127.0.0.1 that it
// signed, and another authority that signed nothing of the server's.
struct Pki {
    explicit Pki(const std::filesystem::path& dir)
        : ca(dir / "ca.pem"),
          other(dir / "other-ca.pem"),
          cert(dir / "server.pem"),
          key(dir / "server.key") {
        const std::string d = "'" + dir.string() + "/";
        std::ofstream(dir / "san.ext") << "subjectAltName=IP:127.0.0.1\n";
        const std::string make =
            "cd " + d +
            "' && openssl req -x509 -newkey rsa:2048 -nodes -days 2 "
            "-subj /CN=Test-CA -keyout ca.key -out ca.pem && "
            "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Other-CA "
            "-keyout other-ca.key -out other-ca.pem && "
            "openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout server.key "
            "-out server.csr && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key "
            "-CAcreateserial -days 2 -extfile san.ext -out server.pem";
        ok = std::system(("(" + make + ") >/dev/null 2>&1").c_str()) == 0;
    }
    std::filesystem::path ca, other, cert, key;
    bool ok = false;
};

// A server whose queue of connections not yet taken is full: the system
// drops each further connection request, as a firewall or a machine that is
// down does, and a connection to it stays in the making.
class FullServer {
public:
    FullServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(listener_, 0) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
        for (int i = 0; i < 3; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            [[maybe_unused]] const int started =
                ::connect(fd, reinterpret_cast<sockaddr*>(&address), size);
            pollfd made{fd, POLLOUT, 0};
            if (i == 0) ::poll(&made, 1, 1000);
            held_.push_back(fd);
        }
    }
    ~FullServer() {
        for (const int fd : held_)
            ::close(fd);
        ::close(listener_);
    }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    int listener_ = -1;
    int port_ = 0;
    std::vector<int> held_;
};

// libldap takes its defaults from the environment and ~/.ldaprc once per
// process: each case is a run of the console program of its own, told to
// trust any certificate and the right authority by both. Only the
// connection's own caFile counts.
TEST(LdapTls, OnlyTheConnectionsCaFileAndCheckDecideTheTrust) {
    testing::TempDir dir;
    Pki pki(dir.Path());
    ASSERT_TRUE(pki.ok) << "openssl could not make the certificates";
    ::setenv("SLAPD_TLS_CERT", pki.cert.c_str(), 1);
    ::setenv("SLAPD_TLS_KEY", pki.key.c_str(), 1);
    auto slapd = TestSlapd::Start(dir / "slapd", {VELLRUN_TEST_LDAP_DIR "/data/test.schema"},
                                  {VELLRUN_TEST_LDAP_DIR "/data/base.ldif"});
    ::unsetenv("SLAPD_TLS_CERT");
    ::unsetenv("SLAPD_TLS_KEY");
    std::filesystem::create_directories(dir / "home");
    std::ofstream(dir / "home" / ".ldaprc")
        << "TLS_REQCERT never\nTLS_CACERT " << pki.ca.string() << "\n";
    std::ofstream(dir / "garbage.pem") << "not a certificate\n";

    struct Case {
        std::string uri;
        std::string caFile;
        int status;
        std::vector<std::string> said;
    };
    const std::string missing = (dir / "no-such-ca.pem").string();
    const std::string garbage = (dir / "garbage.pem").string();
    const std::string refused = "certificate may have been refused";
    const std::string startTls = "\", \"tls\": \"starttls";
    // The bundle of the systems the tests run on; another system names its own.
    const std::string systemBundle =
        std::filesystem::is_regular_file("/etc/ssl/certs/ca-certificates.crt")
            ? "that /etc/ssl/certs/ca-certificates.crt does not hold"
            : "does not hold";
    const Case cases[] = {
        {slapd->LdapsUri(), missing, 1, {missing}},
        {slapd->LdapsUri(), garbage, 1, {garbage}},
        {slapd->Uri() + startTls, missing, 1, {missing}},
        {slapd->LdapsUri(), pki.other.string(), 1, {"Can't contact LDAP server", refused}},
        {slapd->Uri() + startTls, pki.other.string(), 1, {"StartTLS failed", refused}},
        {slapd->LdapsUri(), pki.ca.string(), 0, {}},
        {slapd->Uri() + startTls, pki.ca.string(), 0, {}},
        // Without a CA file the system's authorities, which do not know the
        // test's: refused, whatever the defaults trust.
        {slapd->LdapsUri(), "", 1, {refused, systemBundle}},
        {slapd->Uri() + startTls, "", 1, {refused, systemBundle}},
    };
    // A connection of the configuration, then the same as a run of -H.
    const std::string defaults =
        "cd '" + dir.Path().string() + "' && env HOME='" + (dir / "home").string() +
        "' LDAPTLS_REQCERT=never LDAPTLS_CACERT='" + pki.ca.string() + "' ";
    for (const Case& c : cases) {
        std::ofstream(dir / "connections.json")
            << R"({"connections": [{"uri": ")" << c.uri << R"(", "name": "TLS", "base": )"
            << R"("dc=test", "caFile": ")" << c.caFile << R"("}]})";
        const std::string command = defaults +
                                    "VELLRUN_CONNECTIONS=connections.json '" VELLRUN_CLI_PATH
                                    "' trees >out 2>err";
        const int status = std::system(command.c_str());
        const std::string err = Read(dir / "err");
        SCOPED_TRACE(c.uri + " with " + c.caFile);
        ASSERT_TRUE(WIFEXITED(status)) << err;
        EXPECT_EQ(WEXITSTATUS(status), c.status) << err;
        for (const std::string& words : c.said)
            EXPECT_NE(err.find(words), std::string::npos) << err;
        EXPECT_EQ(err.find("unknown error code"), std::string::npos) << err;
        EXPECT_EQ(err.find("(("), std::string::npos) << err;
        if (c.status == 0) {
            EXPECT_EQ(Read(dir / "out"), "TLS\n");
        }
    }
    for (const std::string& uri : {slapd->LdapsUri(), slapd->Uri()}) {
        const std::string server =
            "'" VELLRUN_CLI_PATH "' -H '" + uri + "'" + (uri == slapd->Uri() ? " -Z" : "");
        SCOPED_TRACE(server);
        EXPECT_EQ(std::system((defaults + server + " trees >out 2>err").c_str()), 1 << 8);
        EXPECT_NE(Read(dir / "err").find(systemBundle), std::string::npos) << Read(dir / "err");
        EXPECT_EQ(
            std::system((defaults + server + " --cafile '" + pki.ca.string() + "' trees >out 2>err")
                            .c_str()),
            0)
            << Read(dir / "err");
        EXPECT_EQ(Read(dir / "out"), "127.0.0.1\n");
    }
}

// A server that takes the connection and never answers: the TLS handshake of
// ldaps://, StartTLS and a SASL EXTERNAL bind each end at the timeout, and
// are given up, quietly, when whileWaiting says so. So does a connection
// that is never taken.
TEST(LdapTls, TheSetUpOfAConnectionEndsInTimeOrWhenGivenUp) {
    SilentServer silent;
    FullServer full;
    LdapConnectionConfig ldaps;
    ldaps.uri = "ldaps://" + silent.Address();
    ldaps.base = "dc=test";
    LdapConnectionConfig startTls = ldaps;
    startTls.uri = "ldap://" + silent.Address();
    startTls.tls = TlsKind::StartTls;
    LdapConnectionConfig external = startTls;
    external.tls = TlsKind::None;
    external.bind = BindKind::External;
    LdapConnectionConfig dropped;
    dropped.uri = "ldap://" + full.Address();
    dropped.base = "dc=test";
    for (LdapConnectionConfig config : {ldaps, startTls, external, dropped}) {
        SCOPED_TRACE(config.uri + (config.tls == TlsKind::StartTls ? " StartTLS" : ""));
        config.timeoutSeconds = 1;
        {
            LdapSession session(config);
            EXPECT_EQ(session.Open(), Err::TransportFailure);
            EXPECT_FALSE(session.Cancelled());
            EXPECT_NE(session.Diagnostic().find("Timed out (no answer within 1 second)"),
                      std::string::npos)
                << session.Diagnostic();
        }
        config.timeoutSeconds = 30;
        int calls = 0;
        config.whileWaiting = [&calls] { return ++calls < 3; };
        LdapSession session(config);
        EXPECT_EQ(session.Open(), Err::TransportFailure);
        EXPECT_EQ(calls, 3);
        EXPECT_TRUE(session.Cancelled()) << session.Diagnostic();
        EXPECT_FALSE(session.IsOpen());

        // What whileWaiting does meanwhile: a request of its own is refused
        // without a word to the server, as the handle is only half set up,
        // and a close ends the set-up as cancelled.
        LdapSession* self = nullptr;
        Result during = 0;
        uint64_t sent = 0;
        calls = 0;
        config.whileWaiting = [&self, &calls, &during, &sent] {
            if (++calls == 1) {
                const uint64_t before = self->requests;
                FoundEntry root;
                during = self->ReadEntry("", {"namingContexts"}, root);
                sent = self->requests - before;
            } else {
                self->Close();
            }
            return true;
        };
        LdapSession closed(config);
        self = &closed;
        EXPECT_EQ(closed.Open(), Err::TransportFailure);
        EXPECT_EQ(calls, 2);
        EXPECT_EQ(during, Err::TransportFailure);
        EXPECT_EQ(sent, 0u);
        EXPECT_TRUE(closed.Cancelled()) << closed.Diagnostic();
        EXPECT_FALSE(closed.IsOpen());
    }
}

// A host name whose lookup does not end (a name service that does not
// answer) holds the connection only as long as the wait for it goes on: the
// wait ends, given up or timed out, while the lookup still hangs, and the
// lookup frees all it has and finds once it ends by itself. A name that is
// found connects as before; an address written out is not looked up at all.
TEST(LdapTls, AHostNameLookupIsWaitedForAsAnyRequest) {
    struct Gate {
        std::mutex mutex;
        std::condition_variable opened;
        std::condition_variable counted;
        bool open = false;
        int calls = 0;
    };
    const auto gate = std::make_shared<Gate>();
    // Each stand-in holds a token of its own: it is freed with the lookup.
    std::vector<std::weak_ptr<int>> tokens;
    const auto hanging = [&gate, &tokens] {
        const auto token = std::make_shared<int>();
        tokens.push_back(token);
        return [gate, token](const char*, const char* service, const addrinfo* hints,
                             addrinfo** found) {
            std::unique_lock lock(gate->mutex);
            ++gate->calls;
            gate->counted.notify_all();
            gate->opened.wait(lock, [&gate] { return gate->open; });
            return ::getaddrinfo("127.0.0.1", service, hints, found);
        };
    };
    // Waits in slices of 20 ms, and ends as end after the last of them.
    int slices = 0;
    const auto waiting = [&slices](SocketWait end, int last = 3) {
        slices = 0;
        return [&slices, end, last](int fd, short events) {
            for (;;) {
                pollfd socket{fd, events, 0};
                if (::poll(&socket, 1, 20) > 0) return SocketWait::Ready;
                if (++slices == last) return end;
            }
        };
    };
    for (const SocketWait end : {SocketWait::GivenUp, SocketWait::TimedOut}) {
        std::string error;
        EXPECT_EQ(LookUpHost("directory.example", 389, waiting(end), error, hanging()), nullptr);
        EXPECT_EQ(slices, 3);
        EXPECT_FALSE(error.empty());
    }
    {
        // Both lookups began (on a busy machine their threads may start late).
        std::unique_lock lock(gate->mutex);
        EXPECT_TRUE(gate->counted.wait_for(lock, std::chrono::seconds(20),
                                           [&gate] { return gate->calls == 2; }));
        EXPECT_FALSE(gate->open);  // both returned while their lookups hung
        gate->open = true;
    }
    gate->opened.notify_all();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    const auto freed = [&tokens] {
        return std::all_of(tokens.begin(), tokens.end(), [](const auto& t) { return t.expired(); });
    };
    while (!freed() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(freed());

    // The gate open, a name is found through the stand-in and connected to.
    const AwaitSocket patient = waiting(SocketWait::GivenUp, 1000);
    SilentServer server;
    std::string error;
    const Addresses found =
        LookUpHost("directory.example", server.Port(), patient, error, hanging());
    ASSERT_NE(found, nullptr) << error;
    const int fd = ConnectTcp(found.get(), patient, error);
    EXPECT_GE(fd, 0) << error;
    if (fd >= 0) ::close(fd);
    EXPECT_EQ(gate->calls, 3);
    for (const std::string address : {"127.0.0.1", "::1"}) {
        EXPECT_NE(LookUpHost(address, 389, patient, error, hanging()), nullptr);
    }
    EXPECT_EQ(gate->calls, 3);
    const auto unknown = [](const char*, const char*, const addrinfo*, addrinfo**) {
        return EAI_NONAME;
    };
    EXPECT_EQ(LookUpHost("directory.example", 389, patient, error, unknown), nullptr);
    EXPECT_EQ(error, ::gai_strerror(EAI_NONAME));
}

// A server's reason keeps its own brackets: only a pair that encloses it
// whole is not written twice.
TEST(LdapTls, AServersReasonKeepsItsBrackets) {
    // Message 1, the answer to StartTLS: protocolError, "(a) and (b)".
    const std::string message = "(a) and (b)";
    std::string reply = {0x30, 0x17, 0x02, 0x01, 0x01, 0x78, 0x12,
                         0x0a, 0x01, 0x02, 0x04, 0x00, 0x04, static_cast<char>(message.size())};
    reply += message;
    SilentServer server({reply});
    LdapConnectionConfig config;
    config.uri = "ldap://" + server.Address();
    config.tls = TlsKind::StartTls;
    LdapSession session(config);
    EXPECT_EQ(session.Open(), Err::TransportFailure);
    EXPECT_NE(session.Diagnostic().find("StartTLS failed: Protocol error ((a) and (b))"),
              std::string::npos)
        << session.Diagnostic();
}

}  // namespace
}  // namespace vellrun::client::ldap
