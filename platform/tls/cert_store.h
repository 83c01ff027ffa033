#pragma once
// The certificate stores: a store is a directory of PEM files, one certificate per file with
// its private key and, optionally, the certificates of its chain, read in file-name order.
// "MY" (the user's own certificates, for client credentials) and "ROOT" (the user's trust
// anchors) live under certs/ in the configuration directory; the system's CA bundle adds to
// ROOT when a server is verified. Certificates of MY are never trust anchors.

#include <openssl/types.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform::tls {

struct X509Free {
    void operator()(X509* certificate) const;
};
struct KeyFree {
    void operator()(EVP_PKEY* key) const;
};
struct StoreFree {
    void operator()(X509_STORE* store) const;
};
using X509Ptr = std::unique_ptr<X509, X509Free>;
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;
using TrustStorePtr = std::unique_ptr<X509_STORE, StoreFree>;

struct StoredCertificate {
    std::string file;
    X509Ptr certificate;
    // Null when the file holds no key, or only one protected by a passphrase (nobody is asked
    // for it: such a certificate cannot be used as credentials).
    KeyPtr key;
    // The file's other certificates, sent after the certificate as its chain.
    std::vector<X509Ptr> chain;
};

class CertStore {
  public:
    // The directory of a named store ("MY", "ROOT") in the configuration directory.
    static std::string StoreDirectory(const std::string& name);
    // Reads every file of the directory. A missing directory is a store that did not open; a
    // file without a certificate is passed over.
    static CertStore Open(const std::string& directory);
    static CertStore OpenSystemStore(const std::string& name) { return Open(StoreDirectory(name)); }

    bool IsOpen() const { return open_; }
    const std::vector<StoredCertificate>& Certificates() const { return certificates_; }
    // The first certificate whose subject text contains `text`, compared without regard to
    // case; null when none does.
    const StoredCertificate* FindSubject(std::string_view text) const;

  private:
    bool open_ = false;
    std::vector<StoredCertificate> certificates_;
};

// The subject as one line of attributes in certificate order: "CN=name, O=org".
std::string SubjectText(const X509* certificate);
// The name a list shows: the common name, else the first of OU, O and e-mail address.
std::string DisplayName(const X509* certificate);

// The anchors a server's chain may end in: the system's CA bundle and the ROOT store.
TrustStorePtr NewTrustStore(const CertStore& roots);

}  // namespace platform::tls
