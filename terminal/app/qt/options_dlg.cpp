#include "terminal/app/qt/options_dlg.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString ControlName(int id) {
    return QStringLiteral("control_%1").arg(id);
}

QCheckBox* AddCheckBox(QGroupBox* group, int id, const char* text) {
    auto* box = new QCheckBox(QString::fromLatin1(text), group);
    box->setObjectName(ControlName(id));
    group->layout()->addWidget(box);
    return box;
}

QGroupBox* AddGroup(const char* title, QWidget* parent, QBoxLayout* into) {
    auto* group = new QGroupBox(QString::fromLatin1(title), parent);
    group->setLayout(new QVBoxLayout);
    into->addWidget(group);
    return group;
}

QPushButton* AddButton(int id, const char* text, QWidget* parent, QBoxLayout* into) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(ControlName(id));
    into->addWidget(button);
    return button;
}

// A stored value other than 0 or 1 shows as checked; the box gives back 1 or 0.
void Exchange(QCheckBox* box, int& field, bool save) {
    if (save) {
        field = box->isChecked() ? 1 : 0;
    } else {
        box->setChecked(field != 0);
    }
}

}  // namespace

COptionsDlg::COptionsDlg(Preferences& preferences, QWidget* parent)
    : COptionsDlg(preferences, ProcessDisplayFlags(), parent) {}

COptionsDlg::COptionsDlg(Preferences& preferences, DisplayFlags& flags, QWidget* parent)
    : QDialog(parent), preferences_(preferences), flags_(flags) {
    setObjectName(ControlName(kOptionsDialogId));
    setWindowTitle(QStringLiteral("Halvo2 Preferences ..."));

    auto* groups = new QVBoxLayout;
    QGroupBox* general = AddGroup(" General ", this, groups);
    saveSettingsOnExit_ = AddCheckBox(general, kSaveSettingsOnExitId, "Save Settings on Exit");
    openPortDialog_ = AddCheckBox(general, kOpenPortDialogId, "Start with \"Open Port\" dialog");
    confirmationOnExit_ =
        AddCheckBox(general, kConfirmationOnExitId, "Ask for Confirmation on Exit");
    QGroupBox* child = AddGroup(" Child Window ", this, groups);
    childToolbar_ = AddCheckBox(child, kChildToolbarId, "Toolbar");
    childStatusBar_ = AddCheckBox(child, kChildStatusBarId, "Status Bar");
    reportView_ = AddCheckBox(child, kReportViewId, "Set \"Report View\" as default");
    logToFile_ = AddCheckBox(child, kLogToFileId, "Enable \"Log To File\"");
    showCrLf_ = AddCheckBox(child, kShowCrLfId, "Enable \"Show CR/LF\"");

    auto* buttons = new QVBoxLayout;
    QPushButton* ok = AddButton(IDOK, "OK", this, buttons);
    QPushButton* cancel = AddButton(IDCANCEL, "Cancel", this, buttons);
    buttons->addStretch();
    QPushButton* defaults = AddButton(kDefaultSettingsId, "Default Settings", this, buttons);
    ok->setDefault(true);

    auto* layout = new QHBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(groups);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &COptionsDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &COptionsDlg::reject);
    connect(defaults, &QPushButton::clicked, this, &COptionsDlg::OnDefaultSettings);

    fields_.childStatusBar = preferences_.childStatusBar;
    fields_.childToolbar = preferences_.childToolbar;
    fields_.confirmationOnExit = preferences_.confirmationOnExit;
    fields_.openPortDialog = preferences_.openPortDialog;
    fields_.logToFile = flags_.logToFile ? 1 : 0;
    fields_.reportView = preferences_.reportView;
    fields_.saveSettingsOnExit = preferences_.saveSettingsOnExit;
    fields_.showCrLf = flags_.showCrLfBs ? 1 : 0;
    UpdateData(false);
}

COptionsDlg::~COptionsDlg() = default;

void COptionsDlg::UpdateData(bool save) {
    Exchange(childStatusBar_, fields_.childStatusBar, save);
    Exchange(childToolbar_, fields_.childToolbar, save);
    Exchange(confirmationOnExit_, fields_.confirmationOnExit, save);
    Exchange(openPortDialog_, fields_.openPortDialog, save);
    Exchange(logToFile_, fields_.logToFile, save);
    Exchange(reportView_, fields_.reportView, save);
    Exchange(saveSettingsOnExit_, fields_.saveSettingsOnExit, save);
    Exchange(showCrLf_, fields_.showCrLf, save);
}

void COptionsDlg::OnDefaultSettings() {
    fields_ = kDefaultFields;
    UpdateData(false);
}

void COptionsDlg::accept() {
    UpdateData(true);
    preferences_.childStatusBar = fields_.childStatusBar;
    preferences_.childToolbar = fields_.childToolbar;
    preferences_.confirmationOnExit = fields_.confirmationOnExit;
    preferences_.openPortDialog = fields_.openPortDialog;
    flags_.logToFile = fields_.logToFile != 0;
    preferences_.reportView = fields_.reportView;
    preferences_.saveSettingsOnExit = fields_.saveSettingsOnExit;
    flags_.showCrLfBs = fields_.showCrLf != 0;
    QDialog::accept();
}
