#include "terminal/dialogs/qt/port_settings_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/ui/message_box_types.h"
#include "terminal/config/port_settings_form.h"

namespace {

namespace f = port_settings_field;

constexpr const char* kWarningCaption = "Halvo2 - Warning ...";

template <typename Control>
Control* Named(Control* control, int id) {
    control->setObjectName(QStringLiteral("control_") + QString::number(id));
    return control;
}

std::string FieldOf(const platform::DialogFields& fields, const char* name) {
    const auto found = fields.find(name);
    return found == fields.end() ? std::string() : found->second;
}

// A combo with `list`, showing `text`: a list entry is selected only when it is exactly the
// text (a 50-baud record must not show the entry "500000"); otherwise an editable combo shows
// the text itself and a drop-down list shows nothing.
QComboBox* MakeCombo(QWidget* parent, int id, const std::vector<std::string>& list,
                     const std::string& text, bool editable) {
    auto* combo = Named(new QComboBox(parent), id);
    combo->setEditable(editable);
    combo->setInsertPolicy(QComboBox::NoInsert);
    for (const std::string& entry : list) {
        combo->addItem(QString::fromStdString(entry));
    }
    const auto found = std::find(list.begin(), list.end(), text);
    if (found != list.end()) {
        combo->setCurrentIndex(static_cast<int>(found - list.begin()));
    } else {
        combo->setCurrentIndex(-1);
        if (editable) {
            combo->setEditText(QString::fromStdString(text));
        }
    }
    return combo;
}

}  // namespace

CPortSettingsDlg::CPortSettingsDlg(const platform::DialogFields& fields,
                                   platform::PromptService& prompts, QWidget* parent)
    : QDialog(parent), prompts_(prompts) {
    setWindowTitle(QStringLiteral("Port Settings"));
    struct ComboEntry {
        const char* field;
        int id;
        const char* label;
        const std::vector<std::string>& list;
        bool editable;
    };
    const ComboEntry lineCombos[] = {
        {f::kBaud, IDC_PS_BAUD, "&Baud Rate:", BaudRateList(), true},
        {f::kDataBits, IDC_PS_DATA_BITS, "&Data Bits:", DataBitsList(), true},
        {f::kParity, IDC_PS_PARITY, "P&arity:", ParityList(), true},
        {f::kStopBits, IDC_PS_STOP_BITS, "&Stop Bits:", StopBitsList(), true},
        {f::kFlow, IDC_PS_FLOW, "&Flow Control:", FlowControlList(), true},
    };
    auto* communication = new QGroupBox(QStringLiteral(" Communication Settings "), this);
    auto* lineForm = new QFormLayout(communication);
    for (const ComboEntry& entry : lineCombos) {
        QComboBox* combo =
            MakeCombo(this, entry.id, entry.list, FieldOf(fields, entry.field), entry.editable);
        combos_[entry.field] = combo;
        auto* label = new QLabel(QString::fromLatin1(entry.label), this);
        label->setBuddy(combo);
        lineForm->addRow(label, combo);
    }
    flow_ = combos_.at(f::kFlow);

    auto* receive = new QGroupBox(QStringLiteral("Rec. Flow Control"), this);
    auto* receiveForm = new QFormLayout(receive);
    const ComboEntry modeCombos[] = {
        {f::kRts, IDC_PS_RTS, "&RTS:", RtsControlList(), false},
        {f::kDtr, IDC_PS_DTR, "&DTR:", DtrControlList(), false},
    };
    for (const ComboEntry& entry : modeCombos) {
        QComboBox* combo =
            MakeCombo(this, entry.id, entry.list, FieldOf(fields, entry.field), entry.editable);
        combos_[entry.field] = combo;
        auto* label = new QLabel(QString::fromLatin1(entry.label), this);
        label->setBuddy(combo);
        receiveForm->addRow(label, combo);
    }
    auto makeCheck = [&](const char* field, int id, const char* text, QLayout* layout) {
        auto* check = Named(new QCheckBox(QString::fromLatin1(text), this), id);
        check->setChecked(FieldOf(fields, field) == "1");
        checks_[field] = check;
        layout->addWidget(check);
    };
    makeCheck(f::kReceiveXonXoff, IDC_PS_RECEIVE_XONXOFF, "XON/XOFF", receiveForm);
    auto* send = new QGroupBox(QStringLiteral("Send Flow Control"), this);
    auto* sendLayout = new QVBoxLayout(send);
    makeCheck(f::kCts, IDC_PS_CTS, "CTS", sendLayout);
    makeCheck(f::kDsr, IDC_PS_DSR, "DSR", sendLayout);
    makeCheck(f::kSendXonXoff, IDC_PS_SEND_XONXOFF, "XON/XOFF", sendLayout);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(communication);
    layout->addWidget(receive);
    layout->addWidget(send);
    makeCheck(f::kApplyToAll, IDC_PS_APPLY_TO_ALL, "Apply new settings to all active ports",
              layout);
    // Only a port window's use may apply the result to every port.
    checks_.at(f::kApplyToAll)->setEnabled(FieldOf(fields, f::kFromPort) == "1");
    fromPort_ = FieldOf(fields, f::kFromPort);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Named(buttons->button(QDialogButtonBox::Ok), IDOK);
    Named(buttons->button(QDialogButtonBox::Cancel), IDCANCEL);
    connect(buttons, &QDialogButtonBox::accepted, this, &CPortSettingsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CPortSettingsDlg::reject);
    layout->addWidget(buttons);

    connect(flow_, &QComboBox::currentIndexChanged, this, &CPortSettingsDlg::EnableDetails);
    EnableDetails();
}

void CPortSettingsDlg::EnableDetails() {
    const bool advanced = flow_->currentText() == QString::fromLatin1(kFlowAdvanced);
    for (const char* field : {f::kRts, f::kDtr}) {
        combos_.at(field)->setEnabled(advanced);
    }
    for (const char* field : {f::kReceiveXonXoff, f::kCts, f::kDsr, f::kSendXonXoff}) {
        checks_.at(field)->setEnabled(advanced);
    }
}

platform::DialogFields CPortSettingsDlg::Fields() const {
    platform::DialogFields fields;
    for (const auto& [name, combo] : combos_) {
        fields[name] = combo->currentText().toStdString();
    }
    for (const auto& [name, check] : checks_) {
        fields[name] = std::string(1, check->isChecked() ? '1' : '0');
    }
    fields[f::kFromPort] = fromPort_;
    return fields;
}

void CPortSettingsDlg::accept() {
    PortConfig scratch;
    FillDefaultPortConfig(scratch);
    if (const auto error = ReadPortSettingsFields(Fields(), scratch)) {
        prompts_.MessageBox(error->message, kWarningCaption, MB_OK | MB_ICONEXCLAMATION);
        combos_.at(error->field)->setFocus();
        return;
    }
    QDialog::accept();
}
