#pragma once
// "Add Ports ...": ports chosen from a list of COM names, typed as a range of numbers, or all
// the ports of driver families. The choice goes into the caller's array: port numbers, or
// driver codes (the first element 1001 or more).

#include <QDialog>
#include <vector>

#include "platform/ui/prompts.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QRadioButton;

constexpr int kHublineDriverCode = 1001;
constexpr int kTalonDriverCode = 1002;
constexpr int kZenithDriverCode = 1004;
// The highest port the list offers.
constexpr int kListedPorts = 999;

inline constexpr const char* kNoPortSelectedText = "No port is selected!";
inline constexpr const char* kNoDriverSelectedText = "No Driver is selected!";

class CAddPortDlg : public QDialog {
  public:
    CAddPortDlg(std::vector<int>& result, platform::PromptService& prompts,
                QWidget* parent = nullptr);

    // OK: fills the result; on an error shows why and stays open.
    void accept() override;

    // The controls, by their dialog ids: 1001 "Ports", 1005 list, 1003 "Range", 1007 range text,
    // 1009 "Driver", 1000 / 1011 / 1014 the families.
    QRadioButton* PortsButton() const { return ports_; }
    QRadioButton* RangeButton() const { return range_; }
    QRadioButton* DriverButton() const { return driver_; }
    QListWidget* PortList() const { return list_; }
    QLineEdit* RangeText() const { return rangeText_; }
    QCheckBox* Hubline() const { return hubline_; }
    QCheckBox* Talon() const { return talon_; }
    QCheckBox* Zenith() const { return zenith_; }

  private:
    void OnMode();
    bool AcceptPorts();
    bool AcceptRange();
    bool AcceptDrivers();

    std::vector<int>& result_;
    platform::PromptService& prompts_;
    QRadioButton* ports_;
    QRadioButton* range_;
    QRadioButton* driver_;
    QListWidget* list_;
    QLineEdit* rangeText_;
    QCheckBox* hubline_;
    QCheckBox* talon_;
    QCheckBox* zenith_;
};
