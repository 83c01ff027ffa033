#include "monitor/app/qt/settings_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace {

QComboBox* EditableCombo(const QStringList& entries, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->addItems(entries);
    // A stored text holds at most 19 characters: longer input would be cut when saved.
    combo->lineEdit()->setMaxLength(static_cast<int>(kMaxSettingText));
    return combo;
}

// The first entry that begins with the stored text, else the stored text itself.
void SelectStored(QComboBox* combo, const std::string& stored) {
    const QString text = QString::fromStdString(stored);
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemText(i).startsWith(text)) {
            combo->setCurrentIndex(i);
            return;
        }
    }
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
}

std::string Text(const QComboBox* combo) {
    return combo->currentText().toStdString();
}

}  // namespace

CSettingsDlg::CSettingsDlg(SeltraSettings& settings, platform::PromptService& prompts,
                           QWidget* parent)
    : QDialog(parent), settings_(settings), prompts_(prompts) {
    setWindowTitle(QStringLiteral("Seltra2 Settings"));
    saveOnExit_ = new QCheckBox(QStringLiteral("Save settings on exit"), this);
    toolbar_ = new QCheckBox(QStringLiteral("Toolbar"), this);
    statusBar_ = new QCheckBox(QStringLiteral("Status Bar"), this);
    confirmation_ = new QCheckBox(QStringLiteral("Ask for confirmation on exit"), this);
    reportType_ =
        EditableCombo({QLatin1String(kFullVersion), QLatin1String(kSelectedVersion)}, this);
    maxBaudrate_ =
        EditableCombo({QStringLiteral("19200"), QStringLiteral("38400"), QStringLiteral("57600"),
                       QStringLiteral("115200"), QStringLiteral("230400"), QStringLiteral("460800"),
                       QStringLiteral("921600")},
                      this);
    QStringList intervals;
    for (int s = 0; s <= 20; ++s) {
        intervals << QString::number(s);
    }
    for (const int s : {25, 30, 35, 40, 45, 50, 55, 60, 90, 120}) {
        intervals << QString::number(s);
    }
    pollInterval_ = EditableCombo(intervals, this);
    asciiCopy_ = new QCheckBox(QStringLiteral("Save an ASCII copy of each report"), this);
    hourly_ = new QCheckBox(QStringLiteral("Create / Update an hourly report"), this);
    daily_ = new QCheckBox(QStringLiteral("Create / Update a daily report"), this);
    custom_ = new QCheckBox(QStringLiteral("Create a report every"), this);
    customInterval_ = new QLineEdit(this);
    customInterval_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    customInterval_->setMaxLength(static_cast<int>(kMaxSettingText));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("ASCII report type :"), reportType_);
    form->addRow(QStringLiteral("Maximum throughput :"), maxBaudrate_);
    form->addRow(QStringLiteral("Polling interval  (sec)  :"), pollInterval_);
    form->addRow(QString(), new QLabel(QStringLiteral("Select \"0\" to turn it off."), this));
    auto* customRow = new QHBoxLayout;
    customRow->addWidget(custom_);
    customRow->addWidget(customInterval_);
    customRow->addWidget(new QLabel(QStringLiteral("minutes."), this));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* defaults =
        buttons->addButton(QStringLiteral("Default Settings"), QDialogButtonBox::ResetRole);

    auto* layout = new QVBoxLayout(this);
    for (QWidget* box : {static_cast<QWidget*>(saveOnExit_), static_cast<QWidget*>(toolbar_),
                         static_cast<QWidget*>(statusBar_), static_cast<QWidget*>(confirmation_)}) {
        layout->addWidget(box);
    }
    layout->addLayout(form);
    layout->addWidget(asciiCopy_);
    layout->addWidget(hourly_);
    layout->addWidget(daily_);
    layout->addLayout(customRow);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &CSettingsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSettingsDlg::reject);
    connect(defaults, &QPushButton::clicked, this, &CSettingsDlg::FillDefaults);
    connect(custom_, &QCheckBox::clicked, this, &CSettingsDlg::OnCustom);
    Show(settings_);
}

void CSettingsDlg::Show(const SeltraSettings& v) {
    saveOnExit_->setChecked(v.saveSettingsOnExit != 0);
    toolbar_->setChecked(v.toolbar != 0);
    statusBar_->setChecked(v.statusBar != 0);
    confirmation_->setChecked(v.confirmationOnExit != 0);
    SelectStored(reportType_, v.asciiReportType);
    SelectStored(maxBaudrate_, v.maximumBaudrate);
    SelectStored(pollInterval_, v.pollingInterval);
    asciiCopy_->setChecked(v.asciiCopy != 0);
    hourly_->setChecked(v.hourlyReport != 0);
    daily_->setChecked(v.dailyReport != 0);
    custom_->setChecked(v.customReport != 0);
    customInterval_->setText(QString::fromStdString(v.customReportInterval));
    OnCustom();
}

void CSettingsDlg::OnCustom() {
    customInterval_->setEnabled(custom_->isChecked());
}

void CSettingsDlg::FillDefaults() {
    Show(SeltraSettings{});
}

void CSettingsDlg::accept() {
    const std::string interval = customInterval_->text().toStdString();
    if (!interval.empty() && interval.front() == '0') {
        prompts_.MessageBox(kInvalidReportIntervalText, kSettingsWarningCaption,
                            MB_OK | MB_ICONSTOP);
        return;
    }
    settings_.saveSettingsOnExit = saveOnExit_->isChecked() ? 1 : 0;
    settings_.toolbar = toolbar_->isChecked() ? 1 : 0;
    settings_.statusBar = statusBar_->isChecked() ? 1 : 0;
    settings_.confirmationOnExit = confirmation_->isChecked() ? 1 : 0;
    settings_.asciiReportType = Text(reportType_);
    settings_.maximumBaudrate = Text(maxBaudrate_);
    settings_.pollingInterval = Text(pollInterval_);
    settings_.asciiCopy = asciiCopy_->isChecked() ? 1 : 0;
    settings_.hourlyReport = hourly_->isChecked() ? 1 : 0;
    settings_.dailyReport = daily_->isChecked() ? 1 : 0;
    settings_.customReport = custom_->isChecked() ? 1 : 0;
    settings_.customReportInterval = interval;
    QDialog::accept();
}
