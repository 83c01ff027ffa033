#include "terminal/session/view_flags.h"

#include <gtest/gtest.h>

namespace {

TEST(ViewFlagsTest, NewPortWindowFollowsPreferencesAndKind) {
    struct Row {
        PortKind kind;
        PortViewPreferences preferences;
        bool toolbar;
        bool statusBar;
        bool report;
    };
    const Row rows[] = {
        {PortKind::Serial, {true, true, false}, true, true, false},
        {PortKind::Serial, {false, true, false}, false, true, false},
        {PortKind::Serial, {true, false, true}, true, false, true},
        {PortKind::Socket, {true, true, false}, false, true, false},
        {PortKind::Socket, {false, false, true}, false, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << (row.kind == PortKind::Serial ? "serial" : "socket") << " toolbar "
                     << row.preferences.childToolbar << " status " << row.preferences.childStatusBar
                     << " report " << row.preferences.reportView);
        const PortViewFlags flags = InitialPortViewFlags(row.kind, row.preferences);
        EXPECT_EQ(flags.childToolbarShown, row.toolbar);
        EXPECT_EQ(flags.childStatusBarShown, row.statusBar);
        EXPECT_EQ(flags.reportView, row.report);
        // The line and transfer state begins off; the open sets DTR and RTS.
        EXPECT_FALSE(flags.dtrOn || flags.rtsOn || flags.receiving || flags.sending ||
                     flags.internalLoopback);
    }
}

TEST(ViewFlagsTest, StartUpResetsTheFlagsThatAreNotStored) {
    DisplayFlags flags;
    flags.hexDisplay = true;
    flags.sendLineFeeds = true;
    flags.logToFile = true;
    flags.showCrLfBs = true;
    flags.continuousCharacter = true;

    flags.Initialize({.logToFile = false, .showCrLf = true}, false, 0);
    EXPECT_FALSE(flags.hexDisplay);
    EXPECT_FALSE(flags.sendLineFeeds);
    EXPECT_FALSE(flags.logToFile);
    EXPECT_TRUE(flags.showCrLfBs);
    EXPECT_FALSE(flags.continuousCharacter);

    ProcessDisplayFlags().Initialize({.logToFile = true, .showCrLf = false}, true, 'A');
    EXPECT_TRUE(ProcessDisplayFlags().logToFile);
    EXPECT_FALSE(ProcessDisplayFlags().showCrLfBs);
    EXPECT_TRUE(ProcessDisplayFlags().continuousCharacter);
    EXPECT_EQ(ProcessDisplayFlags().character, 'A');
    ProcessDisplayFlags().Initialize({}, false, 0);
}

}  // namespace
