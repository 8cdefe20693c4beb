#define DIRECTINPUT_VERSION 0x0700
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/Win32Platform.h"

#include <dinput.h>


namespace quillon::win32 {
namespace {

struct HookTraits {
    using pointer = HHOOK;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { UnhookWindowsHookEx(h); }
};
using UniqueHook = UniqueHandle<HookTraits>;

// Tells the main window when F2 or F3 goes down or up, so the device needs reading only then.
// A low-level keyboard hook is called on the thread that set it, for every key of the session,
// and the system silently removes a hook that answers later than its timeout. So the hook gets a
// thread of its own that does nothing but pass each key on and post a message: it answers at
// once whatever the main window's thread is busy with, and no key the user types waits on it.
class ChangeSignal {
public:
    explicit ChangeSignal(HWND window) : ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        window_ = window; // set before the thread starts, which makes it visible there
        if (ready_)
            thread_.reset(CreateThread(nullptr, 0, Run, this, 0, &threadId_));
        if (thread_)
            WaitForSingleObject(ready_.get(), INFINITE);
    }
    ~ChangeSignal() {
        if (!thread_)
            return;
        // The thread's queue exists before it signals ready, so the quit message cannot be lost.
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        WaitForSingleObject(thread_.get(), INFINITE);
    }
    ChangeSignal(const ChangeSignal&) = delete;
    ChangeSignal& operator=(const ChangeSignal&) = delete;

    bool Active() const { return hooked_; }

private:
    static DWORD WINAPI Run(void* context) {
        auto* self = static_cast<ChangeSignal*>(context);
        MSG message;
        PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE); // creates the queue
        UniqueHook hook(SetWindowsHookExW(WH_KEYBOARD_LL, OnKey, GetModuleHandleW(nullptr), 0));
        self->hooked_ = static_cast<bool>(hook);
        SetEvent(self->ready_.get());
        // The hook is called from inside GetMessage; the loop ends with WM_QUIT.
        while (hook && GetMessageW(&message, nullptr, 0, 0) > 0) {
        }
        return 0;
    }

    static LRESULT CALLBACK OnKey(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HC_ACTION) {
            const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
            if (key->vkCode == VK_F2 || key->vkCode == VK_F3)
                PostMessageW(window_, kKeyboardChangedMessage, 0, 0);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static inline HWND window_ = nullptr; // the hook procedure has no context of its own
    UniqueKernelHandle ready_;            // set once the thread has its queue and has tried to hook
    UniqueKernelHandle thread_;
    DWORD threadId_ = 0;
    bool hooked_ = false;
};

class DirectInputKeyboard final : public IKeyboardDevice {
public:
    DirectInputKeyboard(ComPtr<IDirectInput7W> directInput, ComPtr<IDirectInputDevice7W> device,
                        std::unique_ptr<ChangeSignal> signal)
        : directInput_(std::move(directInput)), device_(std::move(device)), signal_(std::move(signal)) {}
    ~DirectInputKeyboard() override { signal_.reset(); }

    KeyboardRead ReadState(std::array<std::uint8_t, 256>& state) override {
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
    // Without the signal the watch reads the device on a 10 ms clock instead.
    auto signal = std::make_unique<ChangeSignal>(window);
    if (FAILED(result = device.get()->Acquire()))
        return Failure(KeyboardSetupStep::Acquire, result);

    KeyboardSetup setup;
    setup.device =
        std::make_unique<DirectInputKeyboard>(std::move(directInput), std::move(device), std::move(signal));
    return setup;
}

} // namespace quillon::win32
