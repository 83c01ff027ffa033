// The five settings dialogs on the offscreen platform: what they show for a record, which
// controls are enabled, the All On / All Off button, and OK refusing texts that are no valid
// value with the dialog left open.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "platform/ui/message_box_types.h"
#include "platform/ui/prompts.h"
#include "terminal/config/advanced_settings_form.h"
#include "terminal/config/port_settings_form.h"
#include "terminal/dialogs/qt/advanced_settings_dlgs.h"
#include "terminal/dialogs/qt/port_settings_dlg.h"

namespace {

namespace f = port_settings_field;

template <typename Control>
Control* Get(const QWidget& dialog, int id) {
    auto* control = dialog.findChild<Control*>(QStringLiteral("control_") + QString::number(id));
    EXPECT_NE(control, nullptr) << "control " << id;
    return control;
}

PortConfig Defaults() {
    PortConfig config;
    FillDefaultPortConfig(config);
    return config;
}

// Presses OK: true when the dialog closed with OK, false when it stayed open.
bool PressOk(QDialog& dialog) {
    dialog.show();
    dialog.accept();
    return dialog.result() == QDialog::Accepted && !dialog.isVisible();
}

TEST(PortSettingsDlg, ListEntriesAreSelectedOnlyOnAnExactMatch) {
    struct Row {
        DWORD baud;
        const char* shown;
        int index;  // -1: typed text, no entry selected
    };
    const Row rows[] = {{300, "500000", 13},
                        {50, "50", -1},
                        {921600, "921600", 14},
                        {14400, "14400", -1},
                        {600, "600", 0}};
    platform::ScriptedPrompts prompts;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.baud);
        PortConfig config = Defaults();
        config.BaudRate = row.baud;
        CPortSettingsDlg dialog(PortSettingsFields(config, false), prompts);
        const QComboBox* baud = Get<QComboBox>(dialog, IDC_PS_BAUD);
        EXPECT_EQ(baud->currentText(), QString::fromLatin1(row.shown));
        EXPECT_EQ(baud->currentIndex(), row.index);
        // Untouched, the dialog gives back what it was given, so OK keeps the record.
        PortConfig after = config;
        ASSERT_FALSE(ReadPortSettingsFields(dialog.Fields(), after));
        EXPECT_EQ(after.BaudRate, row.baud);
    }
}

TEST(PortSettingsDlg, DetailControlsFollowAdvancedAndApplyToAllNeedsAPort) {
    platform::ScriptedPrompts prompts;
    PortConfig config = Defaults();
    config.fRtsControl = RTS_CONTROL_TOGGLE;
    CPortSettingsDlg fromPort(PortSettingsFields(config, true), prompts);
    const int details[] = {IDC_PS_RTS, IDC_PS_DTR, IDC_PS_RECEIVE_XONXOFF,
                           IDC_PS_CTS, IDC_PS_DSR, IDC_PS_SEND_XONXOFF};
    QComboBox* flow = Get<QComboBox>(fromPort, IDC_PS_FLOW);
    EXPECT_EQ(flow->currentText(), QString::fromLatin1(kFlowAdvanced));
    for (int id : details) {
        EXPECT_TRUE(Get<QWidget>(fromPort, id)->isEnabled()) << id;
    }
    EXPECT_EQ(Get<QComboBox>(fromPort, IDC_PS_RTS)->currentText(), QStringLiteral("Toggle"));
    const QCheckBox* applyToAll = Get<QCheckBox>(fromPort, IDC_PS_APPLY_TO_ALL);
    EXPECT_TRUE(applyToAll->isEnabled());
    EXPECT_FALSE(applyToAll->isChecked());

    // A preset disables the details, which keep their values; the preset wins on OK.
    flow->setCurrentIndex(2);
    for (int id : details) {
        EXPECT_FALSE(Get<QWidget>(fromPort, id)->isEnabled()) << id;
    }
    EXPECT_EQ(Get<QComboBox>(fromPort, IDC_PS_RTS)->currentText(), QStringLiteral("Toggle"));
    ASSERT_FALSE(ReadPortSettingsFields(fromPort.Fields(), config));
    EXPECT_EQ(config.fRtsControl, RTS_CONTROL_HANDSHAKE);

    CPortSettingsDlg fromOpenPorts(PortSettingsFields(Defaults(), false), prompts);
    EXPECT_FALSE(Get<QCheckBox>(fromOpenPorts, IDC_PS_APPLY_TO_ALL)->isEnabled());
    EXPECT_FALSE(Get<QWidget>(fromOpenPorts, IDC_PS_RTS)->isEnabled());
}

TEST(PortSettingsDlg, OkWithAnInvalidSettingStaysOpenAndSaysWhy) {
    struct Row {
        int id;
        const char* text;
        const char* message;
    };
    const Row rows[] = {
        {IDC_PS_BAUD, "fast", "Enter a baud rate between 1 and 4294967295."},
        {IDC_PS_BAUD, "4294967296", "Enter a baud rate between 1 and 4294967295."},
        {IDC_PS_DATA_BITS, "9", "Enter a number of data bits between 5 and 8."},
        {IDC_PS_PARITY, "Weird", "Choose a parity from the list."},
        {IDC_PS_STOP_BITS, "3", "Choose a number of stop bits from the list."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        platform::ScriptedPrompts prompts;
        CPortSettingsDlg dialog(PortSettingsFields(Defaults(), true), prompts);
        Get<QComboBox>(dialog, row.id)->setEditText(QString::fromLatin1(row.text));
        EXPECT_FALSE(PressOk(dialog));
        ASSERT_EQ(prompts.Count(), 1u);
        EXPECT_EQ(prompts.Records()[0].text, row.message);
        EXPECT_EQ(prompts.Records()[0].caption, "Halvo2 - Warning ...");
    }
    platform::ScriptedPrompts prompts;
    CPortSettingsDlg dialog(PortSettingsFields(Defaults(), true), prompts);
    Get<QComboBox>(dialog, IDC_PS_BAUD)->setEditText(QStringLiteral("14400"));
    EXPECT_TRUE(PressOk(dialog));
    EXPECT_EQ(dialog.Fields().at(f::kBaud), "14400");
    EXPECT_EQ(prompts.Count(), 0u);
}

TEST(MiscSettingsDlg, ErrorCharFollowsItsBoxAndBadNumbersKeepTheDialogOpen) {
    platform::ScriptedPrompts prompts;
    CMiscSettingsDlg dialog(MiscSettingsFields(Defaults()), prompts);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Miscellaneous Settings"));
    EXPECT_EQ(Get<QLineEdit>(dialog, 338)->text(), QStringLiteral("17"));
    EXPECT_EQ(Get<QLineEdit>(dialog, 341)->text(), QStringLiteral("512"));
    QLineEdit* errorChar = Get<QLineEdit>(dialog, 348);
    EXPECT_FALSE(errorChar->isEnabled());
    Get<QCheckBox>(dialog, 346)->click();
    EXPECT_TRUE(errorChar->isEnabled());
    Get<QCheckBox>(dialog, 346)->click();
    EXPECT_FALSE(errorChar->isEnabled());

    Get<QLineEdit>(dialog, 338)->setText(QStringLiteral("256"));
    EXPECT_FALSE(PressOk(dialog));
    Get<QLineEdit>(dialog, 338)->setText(QStringLiteral("0"));
    Get<QLineEdit>(dialog, 340)->setText(QStringLiteral("65536"));
    EXPECT_FALSE(PressOk(dialog));
    Get<QLineEdit>(dialog, 340)->setText(QStringLiteral("-2"));
    EXPECT_FALSE(PressOk(dialog));
    const auto records = prompts.Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].text, kByteFieldMessage);
    EXPECT_EQ(records[1].text, kLimitFieldMessage);
    EXPECT_EQ(records[2].text, kUnsignedFieldMessage);
    Get<QLineEdit>(dialog, 340)->setText(QStringLiteral("65535"));
    EXPECT_TRUE(PressOk(dialog));
    EXPECT_EQ(dialog.Fields().at("XonChar"), "0");
}

TEST(TimeoutAndQueueDlgs, RefuseWhatIsNoUnsignedNumber) {
    platform::ScriptedPrompts prompts;
    CTimeoutSettingsDlg timeouts(TimeoutSettingsFields(COMMTIMEOUTS{}), prompts);
    EXPECT_EQ(Get<QLineEdit>(timeouts, 315)->text(), QStringLiteral("0"));
    Get<QLineEdit>(timeouts, 315)->setText(QStringLiteral("-100"));
    EXPECT_FALSE(PressOk(timeouts));
    Get<QLineEdit>(timeouts, 315)->setText(QStringLiteral("100"));
    EXPECT_TRUE(PressOk(timeouts));
    EXPECT_EQ(timeouts.Fields().at("WriteTotalTimeoutConstant"), "100");

    COMMPROP properties;
    properties.dwCurrentRxQueue = 4096;
    CQSettingsDlg queue(QueueSettingsFields(properties), prompts);
    EXPECT_EQ(Get<QLineEdit>(queue, 360)->text(), QStringLiteral("4096"));
    Get<QLineEdit>(queue, 361)->setText(QString());
    EXPECT_FALSE(PressOk(queue));
    ASSERT_EQ(prompts.Count(), 2u);
    EXPECT_EQ(prompts.Records()[1].text, kUnsignedFieldMessage);
}

TEST(EventSettingsDlg, AllOnAndAllOffSwitchEveryBoxAndTheCaption) {
    platform::ScriptedPrompts prompts;
    CEventSettingsDlg fresh(EventSettingsFields(kAlwaysWatchedEvents), prompts);
    EXPECT_EQ(fresh.AllButton()->text(), QStringLiteral("All On"));
    EXPECT_TRUE(Get<QCheckBox>(fresh, 320)->isChecked());   // EV_CTS
    EXPECT_FALSE(Get<QCheckBox>(fresh, 317)->isChecked());  // EV_RXCHAR
    fresh.AllButton()->click();
    EXPECT_EQ(ReadEventSettingsFields(fresh.Fields()), kAllEvents);
    EXPECT_EQ(fresh.AllButton()->text(), QStringLiteral("All Off"));
    // Boxes switched one by one leave the caption alone.
    Get<QCheckBox>(fresh, 333)->click();
    EXPECT_EQ(fresh.AllButton()->text(), QStringLiteral("All Off"));
    fresh.AllButton()->click();
    EXPECT_EQ(ReadEventSettingsFields(fresh.Fields()), 0u);
    EXPECT_EQ(fresh.AllButton()->text(), QStringLiteral("All On"));

    CEventSettingsDlg allSet(EventSettingsFields(kAllEvents), prompts);
    EXPECT_EQ(allSet.AllButton()->text(), QStringLiteral("All Off"));
}

}  // namespace
