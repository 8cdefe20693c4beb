#define DIRECTINPUT_VERSION 0x0700
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/Win32Platform.h"

#include <dinput.h>

namespace quillon::win32 {
namespace {

class DirectInputKeyboard final : public IKeyboardDevice {
public:
    DirectInputKeyboard(ComPtr<IDirectInput7W> directInput, ComPtr<IDirectInputDevice7W> device)
        : directInput_(std::move(directInput)), device_(std::move(device)) {}

    KeyboardRead ReadState(std::array<std::uint8_t, 256>& state) override {
        const HRESULT result = device_.get()->GetDeviceState(static_cast<DWORD>(state.size()), state.data());
        if (result == DIERR_INPUTLOST || result == DIERR_NOTACQUIRED)
            return KeyboardRead::InputLost;
        return SUCCEEDED(result) ? KeyboardRead::Ok : KeyboardRead::Failed;
    }

    bool Acquire() override { return SUCCEEDED(device_.get()->Acquire()); }
    void Unacquire() override { device_.get()->Unacquire(); }

private:
    ComPtr<IDirectInput7W> directInput_; // declared first, released last
    ComPtr<IDirectInputDevice7W> device_;
};

KeyboardSetup Failure(KeyboardSetupStep step, HRESULT result) {
    KeyboardSetup setup;
    setup.failedStep = step;
    setup.errorCode = static_cast<std::uint32_t>(result);
    return setup;
}

} // namespace

KeyboardSetup OpenDirectInputKeyboard(HINSTANCE instance, HWND window) {
    IDirectInput7W* rawInput = nullptr;
    HRESULT result = DirectInputCreateEx(instance, DIRECTINPUT_VERSION, IID_IDirectInput7W,
                                         reinterpret_cast<void**>(&rawInput), nullptr);
    if (FAILED(result))
        return Failure(KeyboardSetupStep::CreateDirectInput, result);
    ComPtr<IDirectInput7W> directInput(rawInput);

    IDirectInputDevice7W* rawDevice = nullptr;
    result = directInput.get()->CreateDeviceEx(GUID_SysKeyboard, IID_IDirectInputDevice7W,
                                               reinterpret_cast<void**>(&rawDevice), nullptr);
    if (FAILED(result))
        return Failure(KeyboardSetupStep::CreateDevice, result);
    ComPtr<IDirectInputDevice7W> device(rawDevice);

    if (FAILED(result = device.get()->SetDataFormat(&c_dfDIKeyboard)))
        return Failure(KeyboardSetupStep::SetDataFormat, result);
    if (FAILED(result = device.get()->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND)))
        return Failure(KeyboardSetupStep::SetCooperativeLevel, result);
    if (FAILED(result = device.get()->Acquire()))
        return Failure(KeyboardSetupStep::Acquire, result);

    KeyboardSetup setup;
    setup.device = std::make_unique<DirectInputKeyboard>(std::move(directInput), std::move(device));
    return setup;
}

} // namespace quillon::win32
