// Elements realised as Win32 controls inside host windows: the controls
// made, state set before and after realisation, events raised by real
// mouse messages, and the window factory's layout windows.
#include <gtest/gtest.h>

#include "UiTestSupport.h"

using namespace uitest;

namespace {

std::wstring ClassOf(HWND hwnd)
{
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

std::wstring TextOf(HWND hwnd)
{
    wchar_t text[256] = {};
    GetWindowTextW(hwnd, text, 256);
    return text;
}

// The control's rectangle in its parent's client coordinates.
RECT PlaceOf(HWND hwnd)
{
    RECT r{};
    GetWindowRect(hwnd, &r);
    MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

HWND ControlOf(IUnknown* root, const wchar_t* id)
{
    return DevHost::Ui::GetWindowHandle(Find(root, id).get());
}

// A real click, as the user makes it: button down and up at the centre,
// posted to the control, then the message loop.
void MouseClick(HWND control)
{
    RECT r{};
    GetClientRect(control, &r);
    const LPARAM at = MAKELPARAM(r.right / 2, r.bottom / 2);
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(control, WM_LBUTTONUP, 0, at);
    PumpMessages();
}

class Realised : public testing::Test {
protected:
    void SetUp() override
    {
        page = host.Build(L"TestPage");
        ASSERT_TRUE(page);
        ASSERT_EQ(DevHost::Ui::CreateHostWindow(L"Dialog", 320, 200, window.put()), S_OK);
    }
    void TearDown() override
    {
        if (window) DevHost::Ui::CloseWindow(window.get());
        PumpMessages();
    }
    template <typename T>
    ComPtr<T> As(const wchar_t* id, const GUID& iid)
    {
        return Find(page.get(), id).As<T>(iid);
    }

    HostServices host;
    ComPtr<IUnknown> page;
    ComPtr<IxWindow> window;
};

}  // namespace

TEST_F(Realised, ControlsAreMadeWithStateSetBeforehand)
{
    ASSERT_EQ(ControlOf(page.get(), L"aimcp_enabled"), nullptr) << "no control before realisation";
    As<IxCheckBox>(L"aimcp_enabled", IID_IxCheckBox)->SetChecked(VARIANT_TRUE);
    As<IxTextElement>(L"caption", IID_IxTextElement)->SetText(UniqueBstr(L"Set early").get());
    Util::Style::SetVisible(Find(page.get(), L"status").get(), ExDisplayShown);
    Util::Style::SetVisible(Find(page.get(), L"caption").get(), ExDisplayHidden);
    As<IxControl>(L"copy", IID_IxControl)->SetDisabled(VARIANT_FALSE);

    ASSERT_EQ(DevHost::Ui::AttachToWindow(window.get(), page.get()), S_OK);
    const HWND dialog = DevHost::Ui::GetWindowHandle(window.get());
    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 200);

    const HWND panel = ControlOf(page.get(), L"page");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(GetParent(panel), dialog);
    const struct {
        const wchar_t* id;
        const wchar_t* windowClass;
        LONG_PTR type;  // the BS_/SS_ type bits
        const wchar_t* text;
        RECT place;
        bool visible, enabled;
    } controls[] = {
        {L"caption", L"Static", SS_LEFT, L"Set early", {8, 8, 308, 28}, false, true},
        {L"aimcp_enabled", L"Button", BS_AUTOCHECKBOX, L"Switch & more", {8, 36, 208, 58}, true, true},
        {L"status", L"Static", SS_LEFT, L"", {8, 64, 308, 84}, true, true},
        {L"copy", L"Button", BS_PUSHBUTTON, L"Copy \"it\"", {8, 96, 128, 124}, true, true},
    };
    for (const auto& c : controls) {
        const std::wstring id = c.id;
        const HWND hwnd = ControlOf(page.get(), c.id);
        ASSERT_NE(hwnd, nullptr) << testing::PrintToString(id);
        EXPECT_EQ(GetParent(hwnd), panel) << testing::PrintToString(id);
        EXPECT_EQ(_wcsicmp(ClassOf(hwnd).c_str(), c.windowClass), 0) << testing::PrintToString(ClassOf(hwnd));
        const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
        EXPECT_EQ(style & 0x0F, c.type) << testing::PrintToString(id);
        EXPECT_EQ(TextOf(hwnd), c.text) << testing::PrintToString(id);
        const RECT place = PlaceOf(hwnd);
        EXPECT_TRUE(EqualRect(&place, &c.place)) << testing::PrintToString(id) << " at " << place.left << ","
                                                 << place.top << "-" << place.right << "," << place.bottom;
        EXPECT_EQ((style & WS_VISIBLE) != 0, c.visible) << testing::PrintToString(id);
        EXPECT_EQ(IsWindowEnabled(hwnd) != FALSE, c.enabled) << testing::PrintToString(id);
    }
    EXPECT_EQ(SendMessageW(ControlOf(page.get(), L"aimcp_enabled"), BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(Realised, SettersActOnTheControlsAndGettersReadThem)
{
    ASSERT_EQ(DevHost::Ui::AttachToWindow(window.get(), page.get()), S_OK);
    const HWND box = ControlOf(page.get(), L"aimcp_enabled");
    const HWND copy = ControlOf(page.get(), L"copy");
    const HWND caption = ControlOf(page.get(), L"caption");
    ASSERT_TRUE(box && copy && caption);

    const ComPtr<IxCheckBox> check = As<IxCheckBox>(L"aimcp_enabled", IID_IxCheckBox);
    check->SetChecked(VARIANT_TRUE);
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
    SendMessageW(box, BM_SETCHECK, BST_UNCHECKED, 0);  // the control changed under it
    VARIANT_BOOL checked = VARIANT_TRUE;
    check->GetChecked(&checked);
    EXPECT_EQ(checked, VARIANT_FALSE);

    As<IxControl>(L"copy", IID_IxControl)->SetDisabled(VARIANT_FALSE);
    EXPECT_TRUE(IsWindowEnabled(copy));
    As<IxControl>(L"copy", IID_IxControl)->SetDisabled(VARIANT_TRUE);
    EXPECT_FALSE(IsWindowEnabled(copy));
    As<IxTextElement>(L"caption", IID_IxTextElement)->SetText(UniqueBstr(L"Later \u4E16").get());
    EXPECT_EQ(TextOf(caption), L"Later \u4E16");
    Util::Style::SetVisible(Find(page.get(), L"caption").get(), ExDisplayHidden);
    EXPECT_EQ(GetWindowLongPtrW(caption, GWL_STYLE) & WS_VISIBLE, 0);
    Util::Style::SetVisible(Find(page.get(), L"caption").get(), ExDisplayShown);
    EXPECT_NE(GetWindowLongPtrW(caption, GWL_STYLE) & WS_VISIBLE, 0);

    // Closing the window keeps the last state in the elements.
    SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
    DevHost::Ui::CloseWindow(window.get());
    EXPECT_FALSE(IsWindow(box));
    EXPECT_EQ(ControlOf(page.get(), L"aimcp_enabled"), nullptr);
    check->GetChecked(&checked);
    EXPECT_EQ(checked, VARIANT_TRUE);
    EXPECT_FALSE(Find(window.get(), L"aimcp_enabled")) << "a closed window holds no trees";
}

TEST_F(Realised, RealMouseClicksRaiseEventsWithTheElementAsSource)
{
    const ComPtr<Listener> changes = devhost::MakeComObject<Listener>();
    const ComPtr<Listener> clicks = devhost::MakeComObject<Listener>();
    ComPtr<IxEventSource> box = As<IxEventSource>(L"aimcp_enabled", IID_IxEventSource);
    ComPtr<IxEventSource> copy = As<IxEventSource>(L"copy", IID_IxEventSource);
    ASSERT_EQ(box->AddListener(kUiEventValueChanged, changes.get()), S_OK);
    ASSERT_EQ(copy->AddListener(kUiEventClick, clicks.get()), S_OK);
    ASSERT_EQ(box->AddListener(kUiEventClick, nullptr), E_POINTER);
    As<IxControl>(L"copy", IID_IxControl)->SetDisabled(VARIANT_FALSE);
    ASSERT_EQ(DevHost::Ui::AttachToWindow(window.get(), page.get()), S_OK);
    window->Show();

    MouseClick(ControlOf(page.get(), L"aimcp_enabled"));
    ASSERT_EQ(changes->events.size(), 1u);
    EXPECT_EQ(changes->events[0].id, kUiEventValueChanged);
    EXPECT_EQ(changes->events[0].source.get(), NodeOf(Find(page.get(), L"aimcp_enabled").get()).get());
    EXPECT_TRUE(changes->events[0].checkedThen) << "the box is checked when the listener hears of it";
    EXPECT_EQ(SendMessageW(ControlOf(page.get(), L"aimcp_enabled"), BM_GETCHECK, 0, 0), BST_CHECKED);

    SendMessageW(ControlOf(page.get(), L"aimcp_enabled"), BM_CLICK, 0, 0);
    ASSERT_EQ(changes->events.size(), 2u);
    EXPECT_FALSE(changes->events[1].checkedThen);

    MouseClick(ControlOf(page.get(), L"copy"));
    ASSERT_EQ(clicks->events.size(), 1u);
    EXPECT_EQ(clicks->events[0].id, kUiEventClick);
    EXPECT_EQ(clicks->events[0].source.get(), NodeOf(Find(page.get(), L"copy").get()).get());
    EXPECT_EQ(changes->events.size(), 2u) << "a click on the button is not the box's change";

    // The helper the program's commands use does the same; a disabled
    // control takes no click.
    EXPECT_EQ(DevHost::Ui::ClickElement(Find(page.get(), L"copy").get()), S_OK);
    EXPECT_EQ(clicks->events.size(), 2u);
    As<IxControl>(L"copy", IID_IxControl)->SetDisabled(VARIANT_TRUE);
    EXPECT_EQ(DevHost::Ui::ClickElement(Find(page.get(), L"copy").get()), E_ACCESSDENIED);
    EXPECT_EQ(clicks->events.size(), 2u);

    // The sources hold their listeners until the elements go (the recorded
    // events hold their sources).
    clicks->events.clear();
    changes->events.clear();
    const ULONG held = clicks->Refs();
    DevHost::Ui::CloseWindow(window.get());
    window.reset();
    box.reset();
    copy.reset();
    page.reset();
    EXPECT_EQ(clicks->Refs(), held - 1);
}

TEST(WindowFactory, MakesLayoutWindowsWhoseElementsCanBeFoundAndExtended)
{
    HostServices host(true);  // served from the archive
    ComPtr<IDispatch> factory;
    ASSERT_EQ(DevHost::Ui::CreateWindowFactory(nullptr, factory.put()), S_OK);
    const ComPtr<IxWindowFactory> windows = factory.As<IxWindowFactory>(IID_IxWindowFactory);
    ASSERT_TRUE(windows);
    EXPECT_TRUE(NodeOf(factory.get()));

    ComPtr<IxWindow> window;
    ASSERT_EQ(windows->CreateLayoutWindow(UniqueBstr(L"testui:\\frame.xml|TestWindow").get(), 0, window.put()), S_OK);
    ASSERT_TRUE(window);
    const HWND hwnd = DevHost::Ui::GetWindowHandle(window.get());
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(GetParent(hwnd), nullptr);
    EXPECT_NE(GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_OVERLAPPEDWINDOW, 0);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE, 0) << "hidden until shown";
    RECT client{};
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 400);
    EXPECT_EQ(client.bottom, 260);
    ASSERT_EQ(window->SetCaption(UniqueBstr(L"Settings").get()), S_OK);
    EXPECT_EQ(TextOf(hwnd), L"Settings");
    ASSERT_EQ(window->Show(), S_OK);
    EXPECT_NE(GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE, 0);

    // The window element makes no control; its children sit in the client area.
    const HWND title = ControlOf(window.get(), L"title");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(GetParent(title), hwnd);
    EXPECT_EQ(PlaceOf(title).left, 16);
    const ComPtr<IxElement> pageHost = Find(window.get(), L"host");
    ASSERT_TRUE(pageHost);
    const HWND hostPanel = DevHost::Ui::GetWindowHandle(pageHost.get());
    ASSERT_NE(hostPanel, nullptr);

    // A page added to the realised panel is realised inside it.
    const ComPtr<IUnknown> page = host.Build(L"TestPage");
    ASSERT_TRUE(page);
    ASSERT_EQ(pageHost.As<IxContainer>(IID_IxContainer)->AddChild(NodeOf(page.get()).get()), S_OK);
    const HWND panel = ControlOf(page.get(), L"page");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(GetParent(panel), hostPanel);
    EXPECT_EQ(GetParent(ControlOf(page.get(), L"aimcp_enabled")), panel);
    EXPECT_TRUE(Find(window.get(), L"aimcp_enabled")) << "found from the window, through the added page";
    EXPECT_EQ(pageHost.As<IxContainer>(IID_IxContainer)->AddChild(NodeOf(page.get()).get()), E_INVALIDARG)
        << "a child has one parent";

    // The window stays open once let go, and the factory lists it.
    const ComPtr<IxWindow> first = window;
    window.reset();
    ComPtr<IxWindow> listed;
    ASSERT_EQ(DevHost::Ui::GetFactoryWindow(factory.get(), 0, listed.put()), S_OK);
    EXPECT_EQ(listed.get(), first.get());
    EXPECT_EQ(DevHost::Ui::GetFactoryWindow(factory.get(), 1, listed.put()), S_FALSE);
    DevHost::Ui::CloseWindow(first.get());
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(DevHost::Ui::GetFactoryWindow(factory.get(), 0, listed.put()), S_FALSE);

    // Layouts that cannot be loaded or built make no window.
    for (const wchar_t* layout : {L"testui:\\frame.xml|NoSuchView", L"testui:\\missing.xml|TestWindow",
                                  L"nowhere:\\frame.xml|TestWindow", L"testui:\\frame.xml"}) {
        ComPtr<IxWindow> none;
        EXPECT_TRUE(FAILED(windows->CreateLayoutWindow(UniqueBstr(layout).get(), 0, none.put())))
            << testing::PrintToString(std::wstring(layout));
        EXPECT_FALSE(none);
    }
    DevHost::SetService(SID_ElementBuilderService, nullptr);
    ComPtr<IxWindow> none;
    EXPECT_TRUE(FAILED(windows->CreateLayoutWindow(UniqueBstr(L"testui:\\frame.xml|TestWindow").get(), 0, none.put())));
    EXPECT_FALSE(none);
    PumpMessages();
}
