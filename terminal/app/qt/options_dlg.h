#pragma once
// "Halvo2 Preferences ...": the eight preferences as check boxes in two groups, " General "
// and " Child Window ". The dialog works on its own copy of the values; only OK puts them back,
// two of them into the live display flags, and nothing is written to the registry here.

#include <QDialog>

#include "terminal/app/preferences.h"
#include "terminal/session/view_flags.h"

class QCheckBox;

// Dialog and control ids; each widget's object name is "control_<id>".
constexpr int kOptionsDialogId = 133;
constexpr int kSaveSettingsOnExitId = 1006;
constexpr int kOpenPortDialogId = 1009;
constexpr int kConfirmationOnExitId = 1020;
constexpr int kChildToolbarId = 1013;
constexpr int kChildStatusBarId = 1014;
constexpr int kReportViewId = 1015;
constexpr int kLogToFileId = 1016;
constexpr int kShowCrLfId = 1017;
constexpr int kDefaultSettingsId = 3;

class COptionsDlg : public QDialog {
  public:
    // The dialog's values, in the order the dialog exchanges them with its check boxes.
    struct Fields {
        int childStatusBar = 0;
        int childToolbar = 0;
        int confirmationOnExit = 0;
        int openPortDialog = 0;
        int logToFile = 0;
        int reportView = 0;
        int saveSettingsOnExit = 0;
        int showCrLf = 0;
    };
    // What "Default Settings" proposes.
    static constexpr Fields kDefaultFields{1, 1, 1, 0, 0, 0, 1, 0};

    // Log To File and Show CR/LF come from and go to the process's live display flags.
    explicit COptionsDlg(Preferences& preferences, QWidget* parent = nullptr);
    COptionsDlg(Preferences& preferences, DisplayFlags& flags, QWidget* parent = nullptr);
    ~COptionsDlg() override;

    // OK: the eight values go back into the preferences and the display flags.
    void accept() override;

  private:
    // Fields to check boxes, or (saving) check boxes to fields.
    void UpdateData(bool save);
    void OnDefaultSettings();

    Preferences& preferences_;
    DisplayFlags& flags_;
    Fields fields_;
    QCheckBox* childStatusBar_ = nullptr;
    QCheckBox* childToolbar_ = nullptr;
    QCheckBox* confirmationOnExit_ = nullptr;
    QCheckBox* openPortDialog_ = nullptr;
    QCheckBox* logToFile_ = nullptr;
    QCheckBox* reportView_ = nullptr;
    QCheckBox* saveSettingsOnExit_ = nullptr;
    QCheckBox* showCrLf_ = nullptr;
};
