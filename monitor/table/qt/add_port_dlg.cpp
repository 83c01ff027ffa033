#include "monitor/table/qt/add_port_dlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QVBoxLayout>

#include "monitor/table/port_range.h"

CAddPortDlg::CAddPortDlg(std::vector<int>& result, platform::PromptService& prompts,
                         QWidget* parent)
    : QDialog(parent), result_(result), prompts_(prompts) {
    setWindowTitle(QStringLiteral("Add Ports ..."));
    ports_ = new QRadioButton(QStringLiteral("Ports"), this);
    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (int n = 1; n <= kListedPorts; ++n) {
        list_->addItem(QStringLiteral("COM%1").arg(n));
    }
    range_ = new QRadioButton(QStringLiteral("Range"), this);
    rangeText_ = new QLineEdit(this);
    driver_ = new QRadioButton(QStringLiteral("Driver"), this);
    hubline_ = new QCheckBox(QStringLiteral("HUBLINE / NDX-RX"), this);
    talon_ = new QCheckBox(QStringLiteral("TALONCARD / TALONMODEM"), this);
    zenith_ = new QCheckBox(QStringLiteral("TALONCARD ZENITH / SWIFT"), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* layout = new QGridLayout(this);
    layout->addWidget(ports_, 0, 0);
    layout->addWidget(list_, 1, 0, 6, 1);
    layout->addWidget(range_, 0, 1);
    layout->addWidget(rangeText_, 1, 1);
    layout->addWidget(new QLabel(QStringLiteral("For example: 3-15,21,45,51-56,74"), this), 2, 1);
    layout->addWidget(driver_, 3, 1);
    layout->addWidget(hubline_, 4, 1);
    layout->addWidget(talon_, 5, 1);
    layout->addWidget(zenith_, 6, 1);
    layout->addWidget(buttons, 7, 0, 1, 2);

    connect(buttons, &QDialogButtonBox::accepted, this, &CAddPortDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CAddPortDlg::reject);
    for (QRadioButton* mode : {ports_, range_, driver_}) {
        connect(mode, &QRadioButton::clicked, this, &CAddPortDlg::OnMode);
    }
    ports_->setChecked(true);
    OnMode();
}

void CAddPortDlg::OnMode() {
    const bool ports = ports_->isChecked();
    const bool range = range_->isChecked();
    const bool driver = driver_->isChecked();
    list_->setEnabled(ports);
    rangeText_->setEnabled(range);
    hubline_->setEnabled(driver);
    talon_->setEnabled(driver);
    zenith_->setEnabled(driver);
    if (ports) {
        list_->setFocus();
    } else if (range) {
        rangeText_->setFocus();
    } else {
        hubline_->setFocus();
    }
}

bool CAddPortDlg::AcceptPorts() {
    for (int row = 0; row < list_->count(); ++row) {
        if (list_->item(row)->isSelected()) {
            result_.push_back(list_->item(row)->text().remove(QStringLiteral("COM")).toInt());
        }
    }
    if (result_.empty()) {
        prompts_.MessageBox(kNoPortSelectedText, kDataErrorCaption, MB_OK | MB_ICONSTOP);
        return false;
    }
    return true;
}

bool CAddPortDlg::AcceptRange() {
    const PortRangeResult parsed = ParsePortRange(rangeText_->text().toStdString());
    for (const std::uint32_t n : parsed.numbers) {
        result_.push_back(static_cast<int>(n));
    }
    if (!parsed.valid) {
        prompts_.MessageBox(kInvalidRangeText, kDataErrorCaption, MB_OK | MB_ICONSTOP);
        return false;
    }
    return true;
}

bool CAddPortDlg::AcceptDrivers() {
    if (zenith_->isChecked()) {
        result_.push_back(kZenithDriverCode);
    }
    if (hubline_->isChecked()) {
        result_.push_back(kHublineDriverCode);
    }
    if (talon_->isChecked()) {
        result_.push_back(kTalonDriverCode);
    }
    if (result_.empty()) {
        prompts_.MessageBox(kNoDriverSelectedText, kDataErrorCaption, MB_OK | MB_ICONSTOP);
        return false;
    }
    return true;
}

void CAddPortDlg::accept() {
    result_.clear();
    bool ok = false;
    if (ports_->isChecked()) {
        ok = AcceptPorts();
    } else if (range_->isChecked()) {
        ok = AcceptRange();
    } else {
        ok = AcceptDrivers();
    }
    if (ok) {
        QDialog::accept();
    }
}
