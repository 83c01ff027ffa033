#include "monitor/table/qt/select_column_dlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "monitor/table/columns.h"
#include "monitor/table/port_range.h"

CSelectColumnDlg::CSelectColumnDlg(std::vector<int>& result, platform::PromptService& prompts,
                                   QWidget* parent)
    : QDialog(parent), result_(result), prompts_(prompts) {
    setWindowTitle(QStringLiteral("Add / Remove Columns ..."));
    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (int kind = kPortNameKind + 1; kind < kColumnKindCount; ++kind) {
        const std::string_view name = Column(kind).name;
        list_->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Please select the columns ..."), this));
    layout->addWidget(list_);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSelectColumnDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSelectColumnDlg::reject);
}

void CSelectColumnDlg::accept() {
    result_.clear();
    for (int row = 0; row < list_->count(); ++row) {
        if (list_->item(row)->isSelected()) {
            result_.push_back(row + 1);
        }
    }
    if (result_.empty()) {
        prompts_.MessageBox(kNoColumnSelectedText, kDataErrorCaption, MB_OK | MB_ICONSTOP);
        return;
    }
    QDialog::accept();
}
