#include "TestSlapd.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vellrun::testing {

namespace {

std::string ReadLine(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

int Run(const std::string& command) {
    return std::system(command.c_str());
}

// The ldap tools of the helpers below, deaf to the ldap.conf, ~/.ldaprc and
// LDAP* variables of whoever runs the tests.
const std::string kTool = "LDAPNOINIT=1 ";

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

}  // namespace

TestSlapd::TestSlapd(std::filesystem::path dir, bool own) : dir_(std::move(dir)), own_(own) {}

TestSlapd::~TestSlapd() {
    if (own_) {
        Resume();  // a server a test left stopped would not stop
        Run(Quote(VELLRUN_SLAPD_FIXTURE) + " stop " + Quote(dir_.string()) + " >/dev/null 2>&1");
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
}

TestSlapd& TestSlapd::Shared() {
    static std::unique_ptr<TestSlapd> shared = [] {
        if (const char* dir = std::getenv("VELLRUN_TEST_SLAPD_DIR");
            dir && std::filesystem::exists(std::filesystem::path(dir) / "uri")) {
            return std::unique_ptr<TestSlapd>(new TestSlapd(dir, false));
        }
        const auto dir = std::filesystem::temp_directory_path() /
                         ("vellrun-slapd-" + std::to_string(::getpid()));
        return Start(dir, {VELLRUN_TEST_LDAP_DIR "/data/test.schema"},
                     {VELLRUN_TEST_LDAP_DIR "/data/base.ldif"});
    }();
    return *shared;
}

std::unique_ptr<TestSlapd> TestSlapd::Start(const std::filesystem::path& dir,
                                            const std::vector<std::string>& schemas,
                                            const std::vector<std::string>& ldifs,
                                            const std::string& suffix, bool unchecked,
                                            const std::string& glued) {
    // The server ends with this process, should it end before the server is stopped.
    std::string command = "SLAPD_WATCH_PID=" + std::to_string(::getpid()) +
                          " SLAPD_SUFFIX=" + Quote(suffix) + " SLAPD_GLUED=" + Quote(glued) +
                          (unchecked ? " SLAPADD_FLAGS=-s " : " ") + Quote(VELLRUN_SLAPD_FIXTURE) +
                          " start " + Quote(dir.string());
    for (const auto& s : schemas)
        command += " " + Quote(s);
    command += " --";
    for (const auto& l : ldifs)
        command += " " + Quote(l);
    if (Run(command + " >&2") != 0) throw std::runtime_error("slapd did not start");
    return std::unique_ptr<TestSlapd>(new TestSlapd(dir, true));
}

std::string TestSlapd::Uri() const {
    return ReadLine(dir_ / "uri");
}

std::string TestSlapd::LdapiUri() const {
    return ReadLine(dir_ / "ldapi-uri");
}

std::string TestSlapd::LdapsUri() const {
    return ReadLine(dir_ / "ldaps-uri");
}

void TestSlapd::Kill() {
    const std::string pid = ReadLine(dir_ / "slapd.pid");
    if (!pid.empty()) ::kill(static_cast<pid_t>(std::stol(pid)), SIGKILL);
}

void TestSlapd::Pause() {
    const std::string pid = ReadLine(dir_ / "slapd.pid");
    if (pid.empty() || ::kill(static_cast<pid_t>(std::stol(pid)), SIGSTOP) != 0)
        throw std::runtime_error("slapd could not be paused");
    // A thread's state is the letter after the parenthesised name in its stat.
    const auto allStopped = [&] {
        std::error_code error;
        for (const auto& task :
             std::filesystem::directory_iterator("/proc/" + pid + "/task", error)) {
            const std::string stat = ReadLine(task.path() / "stat");
            const size_t name = stat.rfind(')');
            if (name == std::string::npos || name + 2 >= stat.size()) return false;
            const char state = stat[name + 2];
            if (state != 'T' && state != 't') return false;
        }
        return !error;
    };
    for (int i = 0; i < 500; ++i) {
        if (allStopped()) return;
        ::usleep(10000);
    }
    throw std::runtime_error("slapd's threads did not stop");
}

void TestSlapd::Resume() {
    const std::string pid = ReadLine(dir_ / "slapd.pid");
    if (!pid.empty()) ::kill(static_cast<pid_t>(std::stol(pid)), SIGCONT);
}

void TestSlapd::Modify(const std::string& ldif, bool add) const {
    const auto file = dir_ / ("change-" + std::to_string(::getpid()) + ".ldif");
    std::ofstream(file) << ldif;
    const std::string command = kTool + (add ? "ldapadd" : "ldapmodify") + " -x -H " +
                                Quote(Uri()) + " -D cn=admin,dc=test -y " +
                                Quote((dir_ / "admin.pw").string()) + " -f " +
                                Quote(file.string()) + " >/dev/null";
    const int status = Run(command);
    std::filesystem::remove(file);
    if (status != 0) throw std::runtime_error("ldap change failed: " + ldif);
}

std::string TestSlapd::FreshSubtree(const std::string& name) const {
    const std::string dn = "ou=" + name + ",dc=test";
    // With ManageDsaIT (-M), or a referral entry below would be answered
    // with its reference instead of being deleted, and the subtree would stay.
    const auto said = dir_ / ("delete-" + std::to_string(::getpid()) + ".txt");
    const int status = Run(kTool + "ldapdelete -x -M -r -H " + Quote(Uri()) +
                           " -D cn=admin,dc=test -y " + Quote((dir_ / "admin.pw").string()) + " " +
                           Quote(dn) + " >" + Quote(said.string()) + " 2>&1");
    std::ifstream in(said);
    const std::string output{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::filesystem::remove(said);
    // Deleted, or not there (noSuchObject, 32) on the first run.
    if (!WIFEXITED(status) || (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 32))
        throw std::runtime_error("the subtree " + dn + " of an earlier run stays: " + output);
    Modify("dn: " + dn + "\nobjectClass: organizationalUnit\nou: " + name + "\n");
    return dn;
}

client::ldap::LdapConnectionConfig TestSlapd::ManagerConnection() const {
    client::ldap::LdapConnectionConfig config;
    config.name = "TEST";
    config.uri = Uri();
    config.base = "dc=test";
    config.bind = client::ldap::BindKind::Simple;
    config.bindDn = "cn=admin,dc=test";
    config.password = "secret";
    return config;
}

}  // namespace vellrun::testing
