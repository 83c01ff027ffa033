#pragma once
// "Dialog" (the certificate choice of a secure socket port): the name the server's certificate
// must carry, and the client certificate, picked from the display names of the MY store or
// typed. The dialog validates nothing; the texts are acted upon when the port connects.

#include <QDialog>
#include <string>

class QComboBox;
class QLineEdit;

// Dialog and control ids; each widget's object name is "control_<id>".
constexpr int IDD_SSL_OPTION = 136;
constexpr int IDC_SSL_CLIENT_CERTIFICATE = 1069;
constexpr int IDC_SSL_SERVER_CERTIFICATE = 1070;

class CSslOptionDlg : public QDialog {
  public:
    explicit CSslOptionDlg(QWidget* parent = nullptr);

    // The caller sets both before the dialog is shown and reads them after OK.
    std::string serverCertificate;
    std::string clientCertificate;

    int exec() override;
    // OK: the edit's text and the combo's text (as typed or chosen) into the fields.
    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // Fills the list from the store and shows the fields; once per showing.
    void InitDialog();

    QLineEdit* server_;
    QComboBox* client_;
    bool initialised_ = false;
};
