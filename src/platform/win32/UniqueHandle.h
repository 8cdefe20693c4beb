// One small move-only owner for every kind of Win32 handle the program holds.
#pragma once

#include <windows.h>

#include <cstdint>
#include <utility>

namespace quillon::win32 {

template <class Traits> class UniqueHandle {
public:
    using pointer = typename Traits::pointer;

    UniqueHandle() = default;
    explicit UniqueHandle(pointer value) : value_(value) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    pointer get() const { return value_; }
    explicit operator bool() const { return value_ != Traits::invalid(); }
    pointer release() { return std::exchange(value_, Traits::invalid()); }
    void reset(pointer value = Traits::invalid()) {
        if (value_ != Traits::invalid())
            Traits::close(value_);
        value_ = value;
    }

private:
    pointer value_ = Traits::invalid();
};

struct FileTraits {
    using pointer = HANDLE;
    static pointer invalid() { return INVALID_HANDLE_VALUE; }
    static void close(pointer h) { CloseHandle(h); }
};
struct KernelHandleTraits {
    using pointer = HANDLE;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { CloseHandle(h); }
};
struct MenuTraits {
    using pointer = HMENU;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { DestroyMenu(h); }
};
struct FontTraits {
    using pointer = HFONT;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { DeleteObject(h); }
};
struct IconTraits {
    using pointer = HICON;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { DestroyIcon(h); }
};
struct RegistryKeyTraits {
    using pointer = HKEY;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { RegCloseKey(h); }
};
struct WinEventHookTraits {
    using pointer = HWINEVENTHOOK;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { UnhookWinEvent(h); }
};
template <class Interface> struct ComTraits {
    using pointer = Interface*;
    static pointer invalid() { return nullptr; }
    static void close(pointer p) { p->Release(); }
};

using UniqueFile = UniqueHandle<FileTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueMenu = UniqueHandle<MenuTraits>;
using UniqueFont = UniqueHandle<FontTraits>;
using UniqueIcon = UniqueHandle<IconTraits>;
using UniqueWinEventHook = UniqueHandle<WinEventHookTraits>;
using UniqueKey = UniqueHandle<RegistryKeyTraits>;
template <class Interface> using ComPtr = UniqueHandle<ComTraits<Interface>>;

// Conversions between the core's 32-bit handle numbers and real window handles.
inline HWND ToHwnd(std::int32_t handle) {
    return reinterpret_cast<HWND>(static_cast<INT_PTR>(handle));
}
inline std::int32_t FromHwnd(HWND hwnd) {
    return static_cast<std::int32_t>(reinterpret_cast<INT_PTR>(hwnd));
}

} // namespace quillon::win32
