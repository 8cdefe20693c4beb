#define DIRECTINPUT_VERSION 0x0700
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/Win32Platform.h"

#include <dinput.h>

#include <atomic>

namespace quillon::win32 {
namespace {

// Tells the main window of key changes: the device sets an event at every change, and a wait of
// the system's thread pool turns it into a message that every message loop of the window
// delivers, menus and dialogs included. While no key changes, nothing in Quillon runs.
class ChangeSignal {
public:
    ChangeSignal(IDirectInputDevice7W* device, HWND window) : window_(window) {
        event_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        if (!event_ || FAILED(device->SetEventNotification(event_.get())))
            return;
        HANDLE wait = nullptr;
        if (RegisterWaitForSingleObject(&wait, event_.get(), OnChange, this, INFINITE, WT_EXECUTEINWAITTHREAD))
            wait_ = wait;
        else
            device->SetEventNotification(nullptr);
    }
    ~ChangeSignal() {
        if (wait_)
            UnregisterWaitEx(wait_, INVALID_HANDLE_VALUE); // returns once no callback runs
    }
    ChangeSignal(const ChangeSignal&) = delete;
    ChangeSignal& operator=(const ChangeSignal&) = delete;

    bool Active() const { return wait_ != nullptr; }
    // The window is reading the device: the next change is worth a message again.
    void Taken() { posted_.store(false); }

private:
    static VOID CALLBACK OnChange(PVOID context, BOOLEAN) {
        auto* self = static_cast<ChangeSignal*>(context);
        if (!self->posted_.exchange(true))
            PostMessageW(self->window_, kKeyboardChangedMessage, 0, 0);
    }

    HWND window_;
    UniqueKernelHandle event_;
    HANDLE wait_ = nullptr;
    std::atomic<bool> posted_{false};
};

class DirectInputKeyboard final : public IKeyboardDevice {
public:
    DirectInputKeyboard(ComPtr<IDirectInput7W> directInput, ComPtr<IDirectInputDevice7W> device,
                        std::unique_ptr<ChangeSignal> signal)
        : directInput_(std::move(directInput)), device_(std::move(device)), signal_(std::move(signal)) {}
    ~DirectInputKeyboard() override {
        device_.get()->Unacquire();
        signal_.reset(); // no callback runs after this
        device_.get()->SetEventNotification(nullptr);
    }

    KeyboardRead ReadState(std::array<std::uint8_t, 256>& state) override {
        signal_->Taken();
        const HRESULT result = device_.get()->GetDeviceState(static_cast<DWORD>(state.size()), state.data());
        if (result == DIERR_INPUTLOST || result == DIERR_NOTACQUIRED)
            return KeyboardRead::InputLost;
        return SUCCEEDED(result) ? KeyboardRead::Ok : KeyboardRead::Failed;
    }

    bool Acquire() override { return SUCCEEDED(device_.get()->Acquire()); }
    void Unacquire() override { device_.get()->Unacquire(); }
    bool SignalsChanges() const override { return signal_->Active(); }

private:
    ComPtr<IDirectInput7W> directInput_; // declared first, released last
    ComPtr<IDirectInputDevice7W> device_;
    std::unique_ptr<ChangeSignal> signal_;
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
    // The event is given before the device is acquired, which it must be. Without it the watch
    // reads the device on a 10 ms clock instead.
    auto signal = std::make_unique<ChangeSignal>(device.get(), window);
    if (FAILED(result = device.get()->Acquire()))
        return Failure(KeyboardSetupStep::Acquire, result);

    KeyboardSetup setup;
    setup.device =
        std::make_unique<DirectInputKeyboard>(std::move(directInput), std::move(device), std::move(signal));
    return setup;
}

} // namespace quillon::win32
