#include "Element.h"

#include "WindowClass.h"

#include <new>

namespace tsyui {

namespace {

// The window property by which a control of ours leads to its element.
const wchar_t kElementProperty[] = L"tsyui.element";

int nextControlId = 1000;  // main thread only

std::wstring BstrValue(BSTR text)
{
    return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

const wchar_t* PanelClass();

}  // namespace

HINSTANCE ModuleInstance()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ModuleInstance), &module);
    return module;
}

WindowClass::WindowClass(const wchar_t* name, WNDPROC procedure, int backgroundColour) : name_(name)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = procedure;
    wc.hInstance = ModuleInstance();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(backgroundColour + 1));
    wc.lpszClassName = name;
    atom_ = RegisterClassW(&wc);
}

WindowClass::~WindowClass()
{
    if (atom_) UnregisterClassW(name_, ModuleInstance());
}

const wchar_t* KindName(Kind kind)
{
    switch (kind) {
    case Kind::Panel: return L"panel";
    case Kind::Text: return L"text";
    case Kind::CheckBox: return L"checkbox";
    case Kind::Button: return L"button";
    case Kind::Window: return L"window";
    case Kind::Plain: break;
    }
    return L"element";
}

Element::Element(const wchar_t* id, Kind kind) : id_(id ? id : L""), kind_(kind) {}

Element::~Element()
{
    if (hwnd_) {
        const HWND control = hwnd_;
        Unrealise();
        DestroyWindow(control);
    }
    for (const ComPtr<Element>& child : children_) child->parent_ = nullptr;
}

ComPtr<Element> Element::Create(const wchar_t* id, Kind kind)
{
    return ComPtr<Element>::Attach(new (std::nothrow) Element(id, kind));
}

ComPtr<Element> Element::From(IUnknown* object)
{
    ComPtr<Element> element;
    if (object) object->QueryInterface(IID_DevHostElement, element.put_void());
    return element;
}

Element* Element::OfControl(HWND hwnd)
{
    return hwnd ? static_cast<Element*>(GetPropW(hwnd, kElementProperty)) : nullptr;
}

bool Element::RouteCommand(WPARAM wParam, LPARAM lParam)
{
    Element* element = OfControl(reinterpret_cast<HWND>(lParam));
    if (!element || HIWORD(wParam) != BN_CLICKED) return false;
    element->OnClicked();
    return true;
}

bool Element::Offers(REFIID iid) const
{
    const bool control = kind_ == Kind::CheckBox || kind_ == Kind::Button;
    if (IsEqualIID(iid, IID_IxCheckBox)) return kind_ == Kind::CheckBox;
    if (IsEqualIID(iid, IID_IxControl) || IsEqualIID(iid, IID_IxEventSource)) return control;
    if (IsEqualIID(iid, IID_IxTextElement)) return control || kind_ == Kind::Text;
    if (IsEqualIID(iid, IID_IxContainer)) return kind_ == Kind::Panel;
    return false;
}

HRESULT Element::QueryInterface(REFIID iid, void** object)
{
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown)) *object = AsUnknown();
    else if (IsEqualIID(iid, IID_IxNode2)) *object = static_cast<IxNode2*>(this);
    else if (IsEqualIID(iid, IID_DevHostElement)) *object = this;
    else if (!Offers(iid)) return E_NOINTERFACE;
    else if (IsEqualIID(iid, IID_IxCheckBox)) *object = static_cast<IxCheckBox*>(this);
    else if (IsEqualIID(iid, IID_IxControl)) *object = static_cast<IxControl*>(this);
    else if (IsEqualIID(iid, IID_IxTextElement)) *object = static_cast<IxTextElement*>(this);
    else if (IsEqualIID(iid, IID_IxEventSource)) *object = static_cast<IxEventSource*>(this);
    else *object = static_cast<IxContainer*>(this);
    AddRef();
    return S_OK;
}

ULONG Element::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

ULONG Element::Release()
{
    const LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
}

HRESULT Element::GetAttachedObject(IUnknown** object)
{
    if (!object) return E_POINTER;
    *object = ComPtr<IUnknown>(attached_).detach();
    return *object ? S_OK : S_FALSE;
}

HRESULT Element::GetChecked(VARIANT_BOOL* checked)
{
    if (!checked) return E_POINTER;
    *checked = Checked() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT Element::SetChecked(VARIANT_BOOL checked)
{
    checked_ = checked != VARIANT_FALSE;
    if (hwnd_) SendMessageW(hwnd_, BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
    return S_OK;
}

HRESULT Element::SetDisabled(VARIANT_BOOL disabled)
{
    SetDisabledValue(disabled != VARIANT_FALSE);
    return S_OK;
}

HRESULT Element::SetText(BSTR text)
{
    try {
        SetTextValue(BstrValue(text));
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT Element::AddListener(LONG eventId, IxEventListener* listener)
{
    if (!listener) return E_POINTER;
    try {
        listeners_.emplace_back(eventId, ComPtr<IxEventListener>::Copy(listener));
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT Element::AddChild(IxNode2* child)
{
    const ComPtr<Element> added = From(child);
    if (!added) return E_INVALIDARG;
    HRESULT hr = E_OUTOFMEMORY;
    try {
        hr = Append(added.get());
    } catch (const std::bad_alloc&) {
    }
    if (FAILED(hr)) return hr;
    return hwnd_ ? added->Realise(hwnd_, 0, 0) : S_OK;
}

void Element::SetDisplay(ExDisplay display) noexcept
{
    display_ = display;
    if (hwnd_) ShowWindow(hwnd_, display == ExDisplayHidden ? SW_HIDE : SW_SHOW);
}

void Element::SetTextValue(const std::wstring& text)
{
    text_ = text;
    if (hwnd_) SetWindowTextW(hwnd_, text_.c_str());
}

void Element::SetDisabledValue(bool disabled)
{
    disabled_ = disabled;
    if (hwnd_) EnableWindow(hwnd_, disabled ? FALSE : TRUE);
}

bool Element::Checked() const
{
    if (hwnd_ && kind_ == Kind::CheckBox) return SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED;
    return checked_;
}

std::wstring Element::ShownText() const
{
    if (!hwnd_ || kind_ == Kind::Panel) return text_;
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd_)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd_, &text[0], static_cast<int>(text.size()))));
    return text;
}

bool Element::Disabled() const
{
    return hwnd_ ? !IsWindowEnabled(hwnd_) : disabled_;
}

bool Element::Shown() const
{
    return hwnd_ ? (GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0 : display_ != ExDisplayHidden;
}

HRESULT Element::Append(Element* child)
{
    if (!child || child->parent_) return E_INVALIDARG;
    for (Element* ancestor = this; ancestor; ancestor = ancestor->parent_) {
        if (ancestor == child) return E_INVALIDARG;
    }
    children_.push_back(ComPtr<Element>::Copy(child));
    child->parent_ = this;
    // A control-less element realised in a window that is still there
    // places the new child in it too.
    if (childParent_ && IsWindow(childParent_)) return child->Realise(childParent_, childOriginX_, childOriginY_);
    return S_OK;
}

Element* Element::Find(const wchar_t* id)
{
    if (!id) return nullptr;
    // Depth-first, pre-order, with a stack of its own so that a deep layout
    // cannot exhaust the thread's stack.
    std::vector<Element*> stack{this};
    while (!stack.empty()) {
        Element* element = stack.back();
        stack.pop_back();
        if (element->id_ == id) return element;
        for (auto child = element->children_.rbegin(); child != element->children_.rend(); ++child)
            stack.push_back(child->get());
    }
    return nullptr;
}

HRESULT Element::Realise(HWND parent, int originX, int originY)
{
    if (!parent) return E_INVALIDARG;
    const int x = originX + bounds_.x, y = originY + bounds_.y;
    HWND inside = parent;
    int insideX = x, insideY = y;
    if (kind_ == Kind::Plain || kind_ == Kind::Window) {
        childParent_ = parent;
        childOriginX_ = x;
        childOriginY_ = y;
    } else if (!hwnd_) {
        const wchar_t* windowClass = L"BUTTON";
        DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
        if (kind_ == Kind::Text) {
            windowClass = L"STATIC";
            style |= SS_LEFT | SS_NOPREFIX;
        } else if (kind_ == Kind::CheckBox) {
            style |= BS_AUTOCHECKBOX | WS_TABSTOP;
        } else if (kind_ == Kind::Button) {
            style |= BS_PUSHBUTTON | WS_TABSTOP;
        } else {
            windowClass = PanelClass();
            style |= WS_CLIPCHILDREN;
            if (!windowClass) return E_FAIL;
        }
        if (display_ != ExDisplayHidden) style |= WS_VISIBLE;
        if (disabled_) style |= WS_DISABLED;
        const HWND control = CreateWindowExW(0, windowClass, kind_ == Kind::Panel ? L"" : text_.c_str(), style, x, y,
                                             bounds_.width, bounds_.height, parent,
                                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextControlId++)),
                                             ModuleInstance(), nullptr);
        if (!control) return E_FAIL;
        if (!SetPropW(control, kElementProperty, this)) {
            DestroyWindow(control);
            return E_FAIL;
        }
        hwnd_ = control;
        if (kind_ != Kind::Panel) {
            // The control class's own procedure does the work; ours only
            // sees the control go.
            controlProc_ = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Element::ControlProc)));
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        }
        if (kind_ == Kind::CheckBox) SendMessageW(control, BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    if (kind_ == Kind::Panel) {
        inside = hwnd_;
        insideX = 0;
        insideY = 0;
    }
    for (const ComPtr<Element>& child : children_) {
        const HRESULT hr = child->Realise(inside, insideX, insideY);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

void Element::Unrealise()
{
    if (!hwnd_) return;
    if (kind_ == Kind::CheckBox) checked_ = SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED;
    display_ = (GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0 ? ExDisplayShown : ExDisplayHidden;
    disabled_ = !IsWindowEnabled(hwnd_);
    if (kind_ != Kind::Panel) text_ = ShownText();
    RemovePropW(hwnd_, kElementProperty);
    if (controlProc_) SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(controlProc_));
    controlProc_ = nullptr;
    hwnd_ = nullptr;
}

void Element::OnClicked()
{
    if (kind_ == Kind::CheckBox) {
        checked_ = Checked();
        Raise(kUiEventValueChanged);
    } else if (kind_ == Kind::Button) {
        Raise(kUiEventClick);
    }
}

void Element::Raise(LONG eventId)
{
    // A listener may drop the last outside reference to this element or add
    // listeners while it runs: keep both the element and the list steady.
    const ComPtr<Element> keep = ComPtr<Element>::Copy(this);
    std::vector<ComPtr<IxEventListener>> called;
    try {
        for (const auto& entry : listeners_)
            if (entry.first == eventId) called.push_back(entry.second);
    } catch (const std::bad_alloc&) {
        return;
    }
    for (const ComPtr<IxEventListener>& listener : called) listener->OnEvent(eventId, AsUnknown(), 0);
}

LRESULT CALLBACK Element::ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Element* element = OfControl(hwnd);
    const WNDPROC original = element ? element->controlProc_ : nullptr;
    if (!original) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_DESTROY) element->Unrealise();
    return CallWindowProcW(original, hwnd, message, wParam, lParam);
}

LRESULT CALLBACK Element::PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND && Element::RouteCommand(wParam, lParam)) return 0;
    if (message == WM_DESTROY) {
        if (Element* element = OfControl(hwnd)) element->Unrealise();
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

namespace {

const wchar_t* PanelClass()
{
    static const WindowClass panel(L"TsyUiPanel", &Element::PanelProc, COLOR_BTNFACE);
    return panel.Name();
}

}  // namespace

}  // namespace tsyui
