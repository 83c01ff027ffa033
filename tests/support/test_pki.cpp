#include "tests/support/test_pki.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/wait.h"

namespace {

// Runs one openssl command line (the words are quoted for the shell); true on exit status 0.
bool RunOpenssl(const std::string& dir, const std::vector<std::string>& words) {
    std::string command = "cd '" + dir + "' && openssl";
    for (const std::string& word : words) {
        command += " '" + word + "'";
    }
    command += " >>openssl.log 2>&1 </dev/null";
    return std::system(command.c_str()) == 0;
}

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

TestPki::TestPki() {
    char pattern[] = "/tmp/quenby-pki-XXXXXX";
    dir_ = mkdtemp(pattern);
}

TestPki::~TestPki() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

bool TestPki::MakeCa(const std::string& name, const std::string& subject) {
    return RunOpenssl(dir_, {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                             "-nodes", "-keyout", name + ".key", "-out", name + ".pem", "-days",
                             "30", "-subj", subject, "-addext", "basicConstraints=critical,CA:TRUE",
                             "-addext", "keyUsage=critical,keyCertSign,cRLSign"});
}

bool TestPki::Make(const std::string& name, const CertificateRequest& request) {
    std::vector<std::string> keyWords = {
        "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256",
        "-out",    name + ".key"};
    if (!request.passphrase.empty()) {
        keyWords.insert(keyWords.end(), {"-aes256", "-pass", "pass:" + request.passphrase});
    }
    std::ofstream(dir_ + "/" + name + ".ext")
        << (request.altNames.empty() ? "" : "subjectAltName=" + request.altNames + "\n")
        << (request.usage.empty() ? "" : "extendedKeyUsage=" + request.usage + "\n")
        << "basicConstraints=CA:FALSE\n";
    const std::string pass = "pass:" + request.passphrase;
    std::vector<std::string> csrWords = {"req",   "-new",          "-key", name + ".key",
                                         "-subj", request.subject, "-out", name + ".csr"};
    std::vector<std::string> signWords = {
        "x509",     "-req",        "-in",         name + ".csr",
        "-out",     name + ".pem", "-days",       std::to_string(request.days),
        "-extfile", name + ".ext", "-set_serial", std::to_string(std::rand() % 1000000 + 2)};
    if (!request.passphrase.empty()) {
        csrWords.insert(csrWords.end(), {"-passin", pass});
        signWords.insert(signWords.end(), {"-passin", pass});
    }
    if (request.issuer.empty()) {
        signWords.insert(signWords.end(), {"-key", name + ".key"});
    } else {
        signWords.insert(signWords.end(),
                         {"-CA", request.issuer + ".pem", "-CAkey", request.issuer + ".key"});
    }
    if (!RunOpenssl(dir_, keyWords) || !RunOpenssl(dir_, csrWords) ||
        !RunOpenssl(dir_, signWords)) {
        return false;
    }
    std::ofstream bundle(Bundle(name), std::ios::binary);
    bundle << ReadAll(Cert(name)) << ReadAll(Key(name));
    if (!request.issuer.empty()) {
        bundle << ReadAll(Cert(request.issuer));
    }
    return bundle.good();
}

bool TestPki::Install(const std::string& from, const std::string& storeDir,
                      const std::string& fileName) {
    std::error_code ec;
    std::filesystem::create_directories(storeDir, ec);
    return std::filesystem::copy_file(from, storeDir + "/" + fileName,
                                      std::filesystem::copy_options::overwrite_existing, ec);
}

TlsServer::~TlsServer() {
    Stop();
}

bool TlsServer::Start(const std::string& cert, const std::string& key,
                      const std::vector<std::string>& extra) {
    char pattern[] = "/tmp/quenby-tls-XXXXXX";
    dir_ = mkdtemp(pattern);
    outputFile_ = dir_ + "/output";
    // Unbuffered, so that its notices can be waited for as they happen.
    std::vector<std::string> args = {"stdbuf",      "-o0",   "openssl", "s_server", "-accept",
                                     "127.0.0.1:0", "-cert", cert,      "-key",     key};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return false;
    }
    // Made before the fork: a child of a threaded process may only exec.
    const int out = open(outputFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(pipeEnds[0], 0);
        dup2(out, 1);
        dup2(out, 2);
        execvp("stdbuf", argv.data());
        _exit(127);
    }
    close(pipeEnds[0]);
    close(out);
    input_ = pipeEnds[1];
    const bool up = WaitUntil([&] {
        const std::string text = Output();
        const auto at = text.find("ACCEPT 127.0.0.1:");
        if (at == std::string::npos || text.find('\n', at) == std::string::npos) {
            return false;
        }
        port_ = std::atoi(text.c_str() + at + 17);
        return true;
    });
    return up && port_ > 0;
}

std::string TlsServer::Output() const {
    return ReadAll(outputFile_);
}

bool TlsServer::WaitForOutput(const std::string& text) const {
    return WaitUntil([&] { return Output().find(text) != std::string::npos; });
}

void TlsServer::Type(const std::string& line) {
    const std::string text = line + "\n";
    [[maybe_unused]] const ssize_t written = write(input_, text.data(), text.size());
}

void TlsServer::Stop() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    if (input_ >= 0) {
        close(input_);
        input_ = -1;
    }
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
        dir_.clear();
    }
}

int ConnectLocal(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        return -1;
    }
    return fd;
}
