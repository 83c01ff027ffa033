#pragma once
// Certificates made for one test with the `openssl` command in a temporary directory (a test
// CA, server and client certificates with chosen names, usages and validity), and an
// `openssl s_server` on 127.0.0.1 started with them: its port, what it printed, and lines
// typed into it (a line of data, or its one-letter commands such as "K" for a key update).

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

struct CertificateRequest {
    explicit CertificateRequest(std::string subjectName) : subject(std::move(subjectName)) {}
    CertificateRequest& WithAltNames(std::string names) {
        altNames = std::move(names);
        return *this;
    }
    CertificateRequest& WithUsage(std::string eku) {
        usage = std::move(eku);
        return *this;
    }
    CertificateRequest& WithDays(int count) {
        days = count;
        return *this;
    }
    CertificateRequest& WithIssuer(std::string ca) {
        issuer = std::move(ca);
        return *this;
    }
    CertificateRequest& WithPassphrase(std::string text) {
        passphrase = std::move(text);
        return *this;
    }

    std::string subject;               // "/CN=localhost"
    std::string altNames;              // "DNS:localhost,IP:127.0.0.1", empty for none
    std::string usage = "serverAuth";  // extended key usage, empty for none
    int days = 30;                     // -1: expired yesterday
    std::string issuer = "ca";         // a CA made by MakeCa, or "" for self-signed
    std::string passphrase;            // the key is protected when not empty
};

class TestPki {
  public:
    TestPki();
    ~TestPki();
    TestPki(const TestPki&) = delete;
    TestPki& operator=(const TestPki&) = delete;

    std::string Dir() const { return dir_; }
    // A CA named `name`: <name>.pem, <name>.key. False when openssl failed.
    bool MakeCa(const std::string& name, const std::string& subject);
    // A certificate `name`: <name>.pem (the certificate), <name>.key (its key) and
    // <name>.bundle.pem (the certificate, its key and the issuer, as a MY store file holds).
    bool Make(const std::string& name, const CertificateRequest& request);
    std::string Cert(const std::string& name) const { return dir_ + "/" + name + ".pem"; }
    std::string Key(const std::string& name) const { return dir_ + "/" + name + ".key"; }
    std::string Bundle(const std::string& name) const { return dir_ + "/" + name + ".bundle.pem"; }

    // Copies a file into a store directory (created when missing) under `fileName`.
    static bool Install(const std::string& from, const std::string& storeDir,
                        const std::string& fileName);

  private:
    std::string dir_;
};

class TlsServer {
  public:
    TlsServer() = default;
    ~TlsServer();
    TlsServer(const TlsServer&) = delete;
    TlsServer& operator=(const TlsServer&) = delete;

    // Starts `openssl s_server` on 127.0.0.1 with the certificate and key and the extra
    // arguments; true once it accepts connections (Port() then says where).
    bool Start(const std::string& cert, const std::string& key,
               const std::vector<std::string>& extra = {});
    int Port() const { return port_; }
    // Everything it printed so far (what it received, its notices).
    std::string Output() const;
    bool WaitForOutput(const std::string& text) const;
    // Types one line into it.
    void Type(const std::string& line);
    void Stop();

  private:
    pid_t pid_ = -1;
    int input_ = -1;
    int port_ = 0;
    std::string outputFile_;
    std::string dir_;
};

// A blocking TCP connection to 127.0.0.1:port; -1 on failure.
int ConnectLocal(int port);
