#include "monitor/app/qt/seltra_view.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMenu>
#include <QPointer>
#include <QToolTip>
#include <algorithm>

#include "monitor/app/qt/help_file.h"
#include "monitor/drivers/driver_messages.h"
#include "monitor/reports/convert.h"
#include "monitor/reports/report_messages.h"
#include "monitor/reports/text_copy.h"
#include "monitor/resources/seltra_resources.h"
#include "monitor/stats/monitor_messages.h"
#include "monitor/table/print_lines.h"
#include "monitor/table/qt/add_port_dlg.h"
#include "monitor/table/qt/port_cell_delegate.h"
#include "monitor/table/qt/port_table_model.h"
#include "monitor/table/qt/select_column_dlg.h"
#include "monitor/table/qt/table_printer.h"
#include "monitor/table/reset_statistics.h"

namespace {

const char* UnableText(SourceFamily family) {
    switch (family) {
        case SourceFamily::Hubline:
            return kUnableHublineText;
        case SourceFamily::Talon:
            return kUnableTalonText;
        case SourceFamily::Zenith:
            return kUnableZenithText;
    }
    return kUnableHublineText;
}

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CSeltraView::CSeltraView(SeltraSettings& settings, platform::PromptService& prompts, QObject* frame,
                         DeviceControl& device, const DevicePaths* paths, QWidget* parent)
    : QTableView(parent),
      settings_(settings),
      prompts_(prompts),
      frame_(frame),
      reportBoxes_(prompts),
      reports_(std::make_unique<ReportWriter>(table_, reportBoxes_)) {
    const DevicePaths chosen = paths ? *paths : ChooseDevicePaths(HostDevicePathQueries());
    sources_ = std::make_unique<CounterSources>(*this, chosen, device);
    session_ = std::make_unique<Session>(table_, *this, prompts_);
    model_ = std::make_unique<PortTableModel>(table_);
    setModel(model_.get());
    delegate_ = new PortCellDelegate(this);
    setItemDelegate(delegate_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    verticalHeader()->hide();
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(horizontalHeader(), &QHeaderView::customContextMenuRequested, this,
            &CSeltraView::ShowHeaderMenu);
    connect(model_.get(), &PortTableModel::ColumnsRebuilt, this, &CSeltraView::ApplyColumnWidths);
    connect(&timer_, &QTimer::timeout, this, &CSeltraView::PollTick);
}

CSeltraView::~CSeltraView() {
    setModel(nullptr);
}

void CSeltraView::InitialUpdate(const std::string& commandLine) {
    sources_->Start();
    const MonitorCommandLine parsed = ParseMonitorCommandLine(commandLine);
    switch (parsed.kind) {
        case CommandLineKind::Empty:
            // Missing or damaged, the default session is left out without a word.
            session_->ReadSession(DefaultSessionPath());
            break;
        case CommandLineKind::Switches:
            if (parsed.hubline) {
                AddFamily(SourceFamily::Hubline);
            }
            if (parsed.talon) {
                AddFamily(SourceFamily::Talon);
            }
            if (parsed.zenith) {
                AddFamily(SourceFamily::Zenith);
            }
            if (parsed.help) {
                ShowHelp();
            }
            break;
        case CommandLineKind::PortList:
            for (const std::string& name : parsed.ports) {
                AddPortByName(name);
            }
            break;
        case CommandLineKind::Invalid:
            prompts_.MessageBox(kInvalidParameterText, kInvalidParameterCaption,
                                MB_OK | kInvalidParameterIcon);
            break;
    }
    // The table always starts with the default columns, also after a session was loaded.
    table_.SetDefaultColumns();
    table_.SortRows();
    const int pollMs = settings_.PollMs();
    session_->SetPollMs(pollMs);
    maxBaud_ = settings_.MaxBaud();
    delegate_->SetMaxBaud(maxBaud_);
    RefreshTable();
    if (pollMs != 0) {
        StartTimer(pollMs);
        PostPollingState(1);
    } else {
        StopTimer();
        PostPollingState(0);
    }
}

void CSeltraView::ApplySettings() {
    StopTimer();
    PostPollingState(0);
    const int pollMs = settings_.PollMs();
    session_->SetPollMs(pollMs);
    if (pollMs != 0) {
        StartTimer(pollMs);
        PostPollingState(1);
    }
    maxBaud_ = settings_.MaxBaud();
    delegate_->SetMaxBaud(maxBaud_);
    viewport()->update();
}

void CSeltraView::PollTick() {
    sources_->PollTick(table_.ZenithRowCount());
    RefreshTable();
}

bool CSeltraView::ExitSteps() {
    if (settings_.confirmationOnExit != 0 &&
        prompts_.MessageBox(kExitText, kExitCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return false;
    }
    session_->WriteSession(DefaultSessionPath());
    StopTimer();
    return true;
}

// Rows -----------------------------------------------------------------------------------------

void CSeltraView::AddPortByName(const std::string& name) {
    if (table_.RowCount() >= kMaxRows || table_.FindRow(name) >= 0) {
        return;
    }
    if (const auto binding = Bind(name)) {
        table_.AddRow(std::make_unique<PortRow>(name, *binding));
    }
}

void CSeltraView::AddFamily(SourceFamily family) {
    if (!sources_->Available(family)) {
        prompts_.MessageBox(UnableText(family), kDriverWarningCaption, MB_OK | MB_ICONSTOP);
        return;
    }
    CounterSource& source = sources_->Source(family);
    for (int i = 0; i < source.Count() && table_.RowCount() < kMaxRows; ++i) {
        // Bound by name like every other row, so that a port an earlier family also lists is
        // that family's here as after a session is saved and opened again.
        AddPortByName(std::string(source.PortName(i)));
    }
}

void CSeltraView::AddPortsByCodes(const std::vector<int>& choice) {
    if (choice.empty()) {
        return;
    }
    if (choice.front() >= kHublineDriverCode) {
        for (const int code : choice) {
            if (code == kHublineDriverCode) {
                AddFamily(SourceFamily::Hubline);
            } else if (code == kTalonDriverCode) {
                AddFamily(SourceFamily::Talon);
            } else if (code == kZenithDriverCode) {
                AddFamily(SourceFamily::Zenith);
            }
        }
    } else {
        for (const int number : choice) {
            AddPortByName("COM" + std::to_string(number));
        }
    }
    table_.SortRows();
    RefreshTable();
}

std::vector<int> CSeltraView::SelectedRows() const {
    std::vector<int> rows;
    if (selectionModel() == nullptr) {
        return rows;
    }
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CSeltraView::PausePolling() {
    StopTimer();
    PostPollingState(0);
}

void CSeltraView::ResumePolling() {
    if (session_->PollMs() != 0) {
        StartTimer(session_->PollMs());
        PostPollingState(1);
    }
}

void CSeltraView::RemoveSelectedRows() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        prompts_.MessageBox(kNoPortSelectedRemoveText, kViewWarningCaption,
                            MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    PausePolling();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        model_->RemoveRow(*it);
    }
    contextRow_ = -1;
    ResumePolling();
}

void CSeltraView::ResetSelectedRows() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        prompts_.MessageBox(kNoPortSelectedResetText, kViewWarningCaption,
                            MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    PausePolling();
    for (const int row : rows) {
        if (row < table_.RowCount()) {
            ResetRow(*table_.Row(row).Statistics());
        }
    }
    RefreshTable();
    ResumePolling();
}

void CSeltraView::ResetAllRows() {
    if (prompts_.MessageBox(kResetAllText, kResetAllCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    PausePolling();
    for (int row = 0; row < table_.RowCount(); ++row) {
        ResetRow(*table_.Row(row).Statistics());
    }
    RefreshTable();
    ResumePolling();
}

// Columns --------------------------------------------------------------------------------------

void CSeltraView::ApplyColumnWidths() {
    const auto kinds = table_.ColumnKinds();
    for (std::size_t c = 0; c < kinds.size(); ++c) {
        horizontalHeader()->resizeSection(static_cast<int>(c), Column(kinds[c]).width);
    }
}

void CSeltraView::DefaultColumnsCommand() {
    StopTimer();
    table_.SetDefaultColumns();
    RefreshTable();
    if (session_->PollMs() != 0) {
        StartTimer(session_->PollMs());
    }
}

void CSeltraView::AddColumns(const std::vector<int>& kinds) {
    for (const int kind : kinds) {
        if (kind != kPortNameKind && IsColumnKind(kind) && table_.FindColumn(kind) < 0) {
            table_.AppendColumn(kind);
        }
    }
    RefreshTable();
}

void CSeltraView::RemoveColumns(const std::vector<int>& kinds) {
    for (const int kind : kinds) {
        // The port name is each row's label: it stays first.
        const int column = kind == kPortNameKind ? -1 : table_.FindColumn(kind);
        if (column >= 0) {
            table_.RemoveColumnAt(column);
        }
    }
    RefreshTable();
}

void CSeltraView::RemoveContextColumn() {
    if (contextColumn_ <= 0 || contextColumn_ >= table_.ColumnCount()) {
        return;
    }
    table_.RemoveColumnAt(contextColumn_);
    contextColumn_ = -1;
    RefreshTable();
}

void CSeltraView::ResetContextColumn() {
    if (contextColumn_ <= 0 || contextColumn_ >= table_.ColumnCount()) {
        return;
    }
    std::vector<PortStatistics*> rows;
    for (int row = 0; row < table_.RowCount(); ++row) {
        rows.push_back(table_.Row(row).Statistics());
    }
    const int kind = table_.ColumnKinds()[static_cast<std::size_t>(contextColumn_)];
    if (ResetColumn(kind, rows)) {
        prompts_.MessageBox(kAccessDeniedText, kAccessDeniedCaption, MB_OK | MB_ICONSTOP);
        return;
    }
    RefreshTable();
}

// Commands -------------------------------------------------------------------------------------

bool CSeltraView::CommandEnabled(int id) const {
    static_cast<void>(id);
    return true;
}

bool CSeltraView::OnCommand(int id) {
    switch (id) {
        case ID_TOOLS_ADD_PORTS: {
            std::vector<int> choice;
            CAddPortDlg dialog(choice, prompts_, this);
            if (dialog.exec() == QDialog::Accepted) {
                AddPortsByCodes(choice);
            }
            return true;
        }
        case ID_TOOLS_REMOVE_PORTS:
        case ID_ROW_REMOVE:
            RemoveSelectedRows();
            return true;
        case ID_ROW_RESET:
            ResetSelectedRows();
            return true;
        case ID_TOOLS_ADD_COLUMNS:
        case ID_TOOLS_REMOVE_COLUMNS: {
            std::vector<int> kinds;
            CSelectColumnDlg dialog(kinds, prompts_, this);
            if (dialog.exec() == QDialog::Accepted) {
                id == ID_TOOLS_ADD_COLUMNS ? AddColumns(kinds) : RemoveColumns(kinds);
            }
            return true;
        }
        case ID_COLUMN_REMOVE:
            RemoveContextColumn();
            return true;
        case ID_COLUMN_RESET:
            ResetContextColumn();
            return true;
        case ID_TOOLS_RESET_VALUES:
            ResetAllRows();
            return true;
        case ID_TOOLS_DEFAULT_COLUMNS:
            DefaultColumnsCommand();
            return true;
        case ID_HELP_CONTENTS:
            ShowHelp();
            return true;
        case ID_FILE_CONVERT:
            Convert(prompts_, settings_.asciiReportType, session_->PollMs());
            return true;
        default:
            return session_->OnCommand(id);
    }
}

void CSeltraView::ShowHelp() {
    OpenHelpFile(prompts_);
}

void CSeltraView::Print(QPrinter& printer) {
    PrintTableLines(printer, BuildPrintLines(table_));
}

// Mouse and menus ------------------------------------------------------------------------------

void CSeltraView::RunPopup(std::span<const int> ids, const QPoint& globalPos) {
    QMenu menu(this);
    for (const int id : ids) {
        const CommandInfo* info = FindCommand(id);
        QAction* action = menu.addAction(QString::fromLatin1(info->menuText));
        action->setData(id);
    }
    if (QAction* chosen = menu.exec(globalPos)) {
        OnCommand(chosen->data().toInt());
    }
}

void CSeltraView::contextMenuEvent(QContextMenuEvent* event) {
    // A right click arrives in the viewport's coordinates and the menu key in the view's; the
    // screen position is the same for both and the rows are hit-tested in the viewport.
    contextRow_ = indexAt(viewport()->mapFromGlobal(event->globalPos())).row();
    if (contextRow_ >= 0) {
        RunPopup(RowPopup(), event->globalPos());
    }
}

void CSeltraView::ShowHeaderMenu(const QPoint& pos) {
    // A click beside every header item names no column, so no stale column is offered.
    contextColumn_ = horizontalHeader()->logicalIndexAt(pos);
    if (contextColumn_ > 0) {
        RunPopup(ColumnPopup(), horizontalHeader()->mapToGlobal(pos));
    }
}

void CSeltraView::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    const std::vector<int> rows = SelectedRows();
    contextRow_ = rows.size() == 1 ? rows.front() : -1;
}

bool CSeltraView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int row = indexAt(help->pos()).row();
        if (row >= 0 && row == contextRow_ && row < table_.RowCount()) {
            QToolTip::showText(help->globalPos(), Latin1(table_.Row(row).Label()), viewport());
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QTableView::viewportEvent(event);
}

bool CSeltraView::event(QEvent* event) {
    const auto type = static_cast<UINT>(event->type());
    if (const auto kind = ReportKindOf(type)) {
        event->accept();
        reportPending_[static_cast<std::size_t>(*kind)] = false;
        reports_->Write(*kind, CurrentReportOptions());
        return true;
    }
    return QTableView::event(event);
}

// The owner and host sides ---------------------------------------------------------------------

void CSeltraView::PostMonitorMessage(UINT msg) {
    // Every polled family makes the same report due at a boundary; one writing of it is the
    // report, a second would only write the same file again (and repeat a failure's box).
    if (const auto kind = ReportKindOf(msg)) {
        bool& pending = reportPending_[static_cast<std::size_t>(*kind)];
        if (pending) {
            return;
        }
        pending = true;
    }
    QCoreApplication::postEvent(this, new MonitorEvent(msg, 0));
}

void CSeltraView::ShowMessageBox(const std::string& text, const std::string& caption, UINT icon) {
    ShowAfterTick(text, caption, MB_OK | icon, nullptr);
}

void CSeltraView::ReportDriverError(SourceFamily family, const std::string& text) {
    bool& open = driverBoxOpen_[static_cast<std::size_t>(family)];
    if (open) {
        return;
    }
    open = true;
    ShowAfterTick(text, kDriverWarningCaption, MB_OK | MB_ICONHAND,
                  [this, family] { driverBoxOpen_[static_cast<std::size_t>(family)] = false; });
}

void CSeltraView::ShowAfterTick(std::string text, std::string caption, UINT style,
                                std::function<void()> closed) {
    // A modal box opened inside the tick would hold the polling timer until someone answers
    // it (a timer is not re-entered while its own handler runs), and every other family's
    // rows would stop. Opened from the event loop, the timer keeps polling while it is open.
    QMetaObject::invokeMethod(
        this,
        [this, text = std::move(text), caption = std::move(caption), style,
         closed = std::move(closed)] {
            const QPointer<CSeltraView> alive(this);
            prompts_.MessageBox(text, caption, style);
            if (alive && closed) {
                closed();
            }
        },
        Qt::QueuedConnection);
}

ReportSettings CSeltraView::Settings() {
    return settings_.Report();
}

double CSeltraView::FreeDiskBytes() {
    return ReportsFreeBytes();
}

ReportOptions CSeltraView::CurrentReportOptions() const {
    return ReportOptions{settings_.asciiCopy != 0, settings_.asciiReportType, session_->PollMs()};
}

void CSeltraView::WriteTextCopy(const std::string& sessionPath) {
    const auto rows = TextCopyRowsOf(table_);
    const auto columns = TextCopyColumns(settings_.asciiReportType, table_.ColumnKinds());
    if (::WriteTextCopy(sessionPath, rows, columns, session_->PollMs()) != TextCopyResult::Ok) {
        prompts_.MessageBox(kCantCreateAsciiText, kReportWarningCaption, MB_OK | MB_ICONSTOP);
    }
}

std::optional<RowBinding> CSeltraView::Bind(std::string_view name) {
    const BoundPort bound = sources_->Bind(name);
    if (!bound) {
        return std::nullopt;
    }
    return RowBinding{bound.counters, bound.statistics,
                      bound.source->Family() == SourceFamily::Zenith};
}

void CSeltraView::StopTimer() {
    timer_.stop();
}

void CSeltraView::StartTimer(int pollMs) {
    timer_.start(pollMs);
}

void CSeltraView::PostPollingState(int on) {
    if (frame_ != nullptr) {
        QCoreApplication::postEvent(frame_, new MonitorEvent(WM_POLLING_STATE, on));
    }
}

void CSeltraView::RefreshTable() {
    model_->Refresh(CellContext{session_->PollMs()});
}

void CSeltraView::SetCaption(const std::string& caption) {
    emit CaptionChanged(QString::fromStdString(caption));
}
