#include "terminal/dialogs/qt/advanced_settings_dlgs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/ui/message_box_types.h"
#include "platform/ui/qt/qt_prompts.h"
#include "terminal/config/advanced_settings_form.h"
#include "terminal/dialogs/qt/port_settings_dlg.h"

namespace {

constexpr const char* kWarningCaption = "Halvo2 - Warning ...";
const QString kAllOn = QStringLiteral("All On");
const QString kAllOff = QStringLiteral("All Off");

template <typename Control>
Control* Named(Control* control, int id) {
    control->setObjectName(QStringLiteral("control_") + QString::number(id));
    return control;
}

std::string FieldOf(const platform::DialogFields& fields, const char* name) {
    const auto found = fields.find(name);
    return found == fields.end() ? std::string() : found->second;
}

// The event check boxes' ids, in the order of kEventBits.
constexpr int kEventIds[] = {317, 318, 319, 320, 321, 322, 323, 324, 325, 326, 331, 332, 333};
constexpr int IDC_EVENTS_ALL = 335;

}  // namespace

CFieldsDlg::CFieldsDlg(const char* caption, platform::PromptService& prompts, Check check,
                       QWidget* parent)
    : QDialog(parent), prompts_(prompts), check_(std::move(check)) {
    setWindowTitle(QString::fromLatin1(caption));
}

QLineEdit* CFieldsDlg::AddEdit(QFormLayout* form, const platform::DialogFields& fields,
                               const char* name, int id, const char* label) {
    auto* edit = Named(new QLineEdit(QString::fromStdString(FieldOf(fields, name)), this), id);
    form->addRow(QString::fromLatin1(label), edit);
    edits_[name] = edit;
    return edit;
}

QCheckBox* CFieldsDlg::AddCheck(QLayout* layout, const platform::DialogFields& fields,
                                const char* name, int id, const char* text) {
    auto* check = Named(new QCheckBox(QString::fromLatin1(text), this), id);
    check->setChecked(FieldOf(fields, name) == "1");
    layout->addWidget(check);
    checks_[name] = check;
    return check;
}

void CFieldsDlg::AddButtons(QLayout* layout) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Named(buttons->button(QDialogButtonBox::Ok), IDOK);
    Named(buttons->button(QDialogButtonBox::Cancel), IDCANCEL);
    connect(buttons, &QDialogButtonBox::accepted, this, &CFieldsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CFieldsDlg::reject);
    layout->addWidget(buttons);
}

platform::DialogFields CFieldsDlg::Fields() const {
    platform::DialogFields fields;
    for (const auto& [name, edit] : edits_) {
        fields[name] = edit->text().toStdString();
    }
    for (const auto& [name, check] : checks_) {
        fields[name] = std::string(1, check->isChecked() ? '1' : '0');
    }
    return fields;
}

void CFieldsDlg::accept() {
    if (check_) {
        if (const auto error = check_(Fields())) {
            prompts_.MessageBox(error->message, kWarningCaption, MB_OK | MB_ICONEXCLAMATION);
            if (const auto edit = edits_.find(error->field); edit != edits_.end()) {
                edit->second->setFocus();
                edit->second->selectAll();
            }
            return;
        }
    }
    QDialog::accept();
}

CMiscSettingsDlg::CMiscSettingsDlg(const platform::DialogFields& fields,
                                   platform::PromptService& prompts, QWidget* parent)
    : CFieldsDlg(
          "Miscellaneous Settings", prompts,
          [](const platform::DialogFields& values) {
              PortConfig scratch;
              return ReadMiscSettingsFields(values, scratch);
          },
          parent) {
    auto* group = new QGroupBox(QStringLiteral("Misc. Settings"), this);
    auto* form = new QFormLayout(group);
    AddEdit(form, fields, "EofChar", 342, "EofChar:");
    AddEdit(form, fields, "EvtChar", 343, "EvtChar:");
    AddEdit(form, fields, "XonChar", 338, "XonChar:");
    AddEdit(form, fields, "XoffChar", 339, "XoffChar:");
    AddEdit(form, fields, "XonLim", 340, "XonLim:");
    AddEdit(form, fields, "XoffLim", 341, "XoffLim:");
    auto* flags = new QVBoxLayout();
    AddCheck(flags, fields, "fNull", 337, "fNull Strip");
    AddCheck(flags, fields, "fDsrSensitivity", 344, "fDsrSensitivity");
    AddCheck(flags, fields, "fTXContinueOnXoff", 345, "fTXContinueOnXoff");
    AddCheck(flags, fields, "fAbortOnError", 347, "fAbortOnError");
    form->addRow(flags);
    auto* errorRow = new QHBoxLayout();
    QCheckBox* errorCheck = AddCheck(errorRow, fields, "fErrorChar", 346, "fErrorChar:");
    auto* errorChar =
        Named(new QLineEdit(QString::fromStdString(FieldOf(fields, "ErrorChar")), this), 348);
    errorRow->addWidget(errorChar);
    edits_["ErrorChar"] = errorChar;
    form->addRow(errorRow);
    // The replacement character only means something while replacing is on.
    errorChar->setEnabled(errorCheck->isChecked());
    connect(errorCheck, &QCheckBox::toggled, errorChar, &QLineEdit::setEnabled);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    AddButtons(layout);
}

CTimeoutSettingsDlg::CTimeoutSettingsDlg(const platform::DialogFields& fields,
                                         platform::PromptService& prompts, QWidget* parent)
    : CFieldsDlg(
          "Timeout Settings", prompts,
          [](const platform::DialogFields& values) {
              COMMTIMEOUTS scratch;
              return ReadTimeoutSettingsFields(values, scratch);
          },
          parent) {
    auto* group = new QGroupBox(QStringLiteral(" Timeouts "), this);
    auto* form = new QFormLayout(group);
    AddEdit(form, fields, "ReadIntervalTimeout", 312, "Read Interval Timeout:");
    AddEdit(form, fields, "ReadTotalTimeoutMultiplier", 313, "Read Interval Timeout Multiplier:");
    AddEdit(form, fields, "ReadTotalTimeoutConstant", 314, "Read Interval Constant:");
    AddEdit(form, fields, "WriteTotalTimeoutConstant", 315, "Write Interval Timeout:");
    AddEdit(form, fields, "WriteTotalTimeoutMultiplier", 316, "Write Interval Timeout Multiplier:");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    AddButtons(layout);
}

CEventSettingsDlg::CEventSettingsDlg(const platform::DialogFields& fields,
                                     platform::PromptService& prompts, QWidget* parent)
    : CFieldsDlg("Events Setup", prompts, {}, parent) {
    auto* group = new QGroupBox(QStringLiteral("Events"), this);
    auto* grid = new QVBoxLayout(group);
    bool allSet = true;
    for (std::size_t i = 0; i < std::size(kEventBits); ++i) {
        const QCheckBox* check =
            AddCheck(grid, fields, kEventBits[i].name, kEventIds[i], kEventBits[i].name);
        allSet = allSet && check->isChecked();
    }
    all_ = Named(new QPushButton(allSet ? kAllOff : kAllOn, this), IDC_EVENTS_ALL);
    connect(all_, &QPushButton::clicked, this, &CEventSettingsDlg::OnAll);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(all_);
    AddButtons(layout);
}

void CEventSettingsDlg::OnAll() {
    const bool on = all_->text() == kAllOn;
    for (auto& [name, check] : checks_) {
        check->setChecked(on);
    }
    all_->setText(on ? kAllOff : kAllOn);
}

CQSettingsDlg::CQSettingsDlg(const platform::DialogFields& fields, platform::PromptService& prompts,
                             QWidget* parent)
    : CFieldsDlg(
          "Queue Settings", prompts,
          [](const platform::DialogFields& values) {
              COMMPROP scratch;
              return ReadQueueSettingsFields(values, scratch);
          },
          parent) {
    auto* form = new QFormLayout();
    AddEdit(form, fields, queue_settings_field::kTransmit, 361, "Output(tx) Size:");
    AddEdit(form, fields, queue_settings_field::kReceive, 360, "Input(rx) Size:");
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    AddButtons(layout);
}

namespace {

// A factory for a dialog class built from its fields and the service that shows its messages.
template <typename Dialog, typename Read>
platform::QtDialogFactory FactoryOf(platform::PromptService& prompts, Read read) {
    return {[&prompts](const platform::DialogFields& fields, QWidget* parent) {
                return std::unique_ptr<QDialog>(std::make_unique<Dialog>(fields, prompts, parent));
            },
            [read](const QDialog& dialog) { return read(static_cast<const Dialog&>(dialog)); }};
}

}  // namespace

void RegisterSettingsDialogs(platform::QtPrompts& prompts) {
    auto fieldsOf = [](const CFieldsDlg& dialog) { return dialog.Fields(); };
    prompts.RegisterDialog(
        kPortSettingsDialogId,
        FactoryOf<CPortSettingsDlg>(prompts, [](const CPortSettingsDlg& d) { return d.Fields(); }));
    prompts.RegisterDialog(kMiscSettingsDialogId, FactoryOf<CMiscSettingsDlg>(prompts, fieldsOf));
    prompts.RegisterDialog(kTimeoutSettingsDialogId,
                           FactoryOf<CTimeoutSettingsDlg>(prompts, fieldsOf));
    prompts.RegisterDialog(kEventSettingsDialogId, FactoryOf<CEventSettingsDlg>(prompts, fieldsOf));
    prompts.RegisterDialog(kQueueSettingsDialogId, FactoryOf<CQSettingsDlg>(prompts, fieldsOf));
}
