#include "app/Various.h"

#include "fakes/AppHarness.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using fakes::AppHarness;
using Strings = std::vector<std::wstring>;

class StartupTest : public ::testing::Test {
protected:
    void Seed(const std::string& name, const std::string& text) {
        h.registry.PutText(fakes::kSettingsKey, name, text);
    }
    std::wstring Text(Control c) const { return h.view.Text(c); }

    AppHarness h;
};

TEST_F(StartupTest, AFirstStartShowsTheDesignStatesAndWritesNothing) {
    ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
    EXPECT_EQ(Text(Control::txtInterval), L"0");
    EXPECT_EQ(Text(Control::txtRemaining), L"0");
    EXPECT_EQ(h.app.Progress().Max(), 100);
    EXPECT_EQ(h.view.Value(Control::chkVisible), 1);
    EXPECT_EQ(h.view.Value(Control::chkSaveAs), 0);
    EXPECT_EQ(h.view.Value(Control::chkSave), 0);
    EXPECT_EQ(h.view.Value(Control::chkCurrent), 0);
    EXPECT_EQ(Text(Control::cboTime), L"");
    EXPECT_EQ(h.view.ListItems(Control::cboTime), (Strings{L"秒", L"分"}));
    EXPECT_EQ(h.view.Value(Control::optOff), 1);
    EXPECT_EQ(h.view.Value(Control::optOn), 0);
    EXPECT_FALSE(h.app.TimerSet);
    EXPECT_TRUE(h.registry.keys.empty()) << "no key is created and no default written";
    EXPECT_EQ(h.registry.OpenHandles(), 0);
}

TEST_F(StartupTest, TheKeyboardWatchIsStartedAtTenMilliseconds) {
    h.Load();
    EXPECT_EQ(h.view.TimerOf(Timer::tmrKey).intervalMs, 10u);
    EXPECT_TRUE(h.view.TimerOf(Timer::tmrKey).enabled);
}

TEST_F(StartupTest, TheTrayIconIsAddedWithItsRecord) {
    h.Load();
    EXPECT_TRUE(h.tray.iconExists);
    ASSERT_EQ(h.tray.calls.size(), 2u);
    EXPECT_EQ(h.tray.calls[0].request, TrayRequest::Modify) << "the tip is written before the icon exists";
    EXPECT_EQ(h.tray.calls[1].request, TrayRequest::Add);
    const TrayIconRecord& record = h.tray.calls[1].record;
    EXPECT_EQ(record.size, 88u);
    EXPECT_EQ(record.window, h.view.handle);
    EXPECT_EQ(record.id, 1u);
    EXPECT_EQ(record.flags, 7u);
    EXPECT_EQ(record.callbackMessage, 0x200u);
    EXPECT_EQ(record.icon, h.view.iconHandle);
    EXPECT_EQ(record.tip, std::wstring(L"自动保存") + L'\0' + std::wstring(59, L' '));
}

TEST_F(StartupTest, TheWindowIsShownThenActivatedWhichAppendsAboutAndRefreshesTheLists) {
    h.desktop.Add(50, L"Editor");
    h.Load();
    EXPECT_EQ(h.view.shows, 1);
    EXPECT_EQ(h.desktop.CountOf("ShowNormal", h.view.handle), 1) << "the first show resizes the window";
    EXPECT_EQ(h.shell.systemMenu.back(), (std::pair<int, std::wstring>{2, L"关于..."}));
    EXPECT_EQ(h.desktop.enumerations, 1);
    EXPECT_TRUE(h.view.ListItems(Control::List1).empty());
    h.FillLists();
    EXPECT_EQ(h.view.ListItems(Control::List1), Strings{L"Editor "});
}

TEST_F(StartupTest, TheOwnerWindowIsHidden) {
    h.desktop.owner = 0x77;
    h.Load();
    EXPECT_EQ(h.desktop.CountOf("Hide", 0x77), 1);
}

TEST_F(StartupTest, NinetySecondsInMinutesShowOneAndAHalf) {
    Seed("TimerInterval", "90");
    Seed("TimeMeasurement", "Minutes");
    h.Load();
    EXPECT_EQ(Text(Control::txtInterval), L"1.5");
    EXPECT_EQ(Text(Control::txtRemaining), L"90");
    EXPECT_EQ(h.app.Progress().Max(), 90);
    EXPECT_EQ(h.view.shownMax, 90);
    EXPECT_EQ(Text(Control::cboTime), L"Minutes");
}

struct UnitRestoreCase {
    const char* interval;
    const char* unit;
    const wchar_t* shownInterval;
    const wchar_t* shownUnit;
};

class StartupUnit : public StartupTest, public ::testing::WithParamInterface<UnitRestoreCase> {};

TEST_P(StartupUnit, ShowsTheStoredUnitAndConvertsOnlyMinutes) {
    Seed("TimerInterval", GetParam().interval);
    Seed("TimeMeasurement", GetParam().unit);
    h.Load();
    EXPECT_EQ(Text(Control::txtInterval), GetParam().shownInterval);
    EXPECT_EQ(Text(Control::txtRemaining), fakes::FromUtf8(GetParam().interval));
    EXPECT_EQ(Text(Control::cboTime), GetParam().shownUnit);
}

INSTANTIATE_TEST_SUITE_P(Stored, StartupUnit,
                         ::testing::Values(UnitRestoreCase{"60", "Minutes", L"1.", L"Minutes"},
                                           UnitRestoreCase{"60", "minutes", L"60", L"minutes"},
                                           UnitRestoreCase{"45", "Seconds", L"45", L"Seconds"},
                                           UnitRestoreCase{"45", "FALSE", L"45", L"秒"},
                                           UnitRestoreCase{"45", "false", L"45", L"秒"},
                                           UnitRestoreCase{"45", "FalseHood", L"45", L"秒"},
                                           UnitRestoreCase{"45", "fals", L"45", L"fals"},
                                           UnitRestoreCase{"abc", "Minutes", L"abc", L"Minutes"}));

TEST_F(StartupTest, AnIntervalThatIsNotANumberLeavesTheBarAt100) {
    Seed("TimerInterval", "abc");
    h.Load();
    EXPECT_EQ(Text(Control::txtInterval), L"abc");
    EXPECT_EQ(Text(Control::txtRemaining), L"abc");
    EXPECT_EQ(h.app.Progress().Max(), 100);
}

TEST_F(StartupTest, AnIntervalStoredAsANumberValueIsRead) {
    h.registry.Put(fakes::kSettingsKey, "TimerInterval", reg::RegDword, {30, 0, 0, 0});
    h.Load();
    EXPECT_EQ(Text(Control::txtInterval), L"30");
    EXPECT_EQ(Text(Control::txtRemaining), L"30");
}

struct BoxCase {
    const char* name;
    Control box;
    const char* stored;
    int value;
    bool writtenAgain;
    friend void PrintTo(const BoxCase& c, std::ostream* os) { *os << c.name << '=' << c.stored; }
};

class StartupBox : public StartupTest, public ::testing::WithParamInterface<BoxCase> {};

TEST_P(StartupBox, LoadsTheValueAndStoresItAgainOnlyWhenItChangesTheBox) {
    const BoxCase& c = GetParam();
    Seed(c.name, c.stored);
    h.Load();
    EXPECT_EQ(h.view.Value(c.box), c.value);
    if (c.writtenAgain) {
        ASSERT_EQ(h.registry.writes.size(), 1u);
        EXPECT_EQ(h.registry.writes[0].name, c.name);
        EXPECT_EQ(h.registry.writes[0].data, c.stored);
    } else {
        EXPECT_TRUE(h.registry.writes.empty());
    }
    EXPECT_TRUE(h.shell.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Values, StartupBox,
                         ::testing::Values(BoxCase{"SaveAs", Control::chkSaveAs, "1", 1, true},
                                           BoxCase{"SaveAs", Control::chkSaveAs, "0", 0, false},
                                           BoxCase{"SaveAs", Control::chkSaveAs, " ", 0, false},
                                           BoxCase{"SaveAs", Control::chkSaveAs, "abc", 0, false},
                                           BoxCase{"SaveAs", Control::chkSaveAs, "3", 0, false},
                                           BoxCase{"SaveAs", Control::chkSaveAs, "-1", 0, false},
                                           BoxCase{"SaveLog", Control::chkSave, "1", 1, true},
                                           BoxCase{"Current", Control::chkCurrent, "2", 2, true},
                                           BoxCase{"Visible", Control::chkVisible, "1", 1, false},
                                           BoxCase{"Visible", Control::chkVisible, "abc", 1, false}));

TEST_F(StartupTest, AStoredVisibleZeroClearsTheBoxStoresItAgainAndRefreshesBeforeTheShow) {
    Seed("Visible", "0");
    h.desktop.Add(50, L"MSN");
    h.desktop.Add(51, L"Editor");
    int enumerationsBeforeShow = -1;
    h.view.onShow = [&] {
        enumerationsBeforeShow = h.desktop.enumerations;
        h.app.Form_Resize();
        h.app.Form_Activate();
    };
    h.Load();
    EXPECT_EQ(h.view.Value(Control::chkVisible), 0);
    EXPECT_EQ(h.Stored("Visible"), L"0");
    EXPECT_EQ(enumerationsBeforeShow, 1);
    EXPECT_EQ(h.desktop.enumerations, 2) << "the first activation refreshes once more";
    h.FillLists();
    EXPECT_EQ(h.view.ListItems(Control::List1), (Strings{L"Editor ", L"岚舟自动保存 "})) << "prefix filter";
}

class KeyboardSetupFailure : public StartupTest, public ::testing::WithParamInterface<KeyboardSetupStep> {};

TEST_P(KeyboardSetupFailure, EndsTheProgramWithAMessageAndTouchesNothing) {
    h.system.keyboardFailsAt = GetParam();
    Seed("SaveAs", "1");
    const auto keysBefore = h.registry.keys;
    EXPECT_EQ(h.Load(), frmMain::LoadResult::EndProgram);
    ASSERT_EQ(h.shell.messages.size(), 1u);
    EXPECT_EQ(h.shell.messages[0].caption, L"岚舟自动保存");
    EXPECT_TRUE(h.tray.calls.empty());
    EXPECT_FALSE(h.tray.iconExists);
    EXPECT_EQ(h.view.shows, 0);
    EXPECT_TRUE(h.registry.writes.empty());
    EXPECT_EQ(h.registry.keys.size(), keysBefore.size());
    EXPECT_FALSE(h.view.TimerOf(Timer::tmrKey).intervalMs > 0);
    h.app.OnTaskbarCreated();
    EXPECT_TRUE(h.tray.calls.empty()) << "no icon to bring back";
}

INSTANTIATE_TEST_SUITE_P(Steps, KeyboardSetupFailure,
                         ::testing::Values(KeyboardSetupStep::CreateDirectInput,
                                           KeyboardSetupStep::CreateDevice, KeyboardSetupStep::SetDataFormat,
                                           KeyboardSetupStep::SetCooperativeLevel,
                                           KeyboardSetupStep::Acquire));

TEST(KeyboardSetupMessageTest, TheFirstStepSaysItCannotCarryOutTheRequestAndTheOthersNameTheStep) {
    EXPECT_EQ(KeyboardSetupMessage(KeyboardSetupStep::CreateDirectInput, 5), L"无法执行请求");
    const std::pair<KeyboardSetupStep, const wchar_t*> named[] = {
        {KeyboardSetupStep::CreateDevice, L"CreateDevice"},
        {KeyboardSetupStep::SetDataFormat, L"SetDataFormat"},
        {KeyboardSetupStep::SetCooperativeLevel, L"SetCooperativeLevel"},
        {KeyboardSetupStep::Acquire, L"Acquire"}};
    for (const auto& [step, name] : named) {
        const std::wstring message = KeyboardSetupMessage(step, 0x8007001E);
        EXPECT_NE(message.find(name), std::wstring::npos) << testing::PrintToString(message);
        EXPECT_NE(message.find(L"8007001E"), std::wstring::npos) << testing::PrintToString(message);
    }
}

struct CentreCase {
    int screenWidth, screenHeight;
    double formWidth, formHeight;
    double left, top;
};

class Centring : public ::testing::TestWithParam<CentreCase> {};

TEST_P(Centring, CentresOnTheFullScreenAreaRoundingHalvesToEven) {
    const CentreCase& c = GetParam();
    const TwipPoint at = CenteredPosition(c.screenWidth, c.screenHeight, 15, 15, c.formWidth, c.formHeight);
    EXPECT_EQ(at.left, c.left);
    EXPECT_EQ(at.top, c.top);
}

INSTANTIATE_TEST_SUITE_P(Screens, Centring,
                         ::testing::Values(CentreCase{1024, 768, 4800, 3000, 5280, 4260},
                                           CentreCase{1023, 767, 4800, 3000, 5272, 4252},
                                           CentreCase{1023, 767, 4801, 3001, 5272, 4252},
                                           CentreCase{1023, 767, 4802, 3002, 5272, 4252},
                                           CentreCase{800, 600, 20000, 10000, -4000, -500}));

TEST_F(StartupTest, LoadCentresTheWindowAndKeepsItsSize) {
    h.system.screenWidth = 1024;
    h.system.screenHeight = 738;
    h.view.widthTwips = 4800;
    h.view.heightTwips = 3000;
    h.Load();
    EXPECT_EQ(h.view.leftTwips, 5280);
    EXPECT_EQ(h.view.topTwips, 4035);
    EXPECT_EQ(h.view.widthTwips, 4800);
}

class LifecycleTest : public StartupTest {
protected:
    void SetUp() override { ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown); }
    int AboutEntries() const {
        return static_cast<int>(std::count_if(h.shell.systemMenu.begin(), h.shell.systemMenu.end(),
                                              [](const auto& item) { return item.second == L"关于..."; }));
    }
};

TEST_F(LifecycleTest, MinimisingHidesTheWindowAndAnyOtherStateShowsIt) {
    h.desktop.calls.clear();
    h.view.SetState(WindowState::Minimized);
    h.view.SetState(WindowState::Maximized);
    h.view.SetState(WindowState::Normal);
    const std::vector<fakes::DesktopCall> expected{
        {"Hide", h.view.handle}, {"ShowNormal", h.view.handle}, {"ShowNormal", h.view.handle}};
    EXPECT_EQ(h.desktop.calls, expected);
    EXPECT_TRUE(h.tray.iconExists) << "the icon stays while the window is hidden";
}

TEST_F(LifecycleTest, EveryReturnFromTheTrayRefreshesTheListsButAboutIsAppendedOnce) {
    for (int i = 0; i < 3; ++i) {
        h.view.SetState(WindowState::Minimized);
        h.view.SetState(WindowState::Normal);
        h.app.Form_Activate();
    }
    EXPECT_EQ(h.desktop.enumerations, 4);
    EXPECT_EQ(AboutEntries(), 1);
    EXPECT_EQ(h.shell.systemMenu.size(), 7u) << "the standard entries stay";
}

TEST_F(LifecycleTest, ComingBackFromAnotherProgramWhileShownKeepsTheListsAndSelection) {
    h.desktop.Add(60, L"Editor");
    h.app.OnClick(Control::Command1);
    h.FillLists();
    h.view.SetListIndex(Control::List1, 0);
    ASSERT_EQ(h.view.ListIndex(Control::List1), 0);
    h.app.Form_Activate();
    EXPECT_EQ(h.desktop.enumerations, 2);
    EXPECT_EQ(h.view.ListIndex(Control::List1), 0);
}

TEST_F(LifecycleTest, TheExitButtonRemovesTheIconReleasesTheKeyboardAndWritesNothing) {
    h.registry.PutText(fakes::kSettingsKey, "SaveAs", "1");
    const auto keysBefore = h.registry.keys;
    h.app.OnClick(Control::XPButton1);
    EXPECT_EQ(h.view.closes, 1);
    EXPECT_FALSE(h.tray.iconExists);
    EXPECT_GE(h.tray.CountOf(TrayRequest::Delete), 1);
    EXPECT_EQ(h.tray.calls.back().record.window, h.view.handle);
    EXPECT_EQ(h.tray.calls.back().record.id, 1u);
    EXPECT_EQ(h.system.keyboard.unacquires, 1);
    EXPECT_TRUE(h.registry.writes.empty());
    EXPECT_EQ(h.registry.keys.size(), keysBefore.size());
    EXPECT_EQ(h.system.appendCalls, 0);
}

TEST_F(LifecycleTest, ClosingWhileSavingIsOnIsNotRefusedAndRemovesTheIcon) {
    h.view.SetValue(Control::optOn, 1);
    h.view.SetValue(Control::optOff, 0);
    h.app.Form_QueryUnload();
    EXPECT_FALSE(h.tray.iconExists);
}

TEST_F(LifecycleTest, EachClosingStepAloneRemovesTheIcon) {
    for (auto step : {&frmMain::Form_QueryUnload, &frmMain::Form_Unload, &frmMain::Form_Terminate}) {
        h.tray.iconExists = true;
        h.tray.shown = h.app.Icon().Record();
        (h.app.*step)();
        EXPECT_FALSE(h.tray.iconExists);
    }
}

TEST_F(LifecycleTest, TheTrayMenusExitRemovesTheIconAndEndsAtOnceWithoutUnloading) {
    h.shell.menuChoice = 77;
    EXPECT_THROW(h.app.Form_MouseMove({1, 0x205, true, 0, 0}), fakes::ProcessExited);
    EXPECT_FALSE(h.tray.iconExists);
    EXPECT_EQ(h.shell.exits, 1);
    EXPECT_EQ(h.system.keyboard.unacquires, 0);
    EXPECT_EQ(h.view.closes, 0);
}

TEST_F(LifecycleTest, TaskbarCreatedAddsTheIconAgainWithTheSameRecord) {
    const TrayIconRecord added = h.tray.calls.back().record;
    h.tray.iconExists = false; // Explorer restarted
    h.app.OnTaskbarCreated();
    EXPECT_TRUE(h.tray.iconExists);
    EXPECT_EQ(h.tray.calls.back().request, TrayRequest::Add);
    EXPECT_EQ(h.tray.calls.back().record, added);
}

TEST_F(LifecycleTest, CheckBoxClicksStoreTheirValue) {
    h.app.OnClick(Control::chkSaveAs);
    h.app.OnClick(Control::chkSaveAs);
    h.app.OnClick(Control::chkSave);
    h.app.OnClick(Control::chkCurrent);
    ASSERT_EQ(h.registry.writes.size(), 4u);
    const std::pair<const char*, const char*> expected[] = {
        {"SaveAs", "1"}, {"SaveAs", "0"}, {"SaveLog", "1"}, {"Current", "1"}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(h.registry.writes[i].name, expected[i].first);
        EXPECT_EQ(h.registry.writes[i].data, expected[i].second);
        EXPECT_EQ(h.registry.writes[i].key,
                  *fakes::FakeRegistry::KeyName(reg::HKeyLocalMachine, fakes::kSettingsKey));
    }
    EXPECT_EQ(h.desktop.enumerations, 1) << "only chkVisible refreshes the lists";
}

TEST_F(LifecycleTest, ClickingChkVisibleStoresItAndRebuildsTheListsLosingTheSelection) {
    h.desktop.Add(60, L"MSN");
    h.desktop.Add(61, L"Editor");
    h.FillLists();
    h.view.SetListIndex(Control::List1, 0);
    h.app.OnClick(Control::chkVisible);
    EXPECT_EQ(h.Stored("Visible"), L"0");
    EXPECT_TRUE(h.view.ListItems(Control::List1).empty());
    EXPECT_EQ(h.view.ListIndex(Control::List1), -1);
    h.FillLists();
    EXPECT_EQ(h.view.ListItems(Control::List1), (Strings{L"Editor ", L"岚舟自动保存 "}));
}

TEST_F(LifecycleTest, AGreyedBoxClickedByTheUserBecomesChecked) {
    h.view.SetValue(Control::chkSaveAs, 2);
    h.app.OnClick(Control::chkSaveAs);
    EXPECT_EQ(h.view.Value(Control::chkSaveAs), 1);
    EXPECT_EQ(h.Stored("SaveAs"), L"1");
}

} // namespace
} // namespace quillon
