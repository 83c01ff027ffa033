#pragma once
// "Port Settings": the line settings of one record as the user edits them. The dialog shows
// and gives back control values only (port_settings_form.h turns them into the record and
// back); on OK it checks them first and stays open, with a message and the focus on the
// control at fault, while one of them is no valid setting.

#include <QDialog>
#include <map>
#include <string>

#include "platform/ui/prompts.h"

class QCheckBox;
class QComboBox;

constexpr int IDC_PS_BAUD = 301;
constexpr int IDC_PS_DATA_BITS = 305;
constexpr int IDC_PS_PARITY = 306;
constexpr int IDC_PS_STOP_BITS = 307;
constexpr int IDC_PS_FLOW = 354;
constexpr int IDC_PS_RTS = 309;
constexpr int IDC_PS_DTR = 308;
constexpr int IDC_PS_RECEIVE_XONXOFF = 311;
constexpr int IDC_PS_CTS = 298;
constexpr int IDC_PS_DSR = 299;
constexpr int IDC_PS_SEND_XONXOFF = 310;
constexpr int IDC_PS_APPLY_TO_ALL = 362;

class CPortSettingsDlg : public QDialog {
  public:
    // `fields` as PortSettingsFields gives them; `prompts` shows the refusals.
    CPortSettingsDlg(const platform::DialogFields& fields, platform::PromptService& prompts,
                     QWidget* parent = nullptr);

    // The controls' values, named as the fields the dialog was built from.
    platform::DialogFields Fields() const;

    void accept() override;

  private:
    // The six detail controls are for "Advanced" only; they keep their values while disabled.
    void EnableDetails();

    platform::PromptService& prompts_;
    std::map<std::string, QComboBox*> combos_;
    std::map<std::string, QCheckBox*> checks_;
    QComboBox* flow_ = nullptr;
    std::string fromPort_;
};
