// The element builder service: the element kinds and the interfaces each
// offers, the attributes, texts resolved through the language service when
// the tree is built, and layouts it refuses whole.
#include <gtest/gtest.h>

#include "UiTestSupport.h"

using namespace uitest;

namespace {

HRESULT BuildText(IxElementBuilderService* builder, const std::wstring& text, ComPtr<IUnknown>& root)
{
    return builder->BuildElement(UniqueBstr(text).get(), 0, root.put());
}

std::wstring StateOf(IUnknown* root)
{
    std::wstring text(4096, L'\0');
    text.resize(static_cast<std::size_t>(DevHost::Ui::CopyTreeState(root, &text[0], static_cast<int>(text.size()))));
    return text;
}

}  // namespace

TEST(ElementBuilder, BuildsEachKindWithItsInterfacesAndState)
{
    HostServices host;
    const ComPtr<IUnknown> page = host.Build(L"TestPage");
    ASSERT_TRUE(page);
    // Unrealised, the state is the built one: @KEY resolved, a key without a
    // text empty, literal texts with their entities decoded.
    EXPECT_EQ(StateOf(page.get()),
              L"page panel text=\"\" visible=1 disabled=0\n"
              L"caption text text=\"Caption \u4E16\" visible=1 disabled=0\n"
              L"aimcp_enabled checkbox text=\"Switch & more\" visible=1 disabled=0 checked=0\n"
              L"status text text=\"\" visible=0 disabled=0\n"
              L"copy button text=\"Copy \\\"it\\\"\" visible=1 disabled=1\n");
    RECT bounds{};
    ASSERT_EQ(DevHost::Ui::GetElementBounds(Find(page.get(), L"copy").get(), &bounds), S_OK);
    EXPECT_EQ(bounds.left, 8);
    EXPECT_EQ(bounds.top, 96);
    EXPECT_EQ(bounds.right, 128);
    EXPECT_EQ(bounds.bottom, 124);

    const struct {
        const wchar_t* id;
        std::vector<const GUID*> offered;
    } kinds[] = {
        {L"page", {&IID_IxContainer}},
        {L"caption", {&IID_IxTextElement}},
        {L"aimcp_enabled", {&IID_IxCheckBox, &IID_IxControl, &IID_IxEventSource, &IID_IxTextElement}},
        {L"copy", {&IID_IxControl, &IID_IxEventSource, &IID_IxTextElement}},
    };
    for (const auto& kind : kinds) {
        const ComPtr<IxElement> element = Find(page.get(), kind.id);
        ASSERT_TRUE(element) << testing::PrintToString(std::wstring(kind.id));
        for (const GUID* iid : {&IID_IxContainer, &IID_IxTextElement, &IID_IxCheckBox, &IID_IxControl,
                                &IID_IxEventSource}) {
            bool expected = false;
            for (const GUID* o : kind.offered) expected = expected || IsEqualIID(*o, *iid);
            ComPtr<IUnknown> answer;
            EXPECT_EQ(SUCCEEDED(element->QueryInterface(*iid, answer.put_void())), expected)
                << testing::PrintToString(std::wstring(kind.id));
        }
        // One identity whatever interface it is reached by.
        ComPtr<IUnknown> viaNode, viaElement;
        NodeOf(element.get())->QueryInterface(IID_IUnknown, viaNode.put_void());
        element->QueryInterface(IID_IUnknown, viaElement.put_void());
        EXPECT_EQ(viaNode.get(), viaElement.get());
    }

    // Texts are resolved when the tree is built: a language service that
    // goes away later changes nothing, and one missing gives empty texts.
    DevHost::SetService(SID_LanguageService, nullptr);
    EXPECT_NE(StateOf(page.get()).find(L"Caption \u4E16"), std::wstring::npos);
    const ComPtr<IUnknown> again = host.Build(L"TestPage");
    EXPECT_NE(StateOf(again.get()).find(L"caption text text=\"\""), std::wstring::npos);
}

TEST(ElementBuilder, RefusesLayoutsItCannotBuildWhole)
{
    HostServices host;
    const wchar_t* refused[] = {
        L"",
        L"<view name=\"v\"/>",                                          // nothing inside
        L"<layout><view name=\"v\"><panel/></view></layout>",           // not a view
        L"<view><panel><text></panel></view>",                          // malformed XML
        L"<view><slider id=\"s\"/></view>",                             // unknown element
        L"<view><panel><window/></panel></view>",                       // a window inside
        L"<view><text><text/></text></view>",                           // children of a control
        L"<view><button colour=\"red\"/></view>",                       // unknown attribute
        L"<view><text x=\"1.5\"/></view>",
        L"<view><text width=\"-3\"/></view>",
        L"<view><text height=\"\"/></view>",
        L"<view><text visible=\"no\"/></view>",
        L"<view><text disabled=\"1\"/></view>",
        L"<view><panel><text x=\"9999999\"/></panel></view>",
        L"<view><text text=\"&bogus;\"/></view>",
        L"<view><text/>\xD800</view>",                                  // an unpaired surrogate
    };
    for (const wchar_t* text : refused) {
        ComPtr<IUnknown> root;
        EXPECT_EQ(BuildText(host.builder.get(), text, root), E_INVALIDARG) << testing::PrintToString(std::wstring(text));
        EXPECT_FALSE(root) << testing::PrintToString(std::wstring(text));
    }
    ComPtr<IUnknown> root;
    EXPECT_EQ(BuildText(host.builder.get(), L"<view name=\"v\"> <!-- c --> <text id=\"t\" x=\"-4\" text=\"@IDS_OTHER\"/></view>", root), S_OK);
    EXPECT_EQ(StateOf(root.get()), L"t text text=\"Other\" visible=1 disabled=0\n");
    EXPECT_EQ(host.builder->BuildElement(nullptr, 0, nullptr), E_POINTER);
}
