// The Preferences dialog driven offscreen as a user would: controls found by their ids, check
// boxes and buttons clicked.

#include "terminal/app/qt/options_dlg.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>

namespace {

template <typename Widget>
Widget* Control(const COptionsDlg& dlg, int id) {
    auto* widget = dlg.findChild<Widget*>(QStringLiteral("control_%1").arg(id));
    EXPECT_NE(widget, nullptr) << id;
    return widget;
}

QCheckBox* Box(const COptionsDlg& dlg, int id) {
    return Control<QCheckBox>(dlg, id);
}

void Click(const COptionsDlg& dlg, int id) {
    if (auto* button = Control<QPushButton>(dlg, id)) {
        button->click();
    }
}

// Each check box, in the dialog's field order, and where its value lives.
struct Field {
    int id;
    const char* text;
    const char* group;
    int Preferences::*preference;
    std::atomic<bool> DisplayFlags::*flag;
    int defaultSetting;
};

const Field kFields[] = {
    {kChildStatusBarId, "Status Bar", " Child Window ", &Preferences::childStatusBar, nullptr, 1},
    {kChildToolbarId, "Toolbar", " Child Window ", &Preferences::childToolbar, nullptr, 1},
    {kConfirmationOnExitId, "Ask for Confirmation on Exit", " General ",
     &Preferences::confirmationOnExit, nullptr, 1},
    {kOpenPortDialogId, "Start with \"Open Port\" dialog", " General ",
     &Preferences::openPortDialog, nullptr, 0},
    {kLogToFileId, "Enable \"Log To File\"", " Child Window ", nullptr, &DisplayFlags::logToFile,
     0},
    {kReportViewId, "Set \"Report View\" as default", " Child Window ", &Preferences::reportView,
     nullptr, 0},
    {kSaveSettingsOnExitId, "Save Settings on Exit", " General ", &Preferences::saveSettingsOnExit,
     nullptr, 1},
    {kShowCrLfId, "Enable \"Show CR/LF\"", " Child Window ", nullptr, &DisplayFlags::showCrLfBs, 0},
};

void Set(const Field& f, Preferences& p, DisplayFlags& flags, int value) {
    if (f.preference) {
        p.*f.preference = value;
    } else {
        flags.*f.flag = value != 0;
    }
}

int Get(const Field& f, const Preferences& p, const DisplayFlags& flags) {
    return f.preference ? p.*f.preference : ((flags.*f.flag) ? 1 : 0);
}

TEST(OptionsDlg, EachValueShowsInItsOwnLabelledBox) {
    // One value differs from all the others at a time: a box wired to a neighbour's field shows.
    for (const int odd : {1, 0}) {
        for (const Field& chosen : kFields) {
            Preferences p;
            DisplayFlags flags;
            for (const Field& f : kFields) {
                Set(f, p, flags, &f == &chosen ? odd : 1 - odd);
            }
            COptionsDlg dlg(p, flags);
            EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Halvo2 Preferences ..."));
            for (const Field& f : kFields) {
                QCheckBox* box = Box(dlg, f.id);
                ASSERT_NE(box, nullptr);
                EXPECT_EQ(box->isChecked(), (&f == &chosen) == (odd == 1))
                    << "box " << f.id << " when " << chosen.id << " alone is " << odd;
                EXPECT_EQ(box->text().toStdString(), f.text);
                auto* group = qobject_cast<QGroupBox*>(box->parentWidget());
                ASSERT_NE(group, nullptr) << f.id;
                EXPECT_EQ(group->title().toStdString(), f.group);
            }
        }
    }
}

TEST(OptionsDlg, OkCopiesEachBoxBackIntoItsOwnValue) {
    for (const Field& chosen : kFields) {
        Preferences p;
        DisplayFlags flags;
        for (const Field& f : kFields) {
            Set(f, p, flags, 0);
        }
        COptionsDlg dlg(p, flags);
        dlg.show();
        Box(dlg, chosen.id)->click();
        EXPECT_EQ(Get(chosen, p, flags), 0) << "changed before OK: " << chosen.id;
        Click(dlg, IDOK);
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        for (const Field& f : kFields) {
            EXPECT_EQ(Get(f, p, flags), &f == &chosen ? 1 : 0)
                << "value " << f.id << " after clicking " << chosen.id;
        }
    }
}

TEST(OptionsDlg, DefaultSettingsShowsTheDefaultsWithoutClosing) {
    Preferences p;
    DisplayFlags flags;
    for (const Field& f : kFields) {
        Set(f, p, flags, 1 - f.defaultSetting);
    }
    COptionsDlg dlg(p, flags);
    dlg.show();
    Click(dlg, kDefaultSettingsId);
    EXPECT_TRUE(dlg.isVisible());
    for (const Field& f : kFields) {
        EXPECT_EQ(Box(dlg, f.id)->isChecked(), f.defaultSetting == 1) << f.id;
        EXPECT_EQ(Get(f, p, flags), 1 - f.defaultSetting) << "changed before OK: " << f.id;
    }
    // The proposal can still be edited before OK takes it.
    Box(dlg, kReportViewId)->click();
    Click(dlg, IDOK);
    for (const Field& f : kFields) {
        EXPECT_EQ(Get(f, p, flags), f.id == kReportViewId ? 1 : f.defaultSetting) << f.id;
    }
}

TEST(OptionsDlg, CancelChangesNothing) {
    // Without flags given, the dialog works on the live display flags of the process.
    DisplayFlags& live = ProcessDisplayFlags();
    const bool logToFile = live.logToFile, showCrLf = live.showCrLfBs;
    live.logToFile = false;
    live.showCrLfBs = true;
    Preferences p;
    p.childToolbar = 2;  // edited by hand: shown checked, and kept exactly
    const Preferences before = p;
    bool shownToolbar = false, shownShow = false;
    {
        COptionsDlg dlg(p);
        dlg.show();
        shownToolbar = Box(dlg, kChildToolbarId)->isChecked();
        shownShow = Box(dlg, kShowCrLfId)->isChecked();
        for (const Field& f : kFields) {
            Box(dlg, f.id)->click();
        }
        Click(dlg, kDefaultSettingsId);
        Click(dlg, IDCANCEL);
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
    }
    const bool logAfter = live.logToFile, showAfter = live.showCrLfBs;
    live.logToFile = logToFile;
    live.showCrLfBs = showCrLf;
    EXPECT_TRUE(shownToolbar);
    EXPECT_TRUE(shownShow);
    EXPECT_EQ(p, before);
    EXPECT_FALSE(logAfter);
    EXPECT_TRUE(showAfter);
}

}  // namespace
