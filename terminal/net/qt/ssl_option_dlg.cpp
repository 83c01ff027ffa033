#include "terminal/net/qt/ssl_option_dlg.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "platform/tls/cert_store.h"
#include "platform/ui/message_box_types.h"

namespace {

QString ControlName(int id) {
    return QStringLiteral("control_%1").arg(id);
}

// The list's buffer holds 127 characters of a display name.
constexpr qsizetype kDisplayNameLength = 127;

// One display name per certificate of MY, in the list's order (without regard to case); an
// unreadable store gives none.
QStringList StoreDisplayNames() {
    QStringList names;
    const platform::tls::CertStore store = platform::tls::CertStore::OpenSystemStore("MY");
    for (const auto& entry : store.Certificates()) {
        const QString name =
            QString::fromStdString(platform::tls::DisplayName(entry.certificate.get()))
                .left(kDisplayNameLength);
        if (!name.isEmpty()) {
            names.append(name);
        }
    }
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return names;
}

}  // namespace

CSslOptionDlg::CSslOptionDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(ControlName(IDD_SSL_OPTION));
    setWindowTitle(QStringLiteral("Dialog"));

    server_ = new QLineEdit(this);
    server_->setObjectName(ControlName(IDC_SSL_SERVER_CERTIFICATE));
    client_ = new QComboBox(this);
    client_->setObjectName(ControlName(IDC_SSL_CLIENT_CERTIFICATE));
    client_->setEditable(true);
    // Typed text is taken as it is, never added to the list.
    client_->setInsertPolicy(QComboBox::NoInsert);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(ControlName(IDOK));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(ControlName(IDCANCEL));
    connect(ok, &QPushButton::clicked, this, &CSslOptionDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CSslOptionDlg::reject);

    auto* fields = new QFormLayout;
    fields->addRow(new QLabel(QStringLiteral("Server Certificate:"), this), server_);
    fields->addRow(new QLabel(QStringLiteral("Client Certificate:"), this), client_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
}

int CSslOptionDlg::exec() {
    InitDialog();
    return QDialog::exec();
}

void CSslOptionDlg::showEvent(QShowEvent* event) {
    InitDialog();
    QDialog::showEvent(event);
}

void CSslOptionDlg::InitDialog() {
    if (initialised_) {
        return;
    }
    initialised_ = true;
    client_->clear();
    client_->addItems(StoreDisplayNames());
    server_->setText(QString::fromStdString(serverCertificate));

    // The first entry that begins with the stored text is chosen; a text that begins no entry
    // stays as it was typed. An empty text chooses nothing: no client certificate stays none.
    const QString stored = QString::fromStdString(clientCertificate);
    int found = -1;
    for (int i = 0; !stored.isEmpty() && i < client_->count() && found < 0; ++i) {
        if (client_->itemText(i).startsWith(stored, Qt::CaseInsensitive)) {
            found = i;
        }
    }
    if (found >= 0) {
        client_->setCurrentIndex(found);
    } else {
        client_->setCurrentIndex(-1);
        client_->setEditText(stored);
    }
}

void CSslOptionDlg::accept() {
    serverCertificate = server_->text().toStdString();
    clientCertificate = client_->currentText().toStdString();
    QDialog::accept();
}
