#include "platform/tls/cert_store.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "platform/system/paths.h"

namespace platform::tls {

void X509Free::operator()(X509* certificate) const {
    X509_free(certificate);
}
void KeyFree::operator()(EVP_PKEY* key) const {
    EVP_PKEY_free(key);
}
void StoreFree::operator()(X509_STORE* store) const {
    X509_STORE_free(store);
}

namespace {

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using BioPtr = std::unique_ptr<BIO, BioFree>;

// A key protected by a passphrase is read without one: no prompt on any terminal.
int NoPassphrase(char*, int, int, void*) {
    return 0;
}

bool ReadFile(const std::string& path, StoredCertificate* entry) {
    BioPtr bio(BIO_new_file(path.c_str(), "r"));
    if (!bio) {
        return false;
    }
    while (X509* certificate = PEM_read_bio_X509(bio.get(), nullptr, NoPassphrase, nullptr)) {
        if (!entry->certificate) {
            entry->certificate.reset(certificate);
        } else {
            entry->chain.emplace_back(certificate);
        }
    }
    ERR_clear_error();
    if (!entry->certificate) {
        return false;
    }
    BIO_reset(bio.get());
    entry->key.reset(PEM_read_bio_PrivateKey(bio.get(), nullptr, NoPassphrase, nullptr));
    if (entry->key && X509_check_private_key(entry->certificate.get(), entry->key.get()) != 1) {
        entry->key.reset();  // a key of another certificate is no key for this one
    }
    // Reading to the end of the file leaves "no start line" behind; the TLS calls that run
    // later on this thread read the queue and must not see it.
    ERR_clear_error();
    entry->file = path;
    return true;
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string EntryText(const X509_NAME* name, int nid) {
    const int index = X509_NAME_get_index_by_NID(name, nid, -1);
    if (index < 0) {
        return {};
    }
    const ASN1_STRING* data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index));
    unsigned char* utf8 = nullptr;
    const int length = ASN1_STRING_to_UTF8(&utf8, data);
    if (length < 0) {
        return {};
    }
    std::string text(reinterpret_cast<const char*>(utf8), static_cast<std::size_t>(length));
    OPENSSL_free(utf8);
    return text;
}

}  // namespace

std::string CertStore::StoreDirectory(const std::string& name) {
    return ConfigDirectory() + "/certs/" + name;
}

CertStore CertStore::Open(const std::string& directory) {
    CertStore store;
    std::error_code ec;
    if (!std::filesystem::is_directory(directory, ec)) {
        return store;
    }
    store.open_ = true;
    std::vector<std::string> files;
    for (const auto& item : std::filesystem::directory_iterator(directory, ec)) {
        if (item.is_regular_file(ec) && item.path().filename().string().front() != '.') {
            files.push_back(item.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) {
        StoredCertificate entry;
        if (ReadFile(file, &entry)) {
            store.certificates_.push_back(std::move(entry));
        }
    }
    return store;
}

const StoredCertificate* CertStore::FindSubject(std::string_view text) const {
    const std::string wanted = Lower(text);
    for (const StoredCertificate& entry : certificates_) {
        if (Lower(SubjectText(entry.certificate.get())).find(wanted) != std::string::npos) {
            return &entry;
        }
    }
    return nullptr;
}

std::string SubjectText(const X509* certificate) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    const unsigned long flags =
        (XN_FLAG_ONELINE & ~XN_FLAG_SPC_EQ & ~ASN1_STRFLGS_ESC_MSB) | ASN1_STRFLGS_UTF8_CONVERT;
    X509_NAME_print_ex(bio.get(), X509_get_subject_name(certificate), 0, flags);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return length > 0 ? std::string(data, static_cast<std::size_t>(length)) : std::string();
}

std::string DisplayName(const X509* certificate) {
    const X509_NAME* name = X509_get_subject_name(certificate);
    for (int nid : {NID_commonName, NID_organizationalUnitName, NID_organizationName,
                    NID_pkcs9_emailAddress}) {
        std::string text = EntryText(name, nid);
        if (!text.empty()) {
            return text;
        }
    }
    return {};
}

TrustStorePtr NewTrustStore(const CertStore& roots) {
    TrustStorePtr store(X509_STORE_new());
    if (!store) {
        return store;
    }
    X509_STORE_set_default_paths(store.get());
    for (const StoredCertificate& entry : roots.Certificates()) {
        X509_STORE_add_cert(store.get(), entry.certificate.get());
    }
    ERR_clear_error();
    return store;
}

}  // namespace platform::tls
