// The update check over https against a local TLS server (openssl s_server)
// with a certificate made for the test: trusted, the check goes through;
// not trusted, the request is refused; an https check never goes on over
// plain http.

#include "platform/CurlHttpClient.h"
#include "support/CountingRunFeedback.h"
#include "support/LocalHttpServer.h"
#include "support/ScriptedMessagePort.h"
#include "support/TempDir.h"
#include "update/Tkorvel_module.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vellrun::update {
namespace {

using Kind = testing::ScriptedMessagePort::Kind;

int FreePort() {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);
    return ntohs(address.sin_port);
}

bool Accepts(int port) {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool connected =
        ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return connected;
}

// openssl s_server serving the files of a folder over https on 127.0.0.1:
// with "-WWW" each file is a reply's body, with "-HTTP" a whole raw reply.
class TlsServer {
public:
    explicit TlsServer(const testing::TempDir& folder, const char* mode = "-WWW")
        : port_(FreePort()) {
        const std::string make = "cd '" + folder.Path().string() +
                                 "' && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem "
                                 "-out cert.pem -subj /CN=127.0.0.1 -addext "
                                 "subjectAltName=IP:127.0.0.1 -days 1 >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            if (::chdir(folder.Path().c_str()) != 0) ::_exit(1);
            const std::string accept = "127.0.0.1:" + std::to_string(port_);
            // Between fork and exec only what is safe in a signal handler.
            const int devNull = ::open("/dev/null", O_WRONLY);
            if (devNull < 0 || ::dup2(devNull, STDOUT_FILENO) < 0 ||
                ::dup2(devNull, STDERR_FILENO) < 0)
                ::_exit(1);
            ::execlp("openssl", "openssl", "s_server", "-accept", accept.c_str(), "-cert",
                     "cert.pem", "-key", "key.pem", mode, "-quiet", nullptr);
            ::_exit(1);
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!Accepts(port_) && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~TlsServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    TlsServer(const TlsServer&) = delete;
    TlsServer& operator=(const TlsServer&) = delete;

    bool Running() const { return pid_ > 0 && Accepts(port_); }
    std::string Address() const { return "https://127.0.0.1:" + std::to_string(port_); }

private:
    int port_;
    pid_t pid_ = -1;
};

TEST(UpdateCheckTlsTest, HttpsWorksWithATrustedCertificateAndIsRefusedWithoutOne) {
    testing::TempDir folder{"vellrun-tls"};
    std::filesystem::create_directories(folder / "php");
    testing::WriteFile(folder / "php/fileinfo.php?file=vellrun.zip",
                       "date=2011-02-03\nfile=vellrun.zip\n");
    const TlsServer server(folder);
    ASSERT_TRUE(server.Running()) << "openssl s_server did not start";
    testing::CountingRunFeedback feedback;

    platform::CurlHttpClient trusting;
    trusting.SetCaFile((folder / "cert.pem").string());
    testing::ScriptedMessagePort asked;
    asked.answers = {false};
    Tkorvel_module module(trusting, asked, feedback, server.Address());
    module.checkUpdatesWithPar("vellrun.zip", "2009-10-30");
    ASSERT_EQ(asked.boxes.size(), 1u) << (asked.boxes.empty() ? "" : asked.boxes[0].text);
    EXPECT_EQ(asked.boxes[0].kind, Kind::Question);
    EXPECT_NE(asked.boxes[0].text.find("\"20110203\""), std::string::npos);

    platform::CurlHttpClient system;
    testing::ScriptedMessagePort refused;
    Tkorvel_module strict(system, refused, feedback, server.Address());
    strict.checkUpdatesWithPar("vellrun.zip", "2009-10-30");
    ASSERT_EQ(refused.boxes.size(), 1u);
    EXPECT_EQ(refused.boxes[0].kind, Kind::Error);
    EXPECT_NE(refused.boxes[0].text.find("certificate"), std::string::npos)
        << refused.boxes[0].text;
}

TEST(UpdateCheckTlsTest, AnHttpsCheckNeverGoesOnOverPlainHttp) {
    const std::string page = "/php/fileinfo.php?file=vellrun.zip";
    testing::LocalHttpServer plain;
    plain.Answer(
        page, testing::LocalHttpServer::Response::Text("date=2011-02-03\nfile=vellrun.zip\nurl=" +
                                                       plain.Address() + "/files/vellrun.zip\n"));
    plain.Answer("/files/vellrun.zip", testing::LocalHttpServer::Response::Text("archive"));

    // The https page sends the client on to the same page over plain http.
    testing::TempDir folder{"vellrun-tls"};
    std::filesystem::create_directories(folder / "php");
    testing::WriteFile(folder / page.substr(1),
                       "HTTP/1.0 302 Found\r\nLocation: " + plain.Address() + page +
                           "\r\nContent-Length: 0\r\n\r\n");
    const TlsServer server(folder, "-HTTP");
    ASSERT_TRUE(server.Running()) << "openssl s_server did not start";
    testing::CountingRunFeedback feedback;
    platform::CurlHttpClient http;
    http.SetCaFile((folder / "cert.pem").string());
    testing::ScriptedMessagePort messages;
    messages.answers = {false};
    Tkorvel_module module(http, messages, feedback, server.Address());
    module.checkUpdatesWithPar("vellrun.zip", "2009-10-30");
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].kind, Kind::Error) << messages.boxes[0].text;
    EXPECT_TRUE(plain.Requests().empty());

    // Nor is the archive of an https site taken from a plain http address.
    const auto target = folder / "download/vellrun.zip";
    EXPECT_EQ(module.getCurrentFile(target, plain.Address() + "/files/vellrun.zip"), -1);
    ASSERT_EQ(messages.Texts(Kind::Plain).size(), 1u);
    EXPECT_NE(messages.Texts(Kind::Plain)[0].find("https"), std::string::npos)
        << messages.Texts(Kind::Plain)[0];
    EXPECT_FALSE(std::filesystem::exists(target.parent_path()));
    EXPECT_TRUE(plain.Requests().empty());
}

}  // namespace
}  // namespace vellrun::update
