// The stand-in's windows: a top-level window that element trees are
// realised in (IxWindow, IxNode2), and the window factory that makes such
// windows from a layout (IDispatch, IxWindowFactory, IxNode2).
//
// A window holds its element trees and, while its HWND exists, a reference
// to itself, so it stays open after whoever made it has let go; closing it
// (the close box, Close()) drops both. Its procedure hands WM_COMMAND to the
// elements (Element::RouteCommand).
//
// The factory wraps a parent window (the calendar's main window). Its
// CreateLayoutWindow loads the layout through the host's layout loader
// service, builds it with the element builder service, and makes a hidden
// WS_OVERLAPPEDWINDOW whose client area has the root element's width and
// height, with the tree realised inside. It remembers the windows it made.
//
// Main thread only.
#pragma once

#include "Element.h"

namespace tsyui {

// {E1C86BA0-7D5B-4F8E-9B61-2C0F3B0E8A11}
inline constexpr GUID IID_DevHostWindow = {0xE1C86BA0, 0x7D5B, 0x4F8E, {0x9B, 0x61, 0x2C, 0x0F, 0x3B, 0x0E, 0x8A, 0x11}};
// {5B1E2D44-0A73-4C2B-8E0D-6F4A9C3B7D22}
inline constexpr GUID IID_DevHostWindowFactory = {0x5B1E2D44, 0x0A73, 0x4C2B, {0x8E, 0x0D, 0x6F, 0x4A, 0x9C, 0x3B, 0x7D, 0x22}};

class HostWindow final : public IxWindow, public IxNode2 {
public:
    // A new hidden top-level window with that client area.
    static HRESULT Create(const wchar_t* caption, int clientWidth, int clientHeight, ComPtr<HostWindow>& window);
    static ComPtr<HostWindow> From(IUnknown* object);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE SetCaption(BSTR caption) override;
    HRESULT STDMETHODCALLTYPE Show() override;

    // Adds a tree and realises it in the client area.
    HRESULT Attach(Element* root);
    // The first element with this id in the window's trees; borrowed.
    Element* Find(const wchar_t* id);
    const std::vector<ComPtr<Element>>& Roots() const noexcept { return roots_; }
    // Null once the window is closed.
    HWND Handle() const noexcept { return hwnd_; }
    void Close();

private:
    HostWindow() = default;
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    LONG refs_ = 1;
    HWND hwnd_ = nullptr;
    ComPtr<HostWindow> self_;  // while hwnd_ exists
    std::vector<ComPtr<Element>> roots_;
};

class WindowFactory final : public IDispatch, public IxWindowFactory, public IxNode2 {
public:
    static ComPtr<WindowFactory> Create(HWND parent);
    static ComPtr<WindowFactory> From(IUnknown* object);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDispatch: no type information and no names; the plug-in calls the
    // factory through its vtable.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;
    HRESULT STDMETHODCALLTYPE CreateLayoutWindow(BSTR layout, LONG reserved, IxWindow** window) override;

    HWND Parent() const noexcept { return parent_; }
    // The windows it made that are still open, oldest first.
    std::vector<ComPtr<HostWindow>> OpenWindows();

private:
    explicit WindowFactory(HWND parent) : parent_(parent) {}
    ~WindowFactory() = default;
    WindowFactory(const WindowFactory&) = delete;
    WindowFactory& operator=(const WindowFactory&) = delete;

    LONG refs_ = 1;
    HWND parent_;
    std::vector<ComPtr<HostWindow>> made_;
};

}  // namespace tsyui
