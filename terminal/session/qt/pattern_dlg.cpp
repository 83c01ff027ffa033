#include "terminal/session/qt/pattern_dlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/ui/prompts.h"

namespace {

QString ToQString(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CPatternDlg::CPatternDlg(const platform::DialogFields& fields, QWidget* parent)
    : QDialog(parent),
      ascii_(new QRadioButton(QStringLiteral("ASCII"))),
      hex_(new QRadioButton(QStringLiteral("HEX"))),
      strings_(new QComboBox),
      save_(new QPushButton(QStringLiteral("Save String in the List"))),
      remove_(new QPushButton(QStringLiteral("Remove String from the List "))) {
    setWindowTitle(QStringLiteral("Send ASCII / HEX String"));
    auto* group = new QGroupBox(QStringLiteral(" String Type : "));
    auto* types = new QHBoxLayout(group);
    types->addWidget(ascii_);
    types->addWidget(hex_);
    const auto type = fields.find("stringType");
    (type != fields.end() && type->second == "0" ? ascii_ : hex_)->setChecked(true);

    strings_->setEditable(true);
    // The list is kept sorted by the saved strings' own rule; typing adds nothing to it.
    strings_->setInsertPolicy(QComboBox::NoInsert);
    FillList();
    const auto text = fields.find("stringText");
    strings_->setEditText(text != fields.end() ? ToQString(text->second) : QString());
    save_->setEnabled(false);
    remove_->setEnabled(false);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* layout = new QGridLayout(this);
    layout->addWidget(group, 0, 0, 1, 2);
    layout->addWidget(new QLabel(QStringLiteral("String :")), 1, 0);
    layout->addWidget(strings_, 1, 1);
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(save_);
    listButtons->addWidget(remove_);
    layout->addLayout(listButtons, 2, 0, 1, 2);
    layout->addWidget(buttons, 3, 0, 1, 2);

    connect(strings_->lineEdit(), &QLineEdit::textEdited, this, &CPatternDlg::OnEdited);
    connect(strings_, &QComboBox::activated, this, &CPatternDlg::OnSelected);
    connect(save_, &QPushButton::clicked, this, &CPatternDlg::OnSave);
    connect(remove_, &QPushButton::clicked, this, &CPatternDlg::OnRemove);
    connect(buttons, &QDialogButtonBox::accepted, this, &CPatternDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CPatternDlg::reject);
}

void CPatternDlg::FillList() {
    list_.Load(SavedStringsPath());
    const QString text = strings_->currentText();
    strings_->clear();
    for (const std::string& entry : list_.Entries()) {
        strings_->addItem(ToQString(entry));
    }
    strings_->setEditText(text);
}

std::string CPatternDlg::Text() const {
    const QByteArray bytes = strings_->currentText().toLatin1();
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

platform::DialogFields CPatternDlg::Fields() const {
    return {{"stringType", ascii_->isChecked() ? "0" : "1"}, {"stringText", Text()}};
}

void CPatternDlg::OnEdited(const QString&) {
    const bool found = list_.FindExact(Text()).has_value();
    save_->setEnabled(!found);
    remove_->setEnabled(found);
}

void CPatternDlg::OnSelected() {
    save_->setEnabled(false);
    remove_->setEnabled(true);
}

bool CPatternDlg::StoreList() {
    if (list_.Store(SavedStringsPath())) {
        return true;
    }
    platform::Prompts().MessageBox(kUnableToOpenFileText + SavedStringsPath(), kStringErrorCaption,
                                   MB_ICONHAND);
    return false;
}

void CPatternDlg::OnSave() {
    const std::string text = Text();
    list_.Add(text);
    // The list shows what this dialog holds, also when the file could not take it.
    const std::vector<std::string> entries = list_.Entries();
    strings_->clear();
    for (const std::string& entry : entries) {
        strings_->addItem(ToQString(entry));
    }
    strings_->setEditText(ToQString(text));
    if (!StoreList()) {
        platform::Prompts().MessageBox(kSaveStringFailedText, kSaveStringFailedCaption,
                                       MB_ICONHAND);
        return;
    }
    save_->setEnabled(false);
    remove_->setEnabled(true);
}

void CPatternDlg::OnRemove() {
    const std::optional<std::size_t> index = list_.FindPrefix(Text());
    if (index) {
        list_.RemoveAt(*index);
        strings_->removeItem(static_cast<int>(*index));
    }
    if (!StoreList()) {
        platform::Prompts().MessageBox(kRemoveStringFailedText, kRemoveStringFailedCaption,
                                       MB_ICONHAND);
        return;
    }
    remove_->setEnabled(false);
}

void CPatternDlg::accept() {
    if (hex_->isChecked() && !ParseHexString(Text())) {
        platform::Prompts().MessageBox(kInvalidHexText, kStringErrorCaption, MB_ICONHAND);
        return;
    }
    QDialog::accept();
}

platform::QtDialogFactory PatternDialogFactory() {
    platform::QtDialogFactory factory;
    factory.build = [](const platform::DialogFields& fields, QWidget* parent) {
        return std::make_unique<CPatternDlg>(fields, parent);
    };
    factory.read = [](const QDialog& dialog) {
        return static_cast<const CPatternDlg&>(dialog).Fields();
    };
    return factory;
}
