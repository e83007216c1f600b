#pragma once

// A throwaway slapd for the live directory tests. Under CTest the fixture
// (tests/ldap/slapd-fixture, FIXTURES_SETUP) has started one and named its
// folder in VELLRUN_TEST_SLAPD_DIR; run by hand, the first test starts one of
// its own under the temporary folder and the process stops it at exit. Tests
// that must kill a server start a private one with Start(). A server started
// here ends with the test process, even one that crashes or is killed.
//
// Every test works in its own subtree (ou=NAME,dc=test), so tests can run
// side by side against one server.

#include "client/ldap/LdapSession.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vellrun::testing {

class TestSlapd {
public:
    // The shared server of this test run.
    static TestSlapd& Shared();
    // A private server in dir, with extra schema files and LDIF loaded before start.
    // suffix replaces dc=test; unchecked loads the LDIF without schema checks;
    // glued names an entry from which a second database holds the entries,
    // glued below the first.
    static std::unique_ptr<TestSlapd> Start(const std::filesystem::path& dir,
                                            const std::vector<std::string>& schemas = {},
                                            const std::vector<std::string>& ldifs = {},
                                            const std::string& suffix = "dc=test",
                                            bool unchecked = false, const std::string& glued = {});
    ~TestSlapd();

    std::string Uri() const;       // ldap://127.0.0.1:PORT
    std::string LdapiUri() const;  // the server's own socket
    std::string LdapsUri() const;  // ldaps://127.0.0.1:PORT, when started with a certificate
    const std::filesystem::path& Dir() const { return dir_; }
    // Stops the server as a crash would (SIGKILL), at once.
    void Kill();
    // Stops the server as a hung one (SIGSTOP): it takes connections and
    // answers nothing until Resume (SIGCONT), or until the server is stopped
    // for good at the end of its test. Returns once every thread of the
    // server has stopped: the signal stops one thread at first, and until
    // it has stopped the others, they may still answer a request; throws
    // when they do not stop within seconds.
    void Pause();
    void Resume();

    // Runs ldapadd/ldapmodify as the manager with this LDIF; throws on failure.
    void Modify(const std::string& ldif, bool add = true) const;
    // Makes an empty ou=name,dc=test, removing any left from an earlier run.
    std::string FreshSubtree(const std::string& name) const;

    // A connection as the manager (simple bind over loopback), base dc=test.
    client::ldap::LdapConnectionConfig ManagerConnection() const;

private:
    TestSlapd(std::filesystem::path dir, bool own);
    std::filesystem::path dir_;
    bool own_ = false;
};

}  // namespace vellrun::testing
