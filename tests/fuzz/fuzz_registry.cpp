// The settings store over values of any type and size, and start-up over hostile settings:
// ReadRegString serves exactly the texts and 32-bit numbers it documents, and start-up followed
// by a few ticks neither crashes nor leaves a key open.
#include "FuzzSupport.h"

#include "fakes/AppHarness.h"
#include "settings/Registry.h"

using namespace quillon;
using fakes::AppHarness;
using fuzz::Show;

namespace {

const std::string kKey = "Software\\Brellon Studios\\Quillon";

std::uint32_t AnyType(FuzzedDataProvider& data) {
    // Mostly the types that matter, now and then any number.
    static const std::uint32_t kTypes[] = {reg::RegSz,     reg::RegExpandSz, reg::RegBinary, reg::RegDword,
                                           reg::RegMultiSz, 0 /* REG_NONE */, 5 /* big-endian */,
                                           11 /* QWORD */};
    if (data.ConsumeIntegralInRange(0, 9) == 0)
        return data.ConsumeIntegral<std::uint32_t>();
    return data.PickValueInArray(kTypes);
}

std::vector<std::uint8_t> AnyData(FuzzedDataProvider& data) {
    std::size_t size = data.ConsumeIntegralInRange<std::size_t>(0, 1100);
    // Sizes around the store's 1024-byte buffer are the interesting ones.
    if (data.ConsumeBool())
        size = data.ConsumeIntegralInRange<std::size_t>(1020, 1030);
    std::vector<std::uint8_t> bytes = data.ConsumeBytes<std::uint8_t>(data.ConsumeIntegralInRange<std::size_t>(0, size));
    const std::uint8_t fill = data.ConsumeIntegral<std::uint8_t>();
    bytes.resize(size, fill);
    return bytes;
}

// What the store documents for one stored value.
std::wstring Expected(std::uint32_t type, const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() > 1024)
        return L"";
    if (type == reg::RegSz || type == reg::RegExpandSz) {
        const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
        if (end == bytes.end() && bytes.size() == 1024)
            return L"";
        return fakes::FromUtf8(std::string(bytes.begin(), end));
    }
    if (type == reg::RegDword) {
        std::uint32_t raw = 0;
        for (std::size_t i = 0; i < 4 && i < bytes.size(); ++i)
            raw |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
        return std::to_wstring(static_cast<std::int32_t>(raw));
    }
    return L"";
}

void ReadOneValue(FuzzedDataProvider& data) {
    fuzz::FakeFailures failures;
    fakes::FakeClock clock;
    fakes::FakeSystem system{clock};
    fakes::FakeRegistry registry;
    const std::uint32_t type = AnyType(data);
    const std::vector<std::uint8_t> bytes = AnyData(data);
    const int where = data.ConsumeIntegralInRange(0, 3); // 0 no key, 1 no value, else the value
    if (where == 1)
        registry.Put(kKey, "Other", type, bytes);
    else if (where >= 2)
        registry.Put(kKey, "Value", type, bytes);
    const std::wstring text = ReadRegString(registry, system, reg::HKeyLocalMachine, kKey + "\\", "Value");
    FUZZ_CHECK(registry.OpenHandles() == 0) << "a key was left open";
    const std::wstring expected = where >= 2 ? Expected(type, bytes) : L"";
    FUZZ_CHECK(text == expected) << "type " << type << ", " << bytes.size() << " bytes: read " << Show(text)
                                 << ", expected " << Show(expected);
    FUZZ_CHECK(registry.writes.empty()) << "reading wrote the registry";
}

void StartUp(FuzzedDataProvider& data) {
    fuzz::FakeFailures failures;
    AppHarness app;
    for (const std::string* name : {&settings::TimerInterval, &settings::SaveAs, &settings::SaveLog,
                                    &settings::Current, &settings::Visible, &settings::TimeMeasurement}) {
        if (data.ConsumeBool()) {
            const std::uint32_t type = AnyType(data);
            app.registry.Put(kKey, *name, type, AnyData(data));
        }
    }
    app.desktop.Add(0x2002, L"Notes - Editor").style = fakes::kWsVisible | fakes::kWsBorder;
    FUZZ_CHECK(app.Load() == frmMain::LoadResult::Shown);
    FUZZ_CHECK(app.registry.OpenHandles() == 0) << "start-up left a key open";
    const int ticks = data.ConsumeIntegralInRange(1, 8);
    for (int i = 0; i < ticks; ++i) {
        app.clock.Advance(1000);
        if (i == 1 && app.view.ListCount(Control::List1) > 0)
            app.view.SetListIndex(Control::List1, 0);
        if (i == 2)
            app.app.OnClick(Control::optOn);
        for (Timer timer : {Timer::tmrRefresh, Timer::tmrKey, Timer::tmrWait, Timer::tmrLoop})
            if (app.view.TimerRunning(timer))
                app.app.OnTimer(timer);
        app.RunDelivery(1000);
    }
    FUZZ_CHECK(app.registry.OpenHandles() == 0) << "a key was left open";
    for (Control box : {Control::chkSaveAs, Control::chkSave, Control::chkCurrent, Control::chkVisible}) {
        const int value = app.view.Value(box);
        FUZZ_CHECK(value >= 0 && value <= 2) << "box " << static_cast<int>(box) << " holds " << value;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    if (data.ConsumeBool())
        ReadOneValue(data);
    else
        StartUp(data);
    return 0;
}
