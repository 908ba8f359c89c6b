// The entry points of tsyui.dll: the two the plug-in imports and the
// stand-in's element and window API (DevHostUi.h).

#include "Builder.h"
#include "DevHostUi.h"
#include "Element.h"
#include "Window.h"

#include <new>

namespace {

using tsyui::Element;
using tsyui::HostWindow;
using tsyui::WindowFactory;

const wchar_t kFile[] = TEXT(__FILE__);

std::wstring Escape(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\\') out += L"\\\\";
        else if (c == L'"') out += L"\\\"";
        else if (c == L'\r') out += L"\\r";
        else if (c == L'\n') out += L"\\n";
        else out.push_back(c);
    }
    return out;
}

void DescribeTree(const Element& element, std::wstring& out)
{
    out += element.Id().empty() ? L"-" : element.Id();
    out += L" ";
    out += tsyui::KindName(element.GetKind());
    out += L" text=\"" + Escape(element.ShownText()) + L"\"";
    out += element.Shown() ? L" visible=1" : L" visible=0";
    out += element.Disabled() ? L" disabled=1" : L" disabled=0";
    if (element.GetKind() == tsyui::Kind::CheckBox) out += element.Checked() ? L" checked=1" : L" checked=0";
    out += L"\n";
    for (const ComPtr<Element>& child : element.Children()) DescribeTree(*child.get(), out);
}

}  // namespace

IxElement* Util::UI::GetElementById(IxNode2* root, const wchar_t* id)
{
    if (!id) return nullptr;
    Element* found = nullptr;
    if (const ComPtr<Element> tree = Element::From(root)) {
        found = tree->Find(id);
    } else if (const ComPtr<HostWindow> window = HostWindow::From(root)) {
        found = window->Find(id);
    }
    if (!found) return nullptr;
    found->AddRef();
    return found->AsElement();
}

void Util::Style::SetVisible(IxElement* element, ExDisplay display)
{
    const ComPtr<Element> target = Element::From(element);
    if (!target) return;
    if (display != ExDisplayHidden && display != ExDisplayShown) {
        // Only the two states exist; anything else is a caller's mistake
        // and leaves the element as it was.
        __NTrace(kFile, L"void Util::Style::SetVisible(IxElement*, ExDisplay)", __LINE__,
                 L"tsyui: SetVisible with unknown display %d on element \"%s\"", static_cast<int>(display),
                 target->Id().c_str());
        return;
    }
    target->SetDisplay(display);
}

HRESULT DevHost::Ui::CreateElement(const wchar_t* id, IxElement** element)
{
    if (!element) return E_POINTER;
    *element = nullptr;
    ComPtr<Element> created = Element::Create(id);
    if (!created) return E_OUTOFMEMORY;
    *element = created.detach()->AsElement();
    return S_OK;
}

HRESULT DevHost::Ui::AppendChild(IxElement* parent, IxElement* child)
{
    const ComPtr<Element> to = Element::From(parent);
    const ComPtr<Element> added = Element::From(child);
    if (!to || !added) return E_INVALIDARG;
    try {
        return to->Append(added.get());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

ExDisplay DevHost::Ui::GetDisplay(IxElement* element)
{
    const ComPtr<Element> target = Element::From(element);
    return target ? target->Display() : static_cast<ExDisplay>(0);
}

HRESULT DevHost::Ui::SetAttachedObject(IxElement* element, IUnknown* object)
{
    const ComPtr<Element> target = Element::From(element);
    if (!target) return E_INVALIDARG;
    target->SetAttached(object);
    return S_OK;
}

int DevHost::Ui::CopyElementId(IxElement* element, wchar_t* buffer, int capacity)
{
    if (!buffer || capacity <= 0) return 0;
    buffer[0] = L'\0';
    const ComPtr<Element> target = Element::From(element);
    if (!target) return 0;
    const std::wstring& id = target->Id();
    const int count = static_cast<int>(id.size() < static_cast<size_t>(capacity - 1) ? id.size() : capacity - 1);
    id.copy(buffer, static_cast<size_t>(count));
    buffer[count] = L'\0';
    return count;
}

HRESULT DevHost::Ui::CreateElementBuilder(IxElementBuilderService** builder)
{
    if (!builder) return E_POINTER;
    *builder = tsyui::ElementBuilder::Create().detach();
    return *builder ? S_OK : E_OUTOFMEMORY;
}

HRESULT DevHost::Ui::CreateWindowFactory(HWND parent, IDispatch** factory)
{
    if (!factory) return E_POINTER;
    *factory = WindowFactory::Create(parent).detach();
    return *factory ? S_OK : E_OUTOFMEMORY;
}

HRESULT DevHost::Ui::GetFactoryWindow(IUnknown* factory, int index, IxWindow** window)
{
    if (!window) return E_POINTER;
    *window = nullptr;
    const ComPtr<WindowFactory> target = WindowFactory::From(factory);
    if (!target || index < 0) return E_INVALIDARG;
    try {
        std::vector<ComPtr<HostWindow>> open = target->OpenWindows();
        if (static_cast<std::size_t>(index) >= open.size()) return S_FALSE;
        *window = open[static_cast<std::size_t>(index)].detach();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT DevHost::Ui::CreateHostWindow(const wchar_t* caption, int clientWidth, int clientHeight, IxWindow** window)
{
    if (!window) return E_POINTER;
    *window = nullptr;
    ComPtr<HostWindow> made;
    const HRESULT hr = HostWindow::Create(caption, clientWidth, clientHeight, made);
    if (FAILED(hr)) return hr;
    *window = made.detach();
    return S_OK;
}

HRESULT DevHost::Ui::AttachToWindow(IxWindow* window, IUnknown* root)
{
    const ComPtr<HostWindow> target = HostWindow::From(window);
    const ComPtr<Element> tree = Element::From(root);
    if (!target || !tree) return E_INVALIDARG;
    return target->Attach(tree.get());
}

void DevHost::Ui::CloseWindow(IxWindow* window)
{
    if (const ComPtr<HostWindow> target = HostWindow::From(window)) target->Close();
}

HWND DevHost::Ui::GetWindowHandle(IUnknown* object)
{
    if (const ComPtr<Element> element = Element::From(object)) return element->Control();
    if (const ComPtr<HostWindow> window = HostWindow::From(object)) return window->Handle();
    if (const ComPtr<WindowFactory> factory = WindowFactory::From(object)) return factory->Parent();
    return nullptr;
}

HRESULT DevHost::Ui::GetElementBounds(IUnknown* element, RECT* bounds)
{
    if (!bounds) return E_POINTER;
    const ComPtr<Element> target = Element::From(element);
    if (!target) return E_INVALIDARG;
    const tsyui::Bounds& b = target->GetBounds();
    *bounds = RECT{b.x, b.y, b.x + b.width, b.y + b.height};
    return S_OK;
}

HRESULT DevHost::Ui::ClickElement(IxElement* element)
{
    const ComPtr<Element> target = Element::From(element);
    if (!target) return E_INVALIDARG;
    const HWND control = target->Control();
    if (!control) return HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE);
    if (!IsWindowEnabled(control)) return E_ACCESSDENIED;
    RECT client{};
    GetClientRect(control, &client);
    const LPARAM centre = MAKELPARAM((client.right - client.left) / 2, (client.bottom - client.top) / 2);
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, centre);
    PostMessageW(control, WM_LBUTTONUP, 0, centre);
    MSG message;
    while (IsWindow(control) && PeekMessageW(&message, control, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return S_OK;
}

int DevHost::Ui::CopyTreeState(IUnknown* root, wchar_t* buffer, int capacity)
{
    if (buffer && capacity > 0) buffer[0] = L'\0';
    std::wstring text;
    try {
        if (const ComPtr<Element> tree = Element::From(root)) {
            DescribeTree(*tree.get(), text);
        } else if (const ComPtr<HostWindow> window = HostWindow::From(root)) {
            for (const ComPtr<Element>& tree : window->Roots()) DescribeTree(*tree.get(), text);
        } else {
            return 0;
        }
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (buffer && capacity > 0) {
        const std::size_t count = text.size() < static_cast<std::size_t>(capacity - 1) ? text.size() : capacity - 1;
        text.copy(buffer, count);
        buffer[count] = L'\0';
    }
    return static_cast<int>(text.size());
}
