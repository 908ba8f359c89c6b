#include "Window.h"

#include "Builder.h"
#include "UniqueBstr.h"
#include "WindowClass.h"

#include <new>

namespace tsyui {

namespace {

const wchar_t* HostWindowClass(WNDPROC procedure)
{
    static const WindowClass windows(L"TsyUiHostWindow", procedure, COLOR_BTNFACE);
    return windows.Name();
}

}  // namespace

// ---- HostWindow -------------------------------------------------------------

HRESULT HostWindow::Create(const wchar_t* caption, int clientWidth, int clientHeight, ComPtr<HostWindow>& window)
{
    window.reset();
    const wchar_t* windowClass = HostWindowClass(&HostWindow::Proc);
    if (!windowClass) return E_FAIL;
    ComPtr<HostWindow> made = ComPtr<HostWindow>::Attach(new (std::nothrow) HostWindow());
    if (!made) return E_OUTOFMEMORY;
    RECT frame{0, 0, clientWidth > 0 ? clientWidth : 0, clientHeight > 0 ? clientHeight : 0};
    AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
    const HWND hwnd = CreateWindowExW(0, windowClass, caption ? caption : L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                      CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                      nullptr, ModuleInstance(), made.get());
    if (!hwnd) return E_FAIL;
    window = std::move(made);
    return S_OK;
}

ComPtr<HostWindow> HostWindow::From(IUnknown* object)
{
    ComPtr<HostWindow> window;
    if (object) object->QueryInterface(IID_DevHostWindow, window.put_void());
    return window;
}

HostWindow::~HostWindow()
{
    // Only reached once the window is gone: while it exists it holds itself.
}

HRESULT HostWindow::QueryInterface(REFIID iid, void** object)
{
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IxWindow)) *object = static_cast<IxWindow*>(this);
    else if (IsEqualIID(iid, IID_IxNode2)) *object = static_cast<IxNode2*>(this);
    else if (IsEqualIID(iid, IID_DevHostWindow)) *object = this;
    else return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG HostWindow::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

ULONG HostWindow::Release()
{
    const LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
}

HRESULT HostWindow::SetCaption(BSTR caption)
{
    if (!hwnd_) return HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE);
    return SetWindowTextW(hwnd_, caption ? caption : L"") ? S_OK : E_FAIL;
}

HRESULT HostWindow::Show()
{
    if (!hwnd_) return HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE);
    ShowWindow(hwnd_, SW_SHOW);
    return S_OK;
}

HRESULT HostWindow::Attach(Element* root)
{
    if (!root) return E_INVALIDARG;
    if (!hwnd_) return HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE);
    try {
        roots_.push_back(ComPtr<Element>::Copy(root));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return root->Realise(hwnd_, 0, 0);
}

Element* HostWindow::Find(const wchar_t* id)
{
    for (const ComPtr<Element>& root : roots_)
        if (Element* found = root->Find(id)) return found;
    return nullptr;
}

void HostWindow::Close()
{
    if (hwnd_) DestroyWindow(hwnd_);
}

LRESULT CALLBACK HostWindow::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* window = static_cast<HostWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
        window->hwnd_ = hwnd;
        window->self_ = ComPtr<HostWindow>::Copy(window);
    }
    auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_COMMAND && Element::RouteCommand(wParam, lParam)) return 0;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        std::vector<ComPtr<Element>> roots = std::move(self->roots_);
        ComPtr<HostWindow> keep = std::move(self->self_);
        const LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
        roots.clear();
        return result;  // keep may be the last reference: self is not touched after this
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// ---- WindowFactory ------------------------------------------------------------

ComPtr<WindowFactory> WindowFactory::Create(HWND parent)
{
    return ComPtr<WindowFactory>::Attach(new (std::nothrow) WindowFactory(parent));
}

ComPtr<WindowFactory> WindowFactory::From(IUnknown* object)
{
    ComPtr<WindowFactory> factory;
    if (object) object->QueryInterface(IID_DevHostWindowFactory, factory.put_void());
    return factory;
}

HRESULT WindowFactory::QueryInterface(REFIID iid, void** object)
{
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) *object = static_cast<IDispatch*>(this);
    else if (IsEqualIID(iid, IID_IxWindowFactory)) *object = static_cast<IxWindowFactory*>(this);
    else if (IsEqualIID(iid, IID_IxNode2)) *object = static_cast<IxNode2*>(this);
    else if (IsEqualIID(iid, IID_DevHostWindowFactory)) *object = this;
    else return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG WindowFactory::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

ULONG WindowFactory::Release()
{
    const LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
}

HRESULT WindowFactory::GetTypeInfoCount(UINT* count)
{
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT WindowFactory::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (!info) return E_POINTER;
    *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT WindowFactory::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids)
{
    if (ids)
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

HRESULT WindowFactory::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
{
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT WindowFactory::CreateLayoutWindow(BSTR layout, LONG, IxWindow** window)
{
    if (!window) return E_POINTER;
    *window = nullptr;
    try {
        ComPtr<IxLayoutLoaderService> loader;
        Util::Service::GetService(SID_LayoutLoaderService, loader.put_void());
        if (!loader) return E_NOINTERFACE;
        UniqueBstr text;
        HRESULT hr = loader->LoadLayout(layout, text.put());
        loader.reset();
        if (FAILED(hr)) return hr;
        if (!text.get()) return E_FAIL;

        ComPtr<IxElementBuilderService> builder;
        Util::Service::GetService(SID_ElementBuilderService, builder.put_void());
        if (!builder) return E_NOINTERFACE;
        ComPtr<IUnknown> built;
        hr = builder->BuildElement(text.get(), 0, built.put());
        builder.reset();
        if (FAILED(hr)) return hr;
        const ComPtr<Element> root = Element::From(built.get());
        if (!root) return E_FAIL;

        ComPtr<HostWindow> made;
        hr = HostWindow::Create(L"", root->GetBounds().width, root->GetBounds().height, made);
        if (FAILED(hr)) return hr;
        hr = made->Attach(root.get());
        if (FAILED(hr)) {
            made->Close();
            return hr;
        }
        made_.push_back(made);
        *window = made.detach();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

std::vector<ComPtr<HostWindow>> WindowFactory::OpenWindows()
{
    std::vector<ComPtr<HostWindow>> open;
    std::vector<ComPtr<HostWindow>> kept;
    for (const ComPtr<HostWindow>& window : made_) {
        if (!window->Handle()) continue;
        open.push_back(window);
        kept.push_back(window);
    }
    made_ = std::move(kept);
    return open;
}

}  // namespace tsyui
