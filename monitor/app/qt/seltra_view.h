#pragma once
// The monitor's single view: one row per monitored port, one column per chosen statistic. It
// owns the driver families' counter sources, the table, the session and the polling timer; it
// refreshes the cells after every poll and runs the Tools, File and row/column commands.

#include <QEvent>
#include <QTableView>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "monitor/app/command_line.h"
#include "monitor/app/seltra_settings.h"
#include "monitor/drivers/counter_sources.h"
#include "monitor/reports/report_boxes.h"
#include "monitor/reports/report_writer.h"
#include "monitor/sessions/session.h"
#include "monitor/table/port_table.h"
#include "platform/ui/prompts.h"

class PortCellDelegate;
class PortTableModel;
class QPrinter;

// A private message as a toolkit event: its type is the message number, wParam rides along.
class MonitorEvent : public QEvent {
  public:
    MonitorEvent(UINT message, int wParam)
        : QEvent(static_cast<QEvent::Type>(message)), wParam_(wParam) {}
    int WParam() const { return wParam_; }

  private:
    int wParam_;
};

inline constexpr const char* kNoPortSelectedRemoveText = "No port is selected!";
inline constexpr const char* kNoPortSelectedResetText = "No Port is selected!";
inline constexpr const char* kViewWarningCaption = "Seltra2 - Warning ...";
inline constexpr const char* kResetAllText =
    "You requested to reset all the values to zero.\t\nAre you sure?";
inline constexpr const char* kResetAllCaption = "Seltra2 - Reset All ...";
inline constexpr const char* kExitText = "Are you sure you want to exit?\t\t";
inline constexpr const char* kExitCaption = "Seltra2 - Exit...";

class CSeltraView : public QTableView, public CounterSourceOwner, public SessionHost {
    Q_OBJECT

  public:
    // `frame` receives WM_POLLING_STATE; `settings` are the process-wide settings the frame
    // holds. The device control and paths choose the drivers (tests put a driver of their own).
    CSeltraView(SeltraSettings& settings, platform::PromptService& prompts, QObject* frame,
                DeviceControl& device = SystemDeviceControl(), const DevicePaths* paths = nullptr,
                QWidget* parent = nullptr);
    ~CSeltraView() override;

    // The first initialisation: sources, command line or default session, default columns,
    // sort, fill, timer.
    void InitialUpdate(const std::string& commandLine);

    // Runs the command `id`; false for a command the view does not handle.
    bool OnCommand(int id);
    // Whether the command can run now.
    bool CommandEnabled(int id) const;

    // One polling tick: the sources in family order, then the cells.
    void PollTick();
    // The exit steps: confirmation, then the default session. False when the user said no.
    bool ExitSteps();
    // After the settings dialog was confirmed: the timer at the new interval, the new scale.
    void ApplySettings();

    // Commands, also reachable from the menus.
    void AddPortsByCodes(const std::vector<int>& choice);
    void AddColumns(const std::vector<int>& kinds);
    void RemoveColumns(const std::vector<int>& kinds);
    void RemoveSelectedRows();
    void ResetSelectedRows();
    void ResetAllRows();
    void RemoveContextColumn();
    void ResetContextColumn();
    void DefaultColumnsCommand();
    void SetContextColumn(int column) { contextColumn_ = column; }
    void Print(QPrinter& printer);

    PortTable& Table() { return table_; }
    Session& CurrentSession() { return *session_; }
    CounterSources& Sources() { return *sources_; }
    bool TimerActive() const { return timer_.isActive(); }
    int PollMs() const { return session_->PollMs(); }
    int ContextRow() const { return contextRow_; }

    // CounterSourceOwner
    void PostMonitorMessage(UINT msg) override;
    // Both open their box once the current tick is over (see ShowAfterTick).
    void ShowMessageBox(const std::string& text, const std::string& caption, UINT icon) override;
    // At most one box per family is open at a time; the family's failures while it is open
    // add none.
    void ReportDriverError(SourceFamily family, const std::string& text) override;
    ReportSettings Settings() override;
    // Measured where the reports go, not where the program happens to run.
    double FreeDiskBytes() override;

    // SessionHost
    std::optional<RowBinding> Bind(std::string_view name) override;
    void StopTimer() override;
    void StartTimer(int pollMs) override;
    void PostPollingState(int on) override;
    void RefreshTable() override;
    void SetCaption(const std::string& caption) override;
    bool AsciiCopy() const override { return settings_.asciiCopy != 0; }
    void WriteTextCopy(const std::string& sessionPath) override;

  signals:
    void CaptionChanged(const QString& caption);

  protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void ApplyColumnWidths();
    // Adds rows by name; the caller sorts and refreshes after the batch.
    void AddPortByName(const std::string& name);
    void AddFamily(SourceFamily family);
    void PausePolling();
    void ResumePolling();
    std::vector<int> SelectedRows() const;
    void ShowHelp();
    void ShowHeaderMenu(const QPoint& pos);
    void RunPopup(std::span<const int> ids, const QPoint& globalPos);
    // Opens a modal box from the event loop rather than inside the running tick; `closed`
    // runs once it has been answered.
    void ShowAfterTick(std::string text, std::string caption, UINT style,
                       std::function<void()> closed);

    SeltraSettings& settings_;
    platform::PromptService& prompts_;
    QObject* frame_;
    PortTable table_;
    std::unique_ptr<PortTableModel> model_;
    PortCellDelegate* delegate_;
    std::unique_ptr<CounterSources> sources_;
    std::unique_ptr<Session> session_;
    QTimer timer_;
    int maxBaud_ = 115200;
    int contextRow_ = -1;
    int contextColumn_ = -1;
    ReportOptions CurrentReportOptions() const;

    ReportBoxes reportBoxes_;
    // A report message of the kind is posted and not yet handled.
    std::array<bool, 3> reportPending_{};
    std::unique_ptr<ReportWriter> reports_;
    // A "Driver Communication Error!" box of the family is waiting or open.
    std::array<bool, 3> driverBoxOpen_{};
};
