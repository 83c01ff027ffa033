#pragma once
// Dialog 100, "About Halvo2 ...": the program's icon, its name and version, and OK.

#include <QDialog>

class CAboutDlg : public QDialog {
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
