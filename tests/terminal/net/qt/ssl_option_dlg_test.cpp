#include "terminal/net/qt/ssl_option_dlg.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <memory>
#include <string>
#include <vector>

#include "platform/tls/cert_store.h"
#include "platform/ui/message_box_types.h"
#include "tests/support/temp_config.h"
#include "tests/support/test_pki.h"

namespace {

class SslOptionDlgTest : public ::testing::Test {
  protected:
    // Puts a certificate with this subject into MY under `file`.
    void AddToMy(const std::string& subject, const std::string& file) {
        const std::string name = "c" + std::to_string(made_++);
        ASSERT_TRUE(pki_.Make(name, CertificateRequest(subject).WithIssuer("")));
        ASSERT_TRUE(TestPki::Install(pki_.Bundle(name),
                                     platform::tls::CertStore::StoreDirectory("MY"), file));
    }
    // Shows a dialog with the two stored texts.
    CSslOptionDlg& Show(const std::string& server, const std::string& client) {
        dialog_ = std::make_unique<CSslOptionDlg>();
        dialog_->serverCertificate = server;
        dialog_->clientCertificate = client;
        dialog_->show();
        return *dialog_;
    }
    template <typename Control>
    Control* Get(int id) {
        auto* control =
            dialog_->findChild<Control*>(QStringLiteral("control_") + QString::number(id));
        EXPECT_NE(control, nullptr) << "control " << id;
        return control;
    }
    std::vector<std::string> Entries() {
        std::vector<std::string> entries;
        auto* combo = Get<QComboBox>(IDC_SSL_CLIENT_CERTIFICATE);
        for (int i = 0; i < combo->count(); ++i) {
            entries.push_back(combo->itemText(i).toStdString());
        }
        return entries;
    }

    TempConfig config_;
    TestPki pki_;
    int made_ = 0;
    std::unique_ptr<CSslOptionDlg> dialog_;
};

TEST_F(SslOptionDlgTest, WithAnEmptyStoreTheListIsEmptyAndOkTakesWhatWasTyped) {
    CSslOptionDlg& dialog = Show("", "");
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Dialog"));
    EXPECT_TRUE(Entries().empty());
    Get<QLineEdit>(IDC_SSL_SERVER_CERTIFICATE)->setText(QStringLiteral("server.example"));
    Get<QComboBox>(IDC_SSL_CLIENT_CERTIFICATE)->setEditText(QStringLiteral("Not In Any Store"));
    Get<QPushButton>(IDOK)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.serverCertificate, "server.example");
    EXPECT_EQ(dialog.clientCertificate, "Not In Any Store");
}

TEST_F(SslOptionDlgTest, TheListShowsOneSortedDisplayNamePerCertificate) {
    AddToMy("/CN=zeta client", "1.pem");
    AddToMy("/O=Org/CN=Alpha Client", "2.pem");
    AddToMy("/CN=alpha client", "3.pem");
    AddToMy("/O=Only Organisation", "4.pem");
    AddToMy("/CN=Alpha Client", "5.pem");
    Show("", "");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"Alpha Client", "alpha client", "Alpha Client",
                                                   "Only Organisation", "zeta client"}));
    EXPECT_EQ(Get<QComboBox>(IDC_SSL_CLIENT_CERTIFICATE)->currentText(), QString())
        << "no stored client text chooses no certificate";
}

TEST_F(SslOptionDlgTest, AStoredTextChoosesTheFirstEntryItBeginsElseStaysAsTyped) {
    AddToMy("/CN=Port Client Two", "1.pem");
    AddToMy("/CN=Port Client", "2.pem");
    struct Row {
        const char* stored;
        const char* shown;
    };
    for (const Row& row :
         {Row{"port", "Port Client"}, Row{"PORT CLIENT T", "Port Client Two"},
          Row{"Client", "Client"}, Row{"Port Client Three", "Port Client Three"}}) {
        SCOPED_TRACE(row.stored);
        CSslOptionDlg& dialog = Show("srv", row.stored);
        EXPECT_EQ(Get<QLineEdit>(IDC_SSL_SERVER_CERTIFICATE)->text(), QStringLiteral("srv"));
        EXPECT_EQ(Get<QComboBox>(IDC_SSL_CLIENT_CERTIFICATE)->currentText().toStdString(),
                  row.shown);
        Get<QPushButton>(IDOK)->click();
        EXPECT_EQ(dialog.clientCertificate, row.shown);
    }
}

TEST_F(SslOptionDlgTest, CancelLeavesBothTextsAsTheyWere) {
    CSslOptionDlg& dialog = Show("kept.example", "kept client");
    Get<QLineEdit>(IDC_SSL_SERVER_CERTIFICATE)->setText(QStringLiteral("changed"));
    Get<QComboBox>(IDC_SSL_CLIENT_CERTIFICATE)->setEditText(QStringLiteral("changed"));
    Get<QPushButton>(IDCANCEL)->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(dialog.serverCertificate, "kept.example");
    EXPECT_EQ(dialog.clientCertificate, "kept client");
}

}  // namespace
