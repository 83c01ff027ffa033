#include "terminal/dialogs/qt/open_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>
#include <string>
#include <vector>

#include "platform/ui/message_box_types.h"
#include "platform/ui/prompts.h"
#include "terminal/config/port_settings_form.h"
#include "terminal/net/qt/ssl_option_dlg.h"
#include "tests/support/temp_config.h"

namespace {

class OpenDlgTest : public ::testing::Test {
  protected:
    OpenDlgTest() : dialog_(&ports_, &socketNames_, &accepted_, prompts_) { dialog_.show(); }

    template <typename Control>
    Control* Get(int id) {
        auto* control =
            dialog_.findChild<Control*>(QStringLiteral("control_") + QString::number(id));
        EXPECT_NE(control, nullptr) << "control " << id;
        return control;
    }

    void Click(int id) { Get<QAbstractButton>(id)->click(); }

    // The one message box shown so far, with its caption and style.
    void ExpectOneDataError(const char* text) {
        const auto records = prompts_.Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].text, text);
        EXPECT_EQ(records[0].caption, "Data Error...");
        EXPECT_EQ(records[0].style, MB_OK | MB_ICONHAND);
    }

    std::vector<int> ports_;
    std::vector<std::string> socketNames_;
    int accepted_ = 0;
    platform::ScriptedPrompts prompts_;
    COpenDlg dialog_;
};

TEST_F(OpenDlgTest, InitialControls) {
    EXPECT_EQ(dialog_.windowTitle(), QStringLiteral("Open Ports ..."));
    struct Row {
        int id;
        const char* text;
        bool enabled;
    };
    const Row rows[] = {
        {IDOK, "OK", true},
        {IDCANCEL, "Cancel", true},
        {IDC_OPEN_SETTINGS, "Settings", true},
        {IDC_OPEN_SELECT_PORTS, "Select Ports", true},
        {IDC_OPEN_SELECT_RANGE, "Select Range", true},
        {IDC_OPEN_SOCKETS, "TCP/IP Sockets", true},
        {IDC_OPEN_SECURE, "Secure Data (SSL)", false},
        {IDC_OPEN_CERTIFICATES, "Certificates", false},
    };
    for (const Row& row : rows) {
        QAbstractButton* button = Get<QAbstractButton>(row.id);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), QString::fromLatin1(row.text)) << row.id;
        EXPECT_EQ(button->isEnabled(), row.enabled) << row.id;
    }
    EXPECT_TRUE(Get<QPushButton>(IDOK)->isDefault());
    EXPECT_TRUE(Get<QRadioButton>(IDC_OPEN_SELECT_PORTS)->isChecked());
    EXPECT_FALSE(Get<QRadioButton>(IDC_OPEN_SELECT_RANGE)->isChecked());
    EXPECT_FALSE(Get<QRadioButton>(IDC_OPEN_SOCKETS)->isChecked());
    for (const int id : {IDC_OPEN_RANGE, IDC_OPEN_IP_ADDRESS, IDC_OPEN_FROM_PORT, IDC_OPEN_TO_PORT})
        EXPECT_FALSE(Get<QLineEdit>(id)->isEnabled()) << id;

    QListWidget* list = Get<QListWidget>(IDC_OPEN_PORT_LIST);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isEnabled());
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(list->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    ASSERT_EQ(list->count(), 256);
    for (int row = 0; row < list->count(); ++row)
        ASSERT_EQ(list->item(row)->text(), QStringLiteral("COM") + QString::number(row + 1));

    bool hintShown = false;
    for (const QLabel* label : dialog_.findChildren<QLabel*>())
        hintShown |= label->text() == QStringLiteral("For example: 3-15,21,45,51-56,74");
    EXPECT_TRUE(hintShown);
}

TEST_F(OpenDlgTest, ModeSwitchesEnableTheirControls) {
    Click(IDC_OPEN_SELECT_RANGE);
    EXPECT_FALSE(Get<QListWidget>(IDC_OPEN_PORT_LIST)->isEnabled());
    EXPECT_TRUE(Get<QLineEdit>(IDC_OPEN_RANGE)->isEnabled());
    EXPECT_EQ(dialog_.focusWidget(), Get<QLineEdit>(IDC_OPEN_RANGE));
    EXPECT_TRUE(Get<QPushButton>(IDC_OPEN_SETTINGS)->isEnabled());
    EXPECT_TRUE(Get<QRadioButton>(IDC_OPEN_SOCKETS)->isEnabled());
    EXPECT_FALSE(Get<QLineEdit>(IDC_OPEN_IP_ADDRESS)->isEnabled());

    // TCP/IP mode takes the address and ports; a check set without a click of the box leaves
    // the certificate choice greyed.
    Click(IDC_OPEN_SOCKETS);
    EXPECT_TRUE(Get<QLineEdit>(IDC_OPEN_IP_ADDRESS)->isEnabled());
    EXPECT_FALSE(Get<QListWidget>(IDC_OPEN_PORT_LIST)->isEnabled());
    Get<QCheckBox>(IDC_OPEN_SECURE)->setChecked(true);
    EXPECT_FALSE(Get<QPushButton>(IDC_OPEN_CERTIFICATES)->isEnabled());

    Click(IDC_OPEN_SELECT_PORTS);
    EXPECT_TRUE(Get<QListWidget>(IDC_OPEN_PORT_LIST)->isEnabled());
    EXPECT_FALSE(Get<QLineEdit>(IDC_OPEN_RANGE)->isEnabled());
    EXPECT_FALSE(Get<QPushButton>(IDC_OPEN_CERTIFICATES)->isEnabled());
}

TEST_F(OpenDlgTest, SelectedPortsInListOrder) {
    QListWidget* list = Get<QListWidget>(IDC_OPEN_PORT_LIST);
    // Picked out of order; the list gives them back in its own order.
    for (const int row : {6, 2, 4})
        list->item(row)->setSelected(true);
    ports_ = {99};
    Click(IDOK);
    EXPECT_EQ(ports_, (std::vector<int>{3, 5, 7}));
    EXPECT_EQ(accepted_, 1);
    EXPECT_EQ(dialog_.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog_.isVisible());
    EXPECT_EQ(dialog_.SocketMode(), 0);
    EXPECT_EQ(prompts_.Count(), 0u);
}

TEST_F(OpenDlgTest, NothingSelectedIsAnEmptyList) {
    ports_ = {99};
    Click(IDOK);
    EXPECT_TRUE(ports_.empty());
    EXPECT_EQ(accepted_, 1);
    EXPECT_FALSE(dialog_.isVisible());
}

TEST_F(OpenDlgTest, BadRangeStaysOpenAndAGoodOneReplacesIt) {
    Click(IDC_OPEN_SELECT_RANGE);
    QLineEdit* range = Get<QLineEdit>(IDC_OPEN_RANGE);
    range->setText(QStringLiteral("3-5,7,x"));
    Get<QPushButton>(IDOK)->setFocus();
    Click(IDOK);
    ExpectOneDataError("Invalid Range of Ports!");
    EXPECT_TRUE(dialog_.isVisible());
    EXPECT_EQ(accepted_, 0);
    EXPECT_EQ(dialog_.focusWidget(), range);
    EXPECT_EQ(range->text(), QStringLiteral("3-5,7,x"));  // the text stays for correcting

    range->setText(QStringLiteral("21, 3-5"));
    Click(IDOK);
    EXPECT_EQ(ports_, (std::vector<int>{21, 3, 4, 5}));
    EXPECT_EQ(accepted_, 1);
    EXPECT_FALSE(dialog_.isVisible());
    EXPECT_EQ(prompts_.Count(), 1u);
}

TEST_F(OpenDlgTest, CancelLeavesTheFlag) {
    Get<QListWidget>(IDC_OPEN_PORT_LIST)->item(0)->setSelected(true);
    Click(IDCANCEL);
    EXPECT_EQ(accepted_, 0);
    EXPECT_EQ(dialog_.result(), QDialog::Rejected);
    EXPECT_TRUE(ports_.empty());
    EXPECT_FALSE(dialog_.isVisible());
}

TEST_F(OpenDlgTest, SocketOkChecksTheFieldsInOrder) {
    Get<QRadioButton>(IDC_OPEN_SOCKETS)->setChecked(true);
    QLineEdit* ip = Get<QLineEdit>(IDC_OPEN_IP_ADDRESS);
    QLineEdit* from = Get<QLineEdit>(IDC_OPEN_FROM_PORT);
    QLineEdit* to = Get<QLineEdit>(IDC_OPEN_TO_PORT);

    ip->setText(QStringLiteral("192.168.1.255"));
    from->setText(QStringLiteral("4001"));
    Click(IDOK);
    ExpectOneDataError("Invalid Socket IP!");
    EXPECT_TRUE(dialog_.isVisible());

    ip->setText(QStringLiteral("10.0.0.5"));
    from->clear();
    Click(IDOK);
    ASSERT_EQ(prompts_.Count(), 2u);
    EXPECT_EQ(prompts_.Records()[1].text, "Socket Port is NULL!");
    EXPECT_TRUE(dialog_.isVisible());
    EXPECT_EQ(accepted_, 0);
    EXPECT_TRUE(socketNames_.empty());

    from->setText(QStringLiteral("4001"));
    Click(IDOK);
    EXPECT_EQ(accepted_, 1);
    EXPECT_EQ(dialog_.SocketMode(), 1);
    EXPECT_EQ(ports_, (std::vector<int>{4001}));
    EXPECT_EQ(socketNames_, (std::vector<std::string>{"10.0.0.5:4001"}));
    EXPECT_EQ(to->text(), QStringLiteral("4001"));
}

TEST_F(OpenDlgTest, SocketRunReadsTheSecureBoxAtOk) {
    Get<QRadioButton>(IDC_OPEN_SOCKETS)->setChecked(true);
    Get<QLineEdit>(IDC_OPEN_IP_ADDRESS)->setText(QStringLiteral("10.0.0.5"));
    Get<QLineEdit>(IDC_OPEN_FROM_PORT)->setText(QStringLiteral("4001"));
    Get<QLineEdit>(IDC_OPEN_TO_PORT)->setText(QStringLiteral("4003"));
    Get<QCheckBox>(IDC_OPEN_SECURE)->setChecked(true);
    Click(IDOK);
    EXPECT_EQ(socketNames_, (std::vector<std::string>{"10.0.0.5:4003:SSL::", "10.0.0.5:4002:SSL::",
                                                      "10.0.0.5:4001:SSL::"}));
    EXPECT_EQ(ports_, (std::vector<int>{4001, 4002, 4003}));
    EXPECT_EQ(prompts_.Count(), 0u);
}

// In TCP/IP mode the check box's clicks switch "Certificates" on and off; the names chosen
// there (OK) go into every secure name, and the button greys again outside TCP/IP mode.
TEST_F(OpenDlgTest, CertificatesFollowTheSecureBoxAndTheirNamesReachTheSecureNames) {
    TempConfig config;  // an empty MY store for the certificates dialog
    Click(IDC_OPEN_SOCKETS);
    auto* certificates = Get<QPushButton>(IDC_OPEN_CERTIFICATES);
    EXPECT_FALSE(certificates->isEnabled());
    Click(IDC_OPEN_SECURE);
    EXPECT_TRUE(certificates->isEnabled());
    Click(IDC_OPEN_SECURE);
    EXPECT_FALSE(certificates->isEnabled());
    Click(IDC_OPEN_SECURE);
    ASSERT_TRUE(certificates->isEnabled());

    bool shown = false;
    QTimer::singleShot(0, [&] {
        auto* choice = dynamic_cast<CSslOptionDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(choice, nullptr);
        shown = true;
        choice
            ->findChild<QLineEdit*>(QStringLiteral("control_") +
                                    QString::number(IDC_SSL_SERVER_CERTIFICATE))
            ->setText(QStringLiteral("localhost"));
        choice
            ->findChild<QComboBox*>(QStringLiteral("control_") +
                                    QString::number(IDC_SSL_CLIENT_CERTIFICATE))
            ->setEditText(QStringLiteral("Port Client"));
        choice->accept();
    });
    Click(IDC_OPEN_CERTIFICATES);
    EXPECT_TRUE(shown);

    Get<QLineEdit>(IDC_OPEN_IP_ADDRESS)->setText(QStringLiteral("127.0.0.1"));
    Get<QLineEdit>(IDC_OPEN_FROM_PORT)->setText(QStringLiteral("4001"));
    Click(IDOK);
    EXPECT_EQ(socketNames_, (std::vector<std::string>{"127.0.0.1:4001:SSL:Port Client:localhost"}));

    Click(IDC_OPEN_SELECT_PORTS);
    EXPECT_FALSE(certificates->isEnabled());
}

// "Settings" edits the record every new port window copies: OK changes it, Cancel and a
// refused answer leave it, and the dialog cannot apply anything to open ports from here.
TEST_F(OpenDlgTest, SettingsEditsTheDefaultRecordOnOkOnly) {
    const PortConfig saved = DefaultPortConfig();
    FillDefaultPortConfig(DefaultPortConfig());
    prompts_.AnswerDialogWith(IDCANCEL, {{port_settings_field::kBaud, "9600"}});
    Click(IDC_OPEN_SETTINGS);
    EXPECT_EQ(CopyDefaultPortConfig().BaudRate, 115200u);
    prompts_.AnswerDialogWith(IDOK, {{port_settings_field::kBaud, "9600"},
                                     {port_settings_field::kParity, "Even"},
                                     {port_settings_field::kApplyToAll, "1"}});
    Click(IDC_OPEN_SETTINGS);
    EXPECT_EQ(CopyDefaultPortConfig().BaudRate, 9600u);
    EXPECT_EQ(CopyDefaultPortConfig().Parity, EVENPARITY);
    const auto records = prompts_.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].text, kPortSettingsDialogId);
    EXPECT_EQ(records[1].fields.at(port_settings_field::kFromPort), "0");
    EXPECT_EQ(records[1].fields.at(port_settings_field::kBaud), "115200");

    prompts_.AnswerDialogWith(IDOK, {{port_settings_field::kDataBits, "9"}});
    Click(IDC_OPEN_SETTINGS);
    EXPECT_EQ(CopyDefaultPortConfig().ByteSize, 8);
    EXPECT_EQ(prompts_.Records().back().text, "Enter a number of data bits between 5 and 8.");
    DefaultPortConfig() = saved;
}

}  // namespace
