#pragma once
// "Open Ports ...": the user picks which ports to open, serial ports from the list of 256 names
// or as a typed range, or a run of TCP/IP sockets. The dialog only fills the caller's lists; the
// main frame opens a port window for each entry.

#include <QDialog>
#include <string>
#include <vector>

#include "platform/ui/prompts.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

// Control ids of the dialog; each control's object name is "control_<id>".
constexpr int IDC_OPEN_SETTINGS = 1000;
constexpr int IDC_OPEN_SELECT_PORTS = 1001;
constexpr int IDC_OPEN_SELECT_RANGE = 1002;
constexpr int IDC_OPEN_PORT_LIST = 1003;
constexpr int IDC_OPEN_RANGE = 1004;
constexpr int IDC_OPEN_SOCKETS = 1005;
constexpr int IDC_OPEN_IP_ADDRESS = 1006;
constexpr int IDC_OPEN_FROM_PORT = 1007;
constexpr int IDC_OPEN_CERTIFICATES = 1049;
constexpr int IDC_OPEN_SECURE = 1059;
constexpr int IDC_OPEN_TO_PORT = 1071;

inline constexpr int kOpenDlgSerialNames = 256;
inline constexpr const char* kRangeExampleText = "For example: 3-15,21,45,51-56,74";

class COpenDlg : public QDialog {
  public:
    // `ports` receives the serial port numbers (in socket mode the socket port numbers) and is
    // emptied at every OK; `socketNames` receives the socket port names; `*accepted` becomes 1
    // when OK succeeds and is left alone on Cancel. The caller owns all three.
    COpenDlg(std::vector<int>* ports, std::vector<std::string>* socketNames, int* accepted,
             platform::PromptService& prompts, QWidget* parent = nullptr);

    // 1 after OK in TCP/IP mode, else 0.
    int SocketMode() const { return socketMode_; }

    // OK: the lists are filled by the checked mode; a refused entry shows its message box, puts
    // the focus on the control at fault and leaves the dialog open.
    void accept() override;

  private:
    enum class Mode { SelectPorts, SelectRange, Sockets };

    void SwitchTo(Mode mode);
    void OnSecure();
    void OnCertificates();
    // "Settings": the Port Settings dialog on the record new port windows start from.
    void OnSettings();
    void AcceptSelectedPorts();
    void AcceptRange();
    void AcceptSockets();
    void DataError(const char* text, QWidget* faulty);

    std::vector<int>* ports_;
    std::vector<std::string>* socketNames_;
    int* accepted_;
    platform::PromptService& prompts_;

    std::string ipAddress_;
    std::string fromPort_;
    std::string toPort_;
    std::string clientCertificate_;
    std::string serverCertificate_;
    int socketMode_ = 0;

    QPushButton* ok_;
    QPushButton* cancel_;
    QPushButton* settings_;
    QRadioButton* selectPorts_;
    QRadioButton* selectRange_;
    QRadioButton* sockets_;
    QListWidget* portList_;
    QLineEdit* range_;
    QLineEdit* ipAddressEdit_;
    QLineEdit* fromPortEdit_;
    QLineEdit* toPortEdit_;
    QCheckBox* secure_;
    QPushButton* certificates_;
};
