#pragma once
// "Add / Remove Columns ...": the column kinds other than the port name, in kind order; the
// chosen kinds go into the caller's array.

#include <QDialog>
#include <vector>

#include "platform/ui/prompts.h"

class QListWidget;

inline constexpr const char* kNoColumnSelectedText = "No Column is selected!";

class CSelectColumnDlg : public QDialog {
  public:
    CSelectColumnDlg(std::vector<int>& result, platform::PromptService& prompts,
                     QWidget* parent = nullptr);

    void accept() override;

    // List 1002: entry i is kind i + 1.
    QListWidget* ColumnList() const { return list_; }

  private:
    std::vector<int>& result_;
    platform::PromptService& prompts_;
    QListWidget* list_;
};
