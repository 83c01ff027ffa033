#pragma once
// "Seltra2 Settings": the stored settings, edited; nothing is kept until OK.

#include <QDialog>

#include "monitor/app/seltra_settings.h"
#include "platform/ui/prompts.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

inline constexpr const char* kInvalidReportIntervalText = "Invalid Report Interval !\t";
inline constexpr const char* kSettingsWarningCaption = "Seltra2 - Warning ...";

class CSettingsDlg : public QDialog {
  public:
    CSettingsDlg(SeltraSettings& settings, platform::PromptService& prompts,
                 QWidget* parent = nullptr);

    // OK: a report interval beginning with "0" is refused and the dialog stays open;
    // otherwise all twelve values go into the settings.
    void accept() override;
    // "Default Settings" (button 3): the controls show the defaults.
    void FillDefaults();

    // Controls by their dialog ids.
    QCheckBox* SaveOnExit() const { return saveOnExit_; }          // 1008
    QCheckBox* Toolbar() const { return toolbar_; }                // 1013
    QCheckBox* StatusBar() const { return statusBar_; }            // 1015
    QCheckBox* Confirmation() const { return confirmation_; }      // 1010
    QComboBox* ReportType() const { return reportType_; }          // 1019
    QComboBox* MaxBaudrate() const { return maxBaudrate_; }        // 1004
    QComboBox* PollInterval() const { return pollInterval_; }      // 1006
    QCheckBox* AsciiCopy() const { return asciiCopy_; }            // 1018
    QCheckBox* Hourly() const { return hourly_; }                  // 1012
    QCheckBox* Daily() const { return daily_; }                    // 1016
    QCheckBox* Custom() const { return custom_; }                  // 1017
    QLineEdit* CustomInterval() const { return customInterval_; }  // 10

  private:
    void Show(const SeltraSettings& values);
    void OnCustom();

    SeltraSettings& settings_;
    platform::PromptService& prompts_;
    QCheckBox* saveOnExit_;
    QCheckBox* toolbar_;
    QCheckBox* statusBar_;
    QCheckBox* confirmation_;
    QComboBox* reportType_;
    QComboBox* maxBaudrate_;
    QComboBox* pollInterval_;
    QCheckBox* asciiCopy_;
    QCheckBox* hourly_;
    QCheckBox* daily_;
    QCheckBox* custom_;
    QLineEdit* customInterval_;
};
