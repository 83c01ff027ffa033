#include "terminal/dialogs/qt/open_dlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "platform/ui/message_box_types.h"
#include "terminal/config/port_settings_form.h"
#include "terminal/dialogs/port_range.h"
#include "terminal/dialogs/socket_names.h"
#include "terminal/net/qt/ssl_option_dlg.h"
#include "terminal/session/port_name.h"

namespace {

constexpr bool kPortSettingsAvailable = true;
constexpr bool kSocketsAvailable = true;

template <typename Control>
Control* Named(Control* control, int id) {
    control->setObjectName(QStringLiteral("control_") + QString::number(id));
    return control;
}

std::string TextOf(const QLineEdit* edit) {
    return edit->text().toStdString();
}

}  // namespace

COpenDlg::COpenDlg(std::vector<int>* ports, std::vector<std::string>* socketNames, int* accepted,
                   platform::PromptService& prompts, QWidget* parent)
    : QDialog(parent),
      ports_(ports),
      socketNames_(socketNames),
      accepted_(accepted),
      prompts_(prompts) {
    setWindowTitle(QStringLiteral("Open Ports ..."));

    ok_ = Named(new QPushButton(QStringLiteral("OK"), this), IDOK);
    ok_->setDefault(true);
    cancel_ = Named(new QPushButton(QStringLiteral("Cancel"), this), IDCANCEL);
    settings_ = Named(new QPushButton(QStringLiteral("Settings"), this), IDC_OPEN_SETTINGS);

    selectPorts_ =
        Named(new QRadioButton(QStringLiteral("Select Ports"), this), IDC_OPEN_SELECT_PORTS);
    selectRange_ =
        Named(new QRadioButton(QStringLiteral("Select Range"), this), IDC_OPEN_SELECT_RANGE);
    sockets_ = Named(new QRadioButton(QStringLiteral("TCP/IP Sockets"), this), IDC_OPEN_SOCKETS);
    auto* modes = new QButtonGroup(this);
    modes->addButton(selectPorts_);
    modes->addButton(selectRange_);
    modes->addButton(sockets_);

    // The same 256 names on every machine, whatever devices exist.
    portList_ = Named(new QListWidget(this), IDC_OPEN_PORT_LIST);
    portList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    portList_->setSortingEnabled(false);
    portList_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    for (int n = 1; n <= kOpenDlgSerialNames; ++n)
        portList_->addItem(QStringLiteral("COM") + QString::number(n));

    range_ = Named(new QLineEdit(this), IDC_OPEN_RANGE);
    ipAddressEdit_ = Named(new QLineEdit(this), IDC_OPEN_IP_ADDRESS);
    // The port fields take digits only.
    const auto* digits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    fromPortEdit_ = Named(new QLineEdit(this), IDC_OPEN_FROM_PORT);
    fromPortEdit_->setValidator(digits);
    toPortEdit_ = Named(new QLineEdit(this), IDC_OPEN_TO_PORT);
    toPortEdit_->setValidator(digits);
    secure_ = Named(new QCheckBox(QStringLiteral("Secure Data (SSL)"), this), IDC_OPEN_SECURE);
    certificates_ =
        Named(new QPushButton(QStringLiteral("Certificates"), this), IDC_OPEN_CERTIFICATES);

    auto* socketFields = new QGridLayout;
    const auto addField = [&](int row, const QString& label, QLineEdit* edit) {
        auto* text = new QLabel(label, this);
        text->setBuddy(edit);
        socketFields->addWidget(text, row, 0);
        socketFields->addWidget(edit, row, 1);
    };
    addField(0, QStringLiteral("IP Address"), ipAddressEdit_);
    addField(1, QStringLiteral("From Port"), fromPortEdit_);
    addField(2, QStringLiteral("To Port"), toPortEdit_);
    auto* secureRow = new QHBoxLayout;
    secureRow->addWidget(secure_);
    secureRow->addWidget(certificates_);
    secureRow->addStretch();

    auto* choices = new QVBoxLayout;
    choices->addWidget(selectPorts_);
    choices->addWidget(portList_, 1);
    choices->addWidget(selectRange_);
    choices->addWidget(range_);
    choices->addWidget(new QLabel(QLatin1String(kRangeExampleText), this));
    choices->addWidget(sockets_);
    choices->addLayout(socketFields);
    choices->addLayout(secureRow);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    buttons->addWidget(settings_);
    buttons->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(choices, 1);
    layout->addLayout(buttons);

    connect(ok_, &QPushButton::clicked, this, &COpenDlg::accept);
    connect(cancel_, &QPushButton::clicked, this, &COpenDlg::reject);
    connect(selectPorts_, &QRadioButton::clicked, this, [this] { SwitchTo(Mode::SelectPorts); });
    connect(selectRange_, &QRadioButton::clicked, this, [this] { SwitchTo(Mode::SelectRange); });
    connect(sockets_, &QRadioButton::clicked, this, [this] { SwitchTo(Mode::Sockets); });
    connect(secure_, &QCheckBox::clicked, this, &COpenDlg::OnSecure);
    connect(certificates_, &QPushButton::clicked, this, &COpenDlg::OnCertificates);
    connect(settings_, &QPushButton::clicked, this, &COpenDlg::OnSettings);

    // The template's states: the list in use, everything typed disabled until its mode is on.
    selectPorts_->setChecked(true);
    range_->setEnabled(false);
    ipAddressEdit_->setEnabled(false);
    fromPortEdit_->setEnabled(false);
    toPortEdit_->setEnabled(false);
    secure_->setEnabled(false);
    certificates_->setEnabled(false);
    settings_->setEnabled(kPortSettingsAvailable);
    sockets_->setEnabled(kSocketsAvailable);
}

void COpenDlg::SwitchTo(Mode mode) {
    const bool sockets = mode == Mode::Sockets;
    portList_->setEnabled(mode == Mode::SelectPorts);
    range_->setEnabled(mode == Mode::SelectRange);
    ipAddressEdit_->setEnabled(sockets);
    fromPortEdit_->setEnabled(sockets);
    toPortEdit_->setEnabled(sockets);
    secure_->setEnabled(sockets);
    OnSecure();
    // Sockets have no line settings.
    settings_->setEnabled(kPortSettingsAvailable && !sockets);
    if (mode == Mode::SelectRange)
        range_->setFocus();
    else if (sockets)
        ipAddressEdit_->setFocus();
}

void COpenDlg::OnSecure() {
    certificates_->setEnabled(sockets_->isChecked() && secure_->isChecked());
}

void COpenDlg::OnSettings() {
    // The record is shared with the port threads: the dialog edits a copy, and OK puts the
    // whole record back at once.
    PortConfig config = CopyDefaultPortConfig();
    const platform::DialogAnswer answer =
        prompts_.RunDialog({kPortSettingsDialogId, PortSettingsFields(config, false)});
    if (answer.button != IDOK) {
        return;
    }
    if (const auto error = ReadPortSettingsFields(answer.fields, config)) {
        DataError(error->message.c_str(), settings_);
        return;
    }
    StoreDefaultPortConfig(config);
}

void COpenDlg::OnCertificates() {
    // The choice comes back only with OK; Cancel keeps the texts this dialog had.
    CSslOptionDlg choice(this);
    choice.serverCertificate = serverCertificate_;
    choice.clientCertificate = clientCertificate_;
    if (choice.exec() == QDialog::Accepted) {
        serverCertificate_ = choice.serverCertificate;
        clientCertificate_ = choice.clientCertificate;
    }
}

void COpenDlg::accept() {
    ports_->clear();
    if (selectPorts_->isChecked()) {
        AcceptSelectedPorts();
    } else if (selectRange_->isChecked()) {
        AcceptRange();
    } else if (sockets_->isChecked()) {
        AcceptSockets();
    }
}

void COpenDlg::AcceptSelectedPorts() {
    // Walking the rows gives the selected ones in ascending order, however they were picked.
    for (int row = 0; row < portList_->count(); ++row) {
        const QListWidgetItem* item = portList_->item(row);
        if (item->isSelected())
            ports_->push_back(SerialPortNumber(item->text().toStdString()));
    }
    *accepted_ = 1;
    QDialog::accept();
}

void COpenDlg::AcceptRange() {
    if (!ParseRangeSpec(TextOf(range_), *ports_)) {
        DataError(kInvalidRangeText, range_);
        return;
    }
    *accepted_ = 1;
    QDialog::accept();
}

void COpenDlg::AcceptSockets() {
    ipAddress_ = TextOf(ipAddressEdit_);
    if (!IsValidSocketIp(ipAddress_)) {
        DataError(kInvalidSocketIpText, ipAddressEdit_);
        return;
    }
    fromPort_ = TextOf(fromPortEdit_);
    if (fromPort_.empty()) {
        DataError(kSocketPortNullText, fromPortEdit_);
        return;
    }
    toPort_ = TextOf(toPortEdit_);
    if (!SocketPortRun(fromPort_, toPort_, *ports_)) {
        // Only the limits of a run refuse two digit fields.
        DataError(kInvalidRangeText, toPort_.empty() ? fromPortEdit_ : toPortEdit_);
        return;
    }
    if (toPort_.empty())
        toPortEdit_->setText(QString::fromStdString(fromPort_));

    // The box is read now, not when it was clicked.
    const std::vector<std::string> names = BuildSocketPortNames(
        ipAddress_, *ports_, secure_->isChecked(), clientCertificate_, serverCertificate_);
    socketNames_->insert(socketNames_->end(), names.begin(), names.end());
    socketMode_ = 1;
    *accepted_ = 1;
    QDialog::accept();
}

void COpenDlg::DataError(const char* text, QWidget* faulty) {
    prompts_.MessageBox(text, kDataErrorCaption, MB_OK | MB_ICONHAND);
    faulty->setFocus();
}
