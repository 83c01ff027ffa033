#pragma once
// The four small settings dialogs of a port window: "Miscellaneous Settings", "Timeout
// Settings", "Events Setup" and "Queue Settings". Like the Port Settings dialog they show and
// give back control values only (advanced_settings_form.h turns them into device values); OK
// checks every edit first and stays open, with the message and the focus on the edit at fault.

#include <QDialog>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "platform/ui/prompts.h"
#include "terminal/config/port_settings_form.h"

class QCheckBox;
class QFormLayout;
class QLineEdit;
class QPushButton;

// What the four share: named edits and check boxes, and OK that checks before it closes.
class CFieldsDlg : public QDialog {
  public:
    using Check = std::function<std::optional<FormError>(const platform::DialogFields&)>;

    platform::DialogFields Fields() const;
    void accept() override;

  protected:
    CFieldsDlg(const char* caption, platform::PromptService& prompts, Check check, QWidget* parent);
    QLineEdit* AddEdit(QFormLayout* form, const platform::DialogFields& fields, const char* name,
                       int id, const char* label);
    QCheckBox* AddCheck(QLayout* layout, const platform::DialogFields& fields, const char* name,
                        int id, const char* text);
    void AddButtons(QLayout* layout);

    std::map<std::string, QLineEdit*> edits_;
    std::map<std::string, QCheckBox*> checks_;

  private:
    platform::PromptService& prompts_;
    Check check_;
};

class CMiscSettingsDlg : public CFieldsDlg {
  public:
    CMiscSettingsDlg(const platform::DialogFields& fields, platform::PromptService& prompts,
                     QWidget* parent = nullptr);
};

class CTimeoutSettingsDlg : public CFieldsDlg {
  public:
    CTimeoutSettingsDlg(const platform::DialogFields& fields, platform::PromptService& prompts,
                        QWidget* parent = nullptr);
};

class CEventSettingsDlg : public CFieldsDlg {
  public:
    CEventSettingsDlg(const platform::DialogFields& fields, platform::PromptService& prompts,
                      QWidget* parent = nullptr);
    QPushButton* AllButton() const { return all_; }

  private:
    // "All On" checks all thirteen and becomes "All Off"; "All Off" the reverse.
    void OnAll();
    QPushButton* all_ = nullptr;
};

class CQSettingsDlg : public CFieldsDlg {
  public:
    CQSettingsDlg(const platform::DialogFields& fields, platform::PromptService& prompts,
                  QWidget* parent = nullptr);
};

// Makes the five settings dialogs known to the program's prompt service.
namespace platform {
class QtPrompts;
}
void RegisterSettingsDialogs(platform::QtPrompts& prompts);
