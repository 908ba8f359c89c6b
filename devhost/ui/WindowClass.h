// A window class registered by tsyui.dll for as long as its owner lives.
#pragma once

#include <windows.h>

namespace tsyui {

class WindowClass {
public:
    WindowClass(const wchar_t* name, WNDPROC procedure, int backgroundColour);
    ~WindowClass();
    WindowClass(const WindowClass&) = delete;
    WindowClass& operator=(const WindowClass&) = delete;

    // The class name, or null when it could not be registered.
    const wchar_t* Name() const noexcept { return atom_ ? name_ : nullptr; }

private:
    const wchar_t* name_;
    ATOM atom_ = 0;
};

}  // namespace tsyui
