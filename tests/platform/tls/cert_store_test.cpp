// The certificate stores read from PEM files, and the credentials chosen from MY.
#include "platform/tls/cert_store.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/tls/security_context.h"
#include "tests/support/temp_config.h"
#include "tests/support/test_pki.h"

using platform::tls::CertStore;
using platform::tls::Credentials;

namespace {

class CertStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pki_.MakeCa("ca", "/CN=Quenby Test CA"));
        my_ = CertStore::StoreDirectory("MY");
    }
    void AddToMy(const std::string& name, const CertificateRequest& request,
                 const std::string& fileName) {
        ASSERT_TRUE(pki_.Make(name, request));
        ASSERT_TRUE(TestPki::Install(pki_.Bundle(name), my_, fileName));
    }

    TempConfig config_;
    TestPki pki_;
    std::string my_;
};

TEST_F(CertStoreTest, FindsTheFirstFileWhoseSubjectContainsTheTextWhateverItsCase) {
    AddToMy("beta", CertificateRequest("/O=Quenby Labs/CN=Beta Client").WithUsage("clientAuth"),
            "20.pem");
    AddToMy("alpha", CertificateRequest("/CN=Alpha Client").WithUsage("clientAuth"), "10.pem");
    const CertStore store = CertStore::Open(my_);
    ASSERT_TRUE(store.IsOpen());
    ASSERT_EQ(store.Certificates().size(), 2u);

    struct Row {
        const char* text;
        const char* file;  // null: nothing found
    };
    for (const Row& row :
         {Row{"client", "10.pem"}, Row{"BETA", "20.pem"}, Row{"quenby labs", "20.pem"},
          Row{"CN=Alpha", "10.pem"}, Row{"Gamma", nullptr}}) {
        SCOPED_TRACE(row.text);
        const auto* found = store.FindSubject(row.text);
        if (row.file == nullptr) {
            EXPECT_EQ(found, nullptr);
            continue;
        }
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->file, my_ + "/" + row.file);
        EXPECT_TRUE(found->key) << "the bundle's key belongs to its certificate";
        EXPECT_EQ(found->chain.size(), 1u) << "the issuer travels as the chain";
    }
}

TEST_F(CertStoreTest, DisplayNameIsTheCommonNameElseTheFirstOfUnitOrganisationAndMail) {
    struct Row {
        const char* subject;
        const char* display;
    };
    int n = 0;
    for (const Row& row :
         {Row{"/O=Org/OU=Unit/CN=Common", "Common"}, Row{"/O=Org/OU=Unit", "Unit"},
          Row{"/C=DE/O=Org", "Org"}, Row{"/C=DE/emailAddress=me@example.org", "me@example.org"}}) {
        SCOPED_TRACE(row.subject);
        const std::string name = "c" + std::to_string(n++);
        ASSERT_TRUE(pki_.Make(name, CertificateRequest(row.subject)));
        const std::string dir = pki_.Dir() + "/store-" + name;
        ASSERT_TRUE(TestPki::Install(pki_.Cert(name), dir, "only.pem"));
        const CertStore store = CertStore::Open(dir);
        ASSERT_EQ(store.Certificates().size(), 1u);
        EXPECT_EQ(platform::tls::DisplayName(store.Certificates()[0].certificate.get()),
                  row.display);
    }
}

TEST_F(CertStoreTest, CredentialsNeedAStoredCertificateWithAKeyThatOpensWithoutAPassphrase) {
    AddToMy(
        "locked",
        CertificateRequest("/CN=Locked Client").WithUsage("clientAuth").WithPassphrase("secret"),
        "locked.pem");
    AddToMy("open", CertificateRequest("/CN=Open Client").WithUsage("clientAuth"), "open.pem");
    ASSERT_TRUE(TestPki::Install(pki_.Cert("open"), my_, "zz-nokey.pem"));

    struct Row {
        const char* subject;
        SECURITY_STATUS status;
        bool hasCertificate;
    };
    for (const Row& row :
         {Row{"", SEC_E_OK, false}, Row{"Open Client", SEC_E_OK, true},
          Row{"Locked", SEC_E_NO_CREDENTIALS, false}, Row{"Nobody", SEC_E_NO_CREDENTIALS, false}}) {
        SCOPED_TRACE(row.subject);
        std::shared_ptr<Credentials> credentials;
        EXPECT_EQ(Credentials::Acquire(row.subject, true, &credentials), row.status);
        EXPECT_EQ(credentials != nullptr, row.status == SEC_E_OK);
        if (credentials) {
            EXPECT_EQ(credentials->HasClientCertificate(), row.hasCertificate);
        }
    }
}

TEST_F(CertStoreTest, WithoutAStoreOnlyTheCredentialsWithoutACertificateCanBeMade) {
    EXPECT_FALSE(CertStore::OpenSystemStore("MY").IsOpen());
    std::shared_ptr<Credentials> credentials;
    EXPECT_EQ(Credentials::Acquire("anyone", false, &credentials), SEC_E_NO_CREDENTIALS);
    EXPECT_EQ(Credentials::Acquire("", false, &credentials), SEC_E_OK);
}

}  // namespace
