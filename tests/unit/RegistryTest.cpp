#include "settings/Registry.h"

#include "fakes/AppHarness.h"
#include "fakes/FakeRegistry.h"
#include "fakes/FakeSystem.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using fakes::FakeRegistry;

constexpr std::uint32_t kRoot = reg::HKeyLocalMachine;
const std::string kKey = "Software\\Brellon Studios\\Quillon";

class RegistryStore : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(registry.OpenHandles(), 0) << "a key was left open"; }

    std::wstring Read(const std::string& name, const std::string& path = kKey + "\\") {
        return ReadRegString(registry, system, kRoot, path, name);
    }
    bool Save(const std::string& name, const std::wstring& text, const std::string& path = "\\" + kKey) {
        return SaveRegString(registry, system, kRoot, path, name, text);
    }
    std::string StoredBytes(const std::string& name) const {
        const fakes::RegValue* value = registry.Get(kKey, name);
        return value ? std::string(value->data.begin(), value->data.end()) : "<absent>";
    }
    static std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

    fakes::FakeClock clock;
    fakes::FakeSystem system{clock};
    FakeRegistry registry;
};

TEST_F(RegistryStore, EmptyTextIsStoredAsOneSpaceAndReadsBackAsThatSpace) {
    EXPECT_TRUE(Save("SaveAs", L""));
    EXPECT_EQ(StoredBytes("SaveAs"), " ");
    EXPECT_EQ(Read("SaveAs"), L" ");
}

TEST_F(RegistryStore, TextIsStoredAsRegSzWithoutATerminator) {
    EXPECT_TRUE(Save("TimeMeasurement", L"Minutes"));
    const fakes::RegValue* value = registry.Get(kKey, "TimeMeasurement");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->type, reg::RegSz);
    EXPECT_EQ(value->data, Bytes("Minutes"));
    EXPECT_EQ(Read("TimeMeasurement"), L"Minutes");
}

TEST_F(RegistryStore, ReadingFromAMissingKeyGivesEmptyTextAndCreatesNothing) {
    for (const char* name : {"TimerInterval", "SaveAs", "SaveLog", "Current", "Visible", "TimeMeasurement"})
        EXPECT_EQ(Read(name), L"") << name;
    EXPECT_TRUE(registry.keys.empty());
    EXPECT_TRUE(registry.writes.empty());
}

TEST_F(RegistryStore, AMissingValueInAnExistingKeyReadsAsEmptyText) {
    registry.PutText(kKey, "SaveAs", "1");
    EXPECT_EQ(Read("Current"), L"");
    EXPECT_EQ(registry.opened, 1);
    EXPECT_EQ(registry.closed, 1);
}

TEST_F(RegistryStore, TheWriterAndReaderPathsNameTheSameKey) {
    ASSERT_TRUE(Save("TimerInterval", L"30", "\\" + kKey));
    EXPECT_TRUE(registry.KeyExists(kKey));
    EXPECT_TRUE(registry.KeyExists("Software\\Brellon Studios"));
    EXPECT_EQ(Read("TimerInterval", kKey + "\\"), L"30");
    EXPECT_EQ(Read("TimerInterval", "\\" + kKey), L"30");
    EXPECT_EQ(Read("TimerInterval", kKey), L"30");
}

TEST_F(RegistryStore, BothCallsAskForTheSameAccessAndTheWriterGivesClassOne) {
    Save("SaveLog", L"1");
    Read("SaveLog");
    EXPECT_EQ(registry.accessMasks, (std::vector<std::uint32_t>{0x2003Fu, 0x2003Fu}));
    EXPECT_EQ(registry.lastClass, "1");
}

struct DwordCase {
    std::uint32_t raw;
    const wchar_t* expected;
    friend void PrintTo(const DwordCase& c, std::ostream* os) { *os << c.raw; }
};

class RegistryDword : public RegistryStore, public ::testing::WithParamInterface<DwordCase> {};

TEST_P(RegistryDword, ReadsAsSignedDecimal) {
    const std::uint32_t v = GetParam().raw;
    registry.Put(kKey, "TimerInterval", reg::RegDword,
                 {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                  static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)});
    EXPECT_EQ(Read("TimerInterval"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Numbers, RegistryDword,
                         ::testing::Values(DwordCase{30, L"30"}, DwordCase{256, L"256"}, DwordCase{0, L"0"},
                                           DwordCase{0xFFFFFFFFu, L"-1"},
                                           DwordCase{0x80000000u, L"-2147483648"},
                                           DwordCase{0x01020304u, L"16909060"}));

// A number stored with fewer than four bytes reads as if padded with zero bytes; one with no bytes
// at all reads as 0 (its data was once copied from a null pointer, which the sanitizer build
// reports as undefined behaviour).
TEST_F(RegistryStore, ShortNumbersReadAsIfPaddedWithZeroBytes) {
    registry.Put(kKey, "TimerInterval", reg::RegDword, {});
    EXPECT_EQ(Read("TimerInterval"), L"0");
    registry.Put(kKey, "TimerInterval", reg::RegDword, {0x2A});
    EXPECT_EQ(Read("TimerInterval"), L"42");
    registry.Put(kKey, "TimerInterval", reg::RegDword, {0x00, 0x01});
    EXPECT_EQ(Read("TimerInterval"), L"256");
    registry.Put(kKey, "TimerInterval", reg::RegDword, {0xFF, 0xFF, 0xFF});
    EXPECT_EQ(Read("TimerInterval"), L"16777215");
    registry.Put(kKey, "TimerInterval", reg::RegDword, {0x05, 0, 0, 0, 0x77, 0x77});
    EXPECT_EQ(Read("TimerInterval"), L"5") << "bytes past the fourth are not part of the number";
}

TEST_F(RegistryStore, TypesOtherThanTextAndNumberReadAsEmptyText) {
    registry.Put(kKey, "SaveAs", reg::RegBinary, {'1'});
    registry.Put(kKey, "Visible", reg::RegMultiSz, {'0', 0, 0});
    registry.Put(kKey, "Current", 0 /* REG_NONE */, {'1'});
    EXPECT_EQ(Read("SaveAs"), L"");
    EXPECT_EQ(Read("Visible"), L"");
    EXPECT_EQ(Read("Current"), L"");
}

TEST_F(RegistryStore, ExpandableTextIsReturnedUnexpanded) {
    registry.Put(kKey, "TimeMeasurement", reg::RegExpandSz, Bytes("%SystemRoot%\\x"));
    EXPECT_EQ(Read("TimeMeasurement"), L"%SystemRoot%\\x");
}

TEST_F(RegistryStore, TextIsCutAtItsFirstNul) {
    registry.Put(kKey, "TimerInterval", reg::RegSz, {'4', '5', 0, '9', '9'});
    EXPECT_EQ(Read("TimerInterval"), L"45");
}

TEST_F(RegistryStore, TextIsConvertedFromTheAnsiCodePage) {
    registry.PutText(kKey, "TimeMeasurement", fakes::Utf8(L"分"));
    EXPECT_EQ(Read("TimeMeasurement"), L"分");
}

TEST_F(RegistryStore, TextJustBelowTheBufferSizeIsRead) {
    registry.PutText(kKey, "TimerInterval", std::string(1023, '7'));
    EXPECT_EQ(Read("TimerInterval"), std::wstring(1023, L'7'));
}

TEST_F(RegistryStore, TextLargerThanTheBufferReadsAsEmptyText) {
    registry.PutText(kKey, "TimerInterval", std::string(1025, '7'));
    EXPECT_EQ(Read("TimerInterval"), L"");
}

// A text of 1024 bytes or more reads as empty text: a value of exactly 1024 bytes stored without a
// terminator fits the store's 1024-byte buffer but has no room for the end of the text.
TEST_F(RegistryStore, TextOfExactlyTheBufferSizeReadsAsEmptyText) {
    registry.PutText(kKey, "TimerInterval", std::string(1024, '7'));
    EXPECT_EQ(Read("TimerInterval"), L"");
}

TEST_F(RegistryStore, AFailedCreateReturnsFalseAndStoresNothing) {
    registry.createFails = true;
    EXPECT_FALSE(Save("SaveAs", L"1"));
    EXPECT_TRUE(registry.keys.empty());
}

TEST_F(RegistryStore, AFailedSetReturnsFalseAndStillClosesTheKey) {
    registry.setFails = true;
    EXPECT_FALSE(Save("SaveAs", L"1"));
    EXPECT_EQ(registry.opened, 1);
    EXPECT_EQ(registry.closed, 1);
}

TEST_F(RegistryStore, EveryCallClosesTheKeyItOpened) {
    Save("SaveAs", L"1");
    Read("SaveAs");
    Read("Missing");
    registry.Put(kKey, "Bin", reg::RegBinary, {1});
    Read("Bin");
    EXPECT_EQ(registry.opened, 4);
    EXPECT_EQ(registry.closed, 4);
}


TEST_F(RegistryStore, AKeyThatMayOnlyBeReadIsOpenedForReading) {
    registry.PutText(kKey, "TimerInterval", "45");
    registry.grantedAccess = reg::ReadAccess; // a standard user's rights under HKLM
    EXPECT_EQ(ReadRegString(registry, system, reg::HKeyLocalMachine, kKey, "TimerInterval"), L"45");
    EXPECT_EQ(registry.OpenHandles(), 0);
}

TEST(SettingsRefused, ARefusedWriteIsSaidOnceNamingTheKeyAndTheProgramGoesOn) {
    fakes::AppHarness h;
    h.registry.createFails = true;
    h.Load();
    h.app.OnClick(Control::chkSaveAs);
    h.app.OnClick(Control::chkSaveAs);
    h.app.OnClick(Control::chkSave);
    ASSERT_EQ(h.shell.messages.size(), 1u);
    EXPECT_EQ(h.shell.messages[0].caption, L"错误!");
    EXPECT_NE(h.shell.messages[0].text.find(L"HKEY_LOCAL_MACHINE\\Software\\Brellon Studios\\Quillon"),
              std::wstring::npos);
    EXPECT_EQ(h.view.Value(Control::chkSave), 1) << "the box keeps the user's value";
}

// A standard user of the 64-bit program, whose options an administrator set: start-up stores
// again each box value it has just read, which the registry refuses, and nothing is lost by it.
TEST(SettingsRefused, AStartUpThatStoresAgainTheBoxValuesItReadSaysNothing) {
    fakes::AppHarness h;
    for (const char* name : {"SaveAs", "SaveLog", "Current"})
        h.registry.PutText(fakes::kSettingsKey, name, "1");
    h.registry.PutText(fakes::kSettingsKey, "Visible", "0");
    h.registry.grantedAccess = reg::ReadAccess;
    ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
    EXPECT_EQ(h.view.Value(Control::chkSaveAs), 1);
    EXPECT_EQ(h.view.Value(Control::chkSave), 1);
    EXPECT_EQ(h.view.Value(Control::chkCurrent), 1);
    EXPECT_EQ(h.view.Value(Control::chkVisible), 0);
    EXPECT_TRUE(h.shell.messages.empty());
    h.app.OnClick(Control::chkSaveAs);
    EXPECT_EQ(h.shell.messages.size(), 1u) << "the user's own change is refused, and said";
}

} // namespace
} // namespace quillon
