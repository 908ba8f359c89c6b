#include "PageHost.h"

#include <cstdio>
#include <vector>

#include "DevHostUi.h"
#include "UniqueBstr.h"

// {7656B890-F8AA-43DB-8330-58AE39051AE6}
const GUID PageHost::kAiMcpPageClassId = {0x7656B890, 0xF8AA, 0x43DB, {0x83, 0x30, 0x58, 0xAE, 0x39, 0x05, 0x1A, 0xE6}};

namespace {

std::wstring Error(const std::wstring& why)
{
    return L"error: " + why;
}

}  // namespace

std::wstring HresultText(HRESULT hr)
{
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

bool PageHost::DialogOpen()
{
    DropClosedDialog();
    return static_cast<bool>(dialog_);
}

void PageHost::ForgetDialog()
{
    if (dialog_) DevHost::Ui::CloseWindow(dialog_.get());
    dialog_.reset();
    root_.reset();
    page_.reset();
}

void PageHost::DropClosedDialog()
{
    if (!dialog_ || DevHost::Ui::GetWindowHandle(dialog_.get())) return;
    if (page_) page_->Finish(0);
    ForgetDialog();
}

std::wstring PageHost::Open()
{
    if (DialogOpen()) return Error(L"the settings dialog is already open");
    ComPtr<IUnknown> component;
    HRESULT hr = CreateInstanceFromClassFactory(pageClassId_, component.put_void(), nullptr);
    if (FAILED(hr) || !component) return Error(L"the settings page cannot be made (" + HresultText(hr) + L")");
    ComPtr<IxHostSettingPage> page = component.As<IxHostSettingPage>(IID_IxHostSettingPage);
    if (!page) return Error(L"the settings page lacks the host settings-page interface");

    ComPtr<IxNode2> root;
    hr = page->CreatePage(root.put());
    if (FAILED(hr) || !root) return Error(L"the page's CreatePage failed (" + HresultText(hr) + L")");
    RECT bounds{};
    if (FAILED(DevHost::Ui::GetElementBounds(root.get(), &bounds)))
        return Error(L"the page's root is not an element of this host");
    UniqueBstr title;
    const HRESULT titled = page->GetTitle(title.put());
    const std::wstring caption = SUCCEEDED(titled) ? title.str() : std::wstring();

    ComPtr<IxWindow> dialog;
    hr = DevHost::Ui::CreateHostWindow(caption.c_str(), bounds.right, bounds.bottom, dialog.put());
    if (FAILED(hr)) return Error(L"the settings dialog cannot be made (" + HresultText(hr) + L")");
    hr = DevHost::Ui::AttachToWindow(dialog.get(), root.get());
    if (FAILED(hr)) {
        DevHost::Ui::CloseWindow(dialog.get());
        return Error(L"the page cannot be shown in the dialog (" + HresultText(hr) + L")");
    }
    dialog->Show();
    page_ = page;
    root_ = root;
    dialog_ = dialog;
    hr = page->Activate(dialog.get(), 0);
    if (FAILED(hr)) {
        page->Finish(0);
        ForgetDialog();
        return Error(L"the page's Activate failed (" + HresultText(hr) + L"); the dialog is closed");
    }
    return L"ok\ntitle: " + (SUCCEEDED(titled) ? caption : L"(none: GetTitle " + HresultText(titled) + L")");
}

std::wstring PageHost::ShowWindow(IDispatch* component)
{
    if (!component) return Error(L"the plug-in is not loaded");
    if (!factory_) return Error(L"the main window has no window factory");
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"ShowSettingWindow")};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = component->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return Error(L"the plug-in has no ShowSettingWindow (" + HresultText(hr) + L")");
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_DISPATCH;
    argument.pdispVal = factory_.get();  // borrowed: not cleared
    DISPPARAMS parameters{&argument, nullptr, 1, 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    hr = component->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, &result, &exception,
                           nullptr);
    VariantClear(&result);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    if (hr == DISP_E_EXCEPTION && FAILED(exception.scode)) hr = exception.scode;
    if (FAILED(hr)) return Error(L"ShowSettingWindow failed (" + HresultText(hr) + L")");
    ComPtr<IxWindow> first;
    DevHost::Ui::GetFactoryWindow(factory_.get(), 0, first.put());
    return first ? std::wstring(L"ok") : L"ok\n(no window is open)";
}

ComPtr<IxWindow> PageHost::Target()
{
    if (DialogOpen()) return dialog_;
    ComPtr<IxWindow> newest;
    for (int i = 0; factory_; ++i) {
        ComPtr<IxWindow> window;
        if (DevHost::Ui::GetFactoryWindow(factory_.get(), i, window.put()) != S_OK) break;
        newest = window;
    }
    return newest;
}

std::wstring PageHost::Click(const std::wstring& id)
{
    const ComPtr<IxWindow> window = Target();
    if (!window) return Error(L"no settings dialog or window is open");
    const ComPtr<IxNode2> node = window.As<IxNode2>(IID_IxNode2);
    const ComPtr<IxElement> element =
        ComPtr<IxElement>::Attach(node ? Util::UI::GetElementById(node.get(), id.c_str()) : nullptr);
    if (!element) return Error(L"no element " + id + L" in the open dialog or window");
    const HRESULT hr = DevHost::Ui::ClickElement(element.get());
    if (hr == E_ACCESSDENIED) return Error(id + L" is disabled");
    if (hr == HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE)) return Error(id + L" has no control");
    if (FAILED(hr)) return Error(L"the click failed (" + HresultText(hr) + L")");
    return L"ok";
}

std::wstring PageHost::State()
{
    const ComPtr<IxWindow> window = Target();
    if (!window) return Error(L"no settings dialog or window is open");
    const int length = DevHost::Ui::CopyTreeState(window.get(), nullptr, 0);
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1, L'\0');
    DevHost::Ui::CopyTreeState(window.get(), buffer.data(), static_cast<int>(buffer.size()));
    std::wstring lines(buffer.data());
    while (!lines.empty() && lines.back() == L'\n') lines.pop_back();
    return lines.empty() ? std::wstring(L"ok") : L"ok\n" + lines;
}

std::wstring PageHost::Finish(long code)
{
    if (!DialogOpen()) return Error(L"no settings dialog is open");
    const ComPtr<IxHostSettingPage> page = page_;
    const HRESULT hr = page->Finish(static_cast<LONG>(code));
    ForgetDialog();
    if (FAILED(hr)) return Error(L"the page's Finish failed (" + HresultText(hr) + L"); the dialog is closed");
    return L"ok";
}

void PageHost::CloseAll()
{
    if (dialog_ && page_ && DevHost::Ui::GetWindowHandle(dialog_.get())) page_->Finish(0);
    DropClosedDialog();
    ForgetDialog();
    for (;;) {
        ComPtr<IxWindow> window;
        if (!factory_ || DevHost::Ui::GetFactoryWindow(factory_.get(), 0, window.put()) != S_OK) break;
        DevHost::Ui::CloseWindow(window.get());
    }
}
