#include "platform/tls/cert_store.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <vector>

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

namespace {

// The file or directory of the system's trust anchors, as the library's default paths name
// them (its environment variables first).
const char* DefaultCertPath(const char* environmentName, const char* builtIn) {
    const char* path = std::getenv(environmentName);
    return path != nullptr ? path : builtIn;
}

// The certificates of the system's bundle file, read once for the process: parsing the whole
// bundle at every set-up cost far more than the handshake itself. They are kept (with their
// references) for the process's life: never destroyed, so that they stay reachable to the end.
const std::vector<X509*>& SystemBundle() {
    static const std::vector<X509*>* certificates = [] {
        auto* list = new std::vector<X509*>();
        TrustStorePtr bundle(X509_STORE_new());
        if (bundle && X509_STORE_load_file(bundle.get(),
                                           DefaultCertPath(X509_get_default_cert_file_env(),
                                                           X509_get_default_cert_file())) == 1) {
            STACK_OF(X509)* all = X509_STORE_get1_all_certs(bundle.get());
            for (int i = 0; i < sk_X509_num(all); ++i) {
                list->push_back(sk_X509_value(all, i));
            }
            sk_X509_free(all);  // the list keeps the references
        }
        ERR_clear_error();
        return list;
    }();
    return *certificates;
}

}  // namespace

TrustStorePtr NewTrustStore(const CertStore& roots) {
    TrustStorePtr store(X509_STORE_new());
    if (!store) {
        return store;
    }
    // The system's anchors: its bundle file, and its hashed directory looked up as needed.
    for (X509* certificate : SystemBundle()) {
        X509_STORE_add_cert(store.get(), certificate);
    }
    if (X509_LOOKUP* directory = X509_STORE_add_lookup(store.get(), X509_LOOKUP_hash_dir())) {
        X509_LOOKUP_add_dir(
            directory,
            DefaultCertPath(X509_get_default_cert_dir_env(), X509_get_default_cert_dir()),
            X509_FILETYPE_PEM);
    }
    for (const StoredCertificate& entry : roots.Certificates()) {
        X509_STORE_add_cert(store.get(), entry.certificate.get());
    }
    ERR_clear_error();
    return store;
}

}  // namespace platform::tls
