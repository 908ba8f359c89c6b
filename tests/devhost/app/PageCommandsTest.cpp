// The page commands of the stand-in calendar over the stand-in services and
// a settings page of the test's own, built from the fixture's layouts (read
// out of the CMake-made archive): the settings dialog opened, clicked with
// real mouse messages, read back and finished; a settings window made
// through the main window's factory; the copied text and the tips; and the
// failures, reported as errors.
#include <gtest/gtest.h>

#include <memory>

#include "DevHostApi.h"
#include "DevHostCommands.h"
#include "DevHostUi.h"
#include "FixtureFiles.h"
#include "InstallServices.h"
#include "ServiceTestSupport.h"
#include "UniqueBstr.h"

namespace {

// {0C0FFEE1-5A5E-4C1A-9D3B-7E57A6E00001}
constexpr GUID kTestPageClass = {0x0C0FFEE1, 0x5A5E, 0x4C1A, {0x9D, 0x3B, 0x7E, 0x57, 0xA6, 0xE0, 0x00, 0x01}};
// {0C0FFEE1-5A5E-4C1A-9D3B-7E57A6E00002}
constexpr GUID kUnwrittenPageClass = {0x0C0FFEE1, 0x5A5E, 0x4C1A, {0x9D, 0x3B, 0x7E, 0x57, 0xA6, 0xE0, 0x00, 0x02}};

std::vector<std::wstring> pageLog;  // what the test pages did, in order

template <typename T>
ComPtr<T> Service(const GUID& id)
{
    ComPtr<T> service;
    Util::Service::GetService(id, service.put_void());
    return service;
}

ComPtr<IxNode2> NodeOf(IUnknown* object)
{
    ComPtr<IxNode2> node;
    if (object) object->QueryInterface(IID_IxNode2, node.put_void());
    return node;
}

// A page as a plug-in writes one: builds its tree through the host's
// services, subscribes to the switch and the copy button, enables the
// button when activated, and copies a text and shows a tip when it is
// clicked.
class TestPage final : public devhost::ComObject<IxHostSettingPage, IID_IxHostSettingPage> {
public:
    class Listener final : public devhost::ComObject<IxEventListener, IID_IxEventListener> {
    public:
        explicit Listener(TestPage* page) : page_(page) {}
        HRESULT STDMETHODCALLTYPE OnEvent(LONG eventId, IUnknown* source, LONG) noexcept override
        {
            return page_ ? page_->OnEvent(eventId, source) : E_FAIL;
        }
        TestPage* page_;  // not counted; cleared when the page goes
    };

    ~TestPage() override
    {
        if (listener_) listener_->page_ = nullptr;
    }

    HRESULT STDMETHODCALLTYPE GetTitle(BSTR* title) noexcept override
    {
        *title = SysAllocString(L"Test page");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIcons(BSTR*, BSTR*) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetPageValue(LONG* value) noexcept override
    {
        *value = 11;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreatePage(IxNode2** root) noexcept override
    {
        *root = nullptr;
        const auto loader = Service<IxLayoutLoaderService>(SID_LayoutLoaderService);
        const auto builder = Service<IxElementBuilderService>(SID_ElementBuilderService);
        if (!loader || !builder) return E_FAIL;
        UniqueBstr text;
        loader->LoadLayout(UniqueBstr(L"testui:\\frame.xml|TestPage").get(), text.put());
        ComPtr<IUnknown> built;
        builder->BuildElement(text.get(), 0, built.put());
        root_ = NodeOf(built.get());
        if (!root_) return E_FAIL;
        listener_ = devhost::MakeComObject<Listener>(this);
        switch_ = NodeOf(Find(L"aimcp_enabled").get());
        copy_ = NodeOf(Find(L"copy").get());
        Find(L"aimcp_enabled").As<IxEventSource>(IID_IxEventSource)->AddListener(kUiEventValueChanged, listener_.get());
        Find(L"copy").As<IxEventSource>(IID_IxEventSource)->AddListener(kUiEventClick, listener_.get());
        *root = ComPtr<IxNode2>(root_).detach();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Finish(LONG code) noexcept override
    {
        pageLog.push_back(L"finish " + std::to_wstring(code));
        root_.reset();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reserved6() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Activate(IUnknown* hostWindow, LONG value) noexcept override
    {
        const bool isWindow = static_cast<bool>(ComPtr<IUnknown>::Copy(hostWindow).As<IxWindow>(IID_IxWindow));
        pageLog.push_back(L"activate " + std::to_wstring(value) + (isWindow ? L" in a window" : L" elsewhere"));
        Find(L"copy").As<IxControl>(IID_IxControl)->SetDisabled(VARIANT_FALSE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Load() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Reserved10() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Save() noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Save2() noexcept override { return S_OK; }

    IxNode2* Root() const { return root_.get(); }

private:
    ComPtr<IxElement> Find(const wchar_t* id) const
    {
        return ComPtr<IxElement>::Attach(Util::UI::GetElementById(root_.get(), id));
    }
    HRESULT OnEvent(LONG eventId, IUnknown* source)
    {
        const ComPtr<IxNode2> node = NodeOf(source);
        if (eventId == kUiEventValueChanged && node.get() == switch_.get()) {
            VARIANT_BOOL checked = VARIANT_FALSE;
            Find(L"aimcp_enabled").As<IxCheckBox>(IID_IxCheckBox)->GetChecked(&checked);
            pageLog.push_back(checked == VARIANT_TRUE ? L"switch on" : L"switch off");
            return S_OK;
        }
        if (eventId == kUiEventClick && node.get() == copy_.get()) {
            pageLog.push_back(L"copy");
            Service<IxApplicationService>(SID_ApplicationService)->CopyText(UniqueBstr(L"config\r\nline").get());
            Service<IxTipService>(SID_TipService)->ShowTip(UniqueBstr(L"Copied").get());
            return S_OK;
        }
        return E_FAIL;
    }

    ComPtr<IxNode2> root_, switch_, copy_;
    ComPtr<Listener> listener_;
};

// The plug-in's page as it stands before it is written.
class UnwrittenPage final : public devhost::ComObject<IxHostSettingPage, IID_IxHostSettingPage> {
public:
    HRESULT STDMETHODCALLTYPE GetTitle(BSTR*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIcons(BSTR*, BSTR*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPageValue(LONG*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreatePage(IxNode2**) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Finish(LONG) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved6() noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Activate(IUnknown*, LONG) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Load() noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved10() noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Save() noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Save2() noexcept override { return E_NOTIMPL; }
};

HRESULT CreateTestPage(void** out, IUnknown*)
{
    *out = static_cast<IxHostSettingPage*>(devhost::MakeComObject<TestPage>().detach());
    return *out ? S_OK : E_FAIL;
}

HRESULT CreateUnwrittenPage(void** out, IUnknown*)
{
    *out = static_cast<IxHostSettingPage*>(devhost::MakeComObject<UnwrittenPage>().detach());
    return *out ? S_OK : E_FAIL;
}

// A main component whose ShowSettingWindow does what the plug-in's is meant
// to: a layout window from the factory it is given, the page inside its
// page host, activated and shown.
class TestComponent final : public devhost::ComObject<IDispatch, IID_IDispatch> {
public:
    static constexpr DISPID kShowSettingWindow = 7;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept override
    {
        if (count != 1 || _wcsicmp(names[0], L"ShowSettingWindow") != 0) return DISP_E_UNKNOWNNAME;
        ids[0] = kShowSettingWindow;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT*, EXCEPINFO*,
                                     UINT*) noexcept override
    {
        if (id != kShowSettingWindow || parameters->cArgs != 1 || parameters->rgvarg[0].vt != VT_DISPATCH)
            return DISP_E_MEMBERNOTFOUND;
        ComPtr<IxWindowFactory> factory;
        parameters->rgvarg[0].pdispVal->QueryInterface(IID_IxWindowFactory, factory.put_void());
        if (!factory) return E_FAIL;
        ComPtr<IxWindow> window;
        HRESULT hr = factory->CreateLayoutWindow(UniqueBstr(L"testui:\\frame.xml|TestWindow").get(), 0, window.put());
        if (FAILED(hr)) return hr;
        window->SetCaption(UniqueBstr(L"Test window").get());
        page = devhost::MakeComObject<TestPage>();
        ComPtr<IxNode2> root;
        if (FAILED(page->CreatePage(root.put()))) return E_FAIL;
        const ComPtr<IxElement> host =
            ComPtr<IxElement>::Attach(Util::UI::GetElementById(NodeOf(window.get()).get(), L"host"));
        if (!host) return E_FAIL;
        hr = host.As<IxContainer>(IID_IxContainer)->AddChild(root.get());
        if (FAILED(hr)) return hr;
        page->Activate(window.get(), 0);
        return window->Show();
    }
    ComPtr<TestPage> page;
};

class PageCommands : public testing::Test {
protected:
    void SetUp() override
    {
        pageLog.clear();
        DevHost::RegisterHostClass(kTestPageClass, &CreateTestPage);
        DevHost::RegisterHostClass(kUnwrittenPageClass, &CreateUnwrittenPage);
        devhost::StandInOptions options;
        options.useClipboard = false;
        ASSERT_EQ(devhost::InstallStandInServices(devhost::DataFolder(temp.PathOf(L"data")), options, services), S_OK);
        const std::wstring fixtures = FixturePath(L"");
        ASSERT_EQ(services.paths->DefineAlias(UniqueBstr(L"testui").get(), UniqueBstr(fixtures).get()), S_OK);
        ASSERT_EQ(services.paths->BindAliasToArchive(UniqueBstr(L"testui").get(),
                                                     UniqueBstr(FixturePath(L"resource.zip")).get()),
                  S_OK);
        ASSERT_EQ(DevHost::Ui::CreateWindowFactory(nullptr, factory.put()), S_OK);
        Make(kTestPageClass);
    }
    void TearDown() override
    {
        commands.reset();
        pages.reset();
        devhost::UninstallStandInServices(services);
    }
    void Make(const GUID& pageClass)
    {
        commands.reset();
        pages.reset(new PageHost(pageClass));
        pages->SetFactory(factory.get());
        DevHostControls controls;
        controls.pluginLoaded = [this] { return pluginLoaded; };
        controls.reattachPlugin = [] { return false; };
        controls.stallMainThread = [](unsigned long) {};
        controls.quit = [] {};
        controls.pluginComponent = [this] {
            return pluginLoaded ? ComPtr<IDispatch>::Copy(component.get()) : ComPtr<IDispatch>();
        };
        controls.pages = pages.get();
        commands.reset(new DevHostCommands(services, controls));
    }
    std::wstring Run(const std::wstring& line) { return commands->Execute(line); }

    servicetest::TempFolder temp;
    devhost::StandInServices services;
    ComPtr<IDispatch> factory;
    ComPtr<TestComponent> component = devhost::MakeComObject<TestComponent>();
    bool pluginLoaded = true;
    std::unique_ptr<PageHost> pages;
    std::unique_ptr<DevHostCommands> commands;
};

}  // namespace

TEST_F(PageCommands, TheDialogIsOpenedClickedReadAndFinished)
{
    EXPECT_EQ(Run(L"page state"), L"error: no settings dialog or window is open");
    ASSERT_EQ(Run(L"page open"), L"ok\ntitle: Test page");
    EXPECT_EQ(Run(L"page open"), L"error: the settings dialog is already open");
    EXPECT_EQ(pageLog, (std::vector<std::wstring>{L"activate 0 in a window"}));
    const HWND dialog = DevHost::Ui::GetWindowHandle(pages->Dialog());
    ASSERT_NE(dialog, nullptr);
    wchar_t caption[64] = {};
    GetWindowTextW(dialog, caption, 64);
    EXPECT_STREQ(caption, L"Test page");
    EXPECT_NE(GetWindowLongPtrW(dialog, GWL_STYLE) & WS_VISIBLE, 0);
    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 200);

    const std::wstring before =
        L"ok\n"
        L"page panel text=\"\" visible=1 disabled=0\n"
        L"caption text text=\"\" visible=1 disabled=0\n"  // the language service has no such key
        L"aimcp_enabled checkbox text=\"Switch & more\" visible=1 disabled=0 checked=0\n"
        L"status text text=\"\" visible=0 disabled=0\n"
        L"copy button text=\"Copy \\\"it\\\"\" visible=1 disabled=0";
    EXPECT_EQ(Run(L"page state"), before);

    EXPECT_EQ(Run(L"page click aimcp_enabled"), L"ok");
    EXPECT_NE(Run(L"page state").find(L"aimcp_enabled checkbox text=\"Switch & more\" visible=1 disabled=0 checked=1"),
              std::wstring::npos);
    EXPECT_EQ(Run(L"clipboard"), L"error: nothing was copied");
    EXPECT_EQ(Run(L"page click copy"), L"ok");
    EXPECT_EQ(Run(L"page click caption"), L"ok") << "a static takes the click and does nothing";
    EXPECT_EQ(Run(L"page toggle"), L"ok");
    EXPECT_EQ(pageLog, (std::vector<std::wstring>{L"activate 0 in a window", L"switch on", L"copy", L"switch off"}));
    EXPECT_EQ(Run(L"clipboard"), L"ok\nconfig\\r\\nline");
    EXPECT_EQ(Run(L"tips"), L"ok\nCopied");
    EXPECT_EQ(Run(L"page click nothing"), L"error: no element nothing in the open dialog or window");

    EXPECT_EQ(Run(L"page finish x"), L"error: not an integer: x");
    EXPECT_EQ(Run(L"page finish 2"), L"ok");
    EXPECT_EQ(pageLog.back(), L"finish 2");
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(Run(L"page finish 2"), L"error: no settings dialog is open");
    EXPECT_EQ(Run(L"page click aimcp_enabled"), L"error: no settings dialog or window is open");

    // Opened again, it is a fresh page; closed by its close box, the page
    // is finished with code 0 at the next command.
    ASSERT_EQ(Run(L"page open"), L"ok\ntitle: Test page");
    EXPECT_EQ(Run(L"page state"), before);
    SendMessageW(DevHost::Ui::GetWindowHandle(pages->Dialog()), WM_CLOSE, 0, 0);
    EXPECT_EQ(Run(L"page state"), L"error: no settings dialog or window is open");
    EXPECT_EQ(pageLog.back(), L"finish 0");
}

TEST_F(PageCommands, TheSettingsWindowComesFromTheMainWindowsFactory)
{
    ASSERT_EQ(Run(L"page window"), L"ok");
    ComPtr<IxWindow> window;
    ASSERT_EQ(DevHost::Ui::GetFactoryWindow(factory.get(), 0, window.put()), S_OK);
    const HWND hwnd = DevHost::Ui::GetWindowHandle(window.get());
    wchar_t caption[64] = {};
    GetWindowTextW(hwnd, caption, 64);
    EXPECT_STREQ(caption, L"Test window");

    EXPECT_EQ(Run(L"page state"),
              L"ok\n"
              L"window window text=\"\" visible=1 disabled=0\n"
              L"title text text=\"Window title\" visible=1 disabled=0\n"
              L"host panel text=\"\" visible=1 disabled=0\n"
              L"page panel text=\"\" visible=1 disabled=0\n"
              L"caption text text=\"\" visible=1 disabled=0\n"
              L"aimcp_enabled checkbox text=\"Switch & more\" visible=1 disabled=0 checked=0\n"
              L"status text text=\"\" visible=0 disabled=0\n"
              L"copy button text=\"Copy \\\"it\\\"\" visible=1 disabled=0");
    EXPECT_EQ(Run(L"page toggle"), L"ok");
    EXPECT_EQ(pageLog, (std::vector<std::wstring>{L"activate 0 in a window", L"switch on"}));
    // The dialog, once open, comes first.
    ASSERT_EQ(Run(L"page open"), L"ok\ntitle: Test page");
    EXPECT_EQ(Run(L"page state").find(L"ok\npage panel"), 0u);
    EXPECT_EQ(Run(L"page finish 0"), L"ok");
    EXPECT_EQ(Run(L"page state").find(L"ok\nwindow window"), 0u);
    pages->CloseAll();
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(PageCommands, FailuresAreReportedAsErrors)
{
    EXPECT_EQ(Run(L"page"), L"error: page open | window | click ID | toggle | state | finish CODE");
    EXPECT_EQ(Run(L"page shut"), L"error: page open | window | click ID | toggle | state | finish CODE");
    pluginLoaded = false;
    EXPECT_EQ(Run(L"page open"), L"error: the plug-in is not loaded");
    EXPECT_EQ(Run(L"page window"), L"error: the plug-in is not loaded");
    pluginLoaded = true;

    // The plug-in's page before it is written: every operation E_NOTIMPL.
    Make(kUnwrittenPageClass);
    EXPECT_EQ(Run(L"page open"), L"error: the page's CreatePage failed (0x80004001)");
    EXPECT_EQ(Run(L"page state"), L"error: no settings dialog or window is open");

    // No layout loader: the window cannot be made and nothing opens.
    Make(kTestPageClass);
    DevHost::SetService(SID_LayoutLoaderService, nullptr);
    EXPECT_EQ(Run(L"page window").substr(0, 26), L"error: ShowSettingWindow f");
    EXPECT_EQ(Run(L"page open"), L"error: the page's CreatePage failed (0x80004005)");
    EXPECT_EQ(Run(L"tips"), L"ok");
}
