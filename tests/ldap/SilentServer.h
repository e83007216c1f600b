#pragma once

// A stand-in LDAP server on 127.0.0.1 at a free port for what slapd will not
// do: it takes connections and never says a word, or answers the first
// requests of each connection with the replies given, one each, as written
// (hand-made BER, faulty on purpose); then it falls silent. It lets the
// connections go after a while, so that a client that does not give up does
// not wait for ever; the destructor stops it.

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace vellrun::testing {

class SilentServer {
public:
    explicit SilentServer(std::vector<std::string> replies = {});
    ~SilentServer();
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    int Port() const { return port_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The BER of a reply: an element of its tag and content, with the length in
// its short or two-byte long form.
std::string Ber(unsigned char tag, const std::string& content);
// An LDAPMessage of this message id and protocol operation.
std::string LdapMessage(int id, const std::string& operation);
// A SearchResultEntry message with the attribute list's content as given.
std::string SearchEntry(int id, const std::string& dn, const std::string& attributes);
// One attribute of an entry's list: its description and the set of its values.
std::string EntryAttribute(const std::string& name, const std::vector<std::string>& values);
// A SearchResultDone message saying success.
std::string SearchDone(int id);

}  // namespace vellrun::testing
