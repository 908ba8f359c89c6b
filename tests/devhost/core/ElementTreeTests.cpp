// The stand-in element tree of tsyui: GetElementById, SetVisible, the
// element's interfaces and lifetime, and the tree-building rules.

#include "DevHostUi.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

ComPtr<IxElement> MakeElement(const wchar_t* id)
{
    ComPtr<IxElement> element;
    EXPECT_EQ(DevHost::Ui::CreateElement(id, element.put()), S_OK);
    return element;
}

ComPtr<IxNode2> NodeOf(const ComPtr<IxElement>& element)
{
    return element.As<IxNode2>(IID_IxNode2);
}

ComPtr<IUnknown> IdentityOf(IUnknown* object)
{
    ComPtr<IUnknown> identity;
    object->QueryInterface(IID_IUnknown, identity.put_void());
    return identity;
}

// root
//  +- a
//  |   +- a1
//  |   +- dup      (the first "dup" in depth-first order)
//  +- b
//      +- dup
class ElementTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = MakeElement(L"root");
        a = MakeElement(L"a");
        a1 = MakeElement(L"a1");
        aDup = MakeElement(L"dup");
        b = MakeElement(L"b");
        bDup = MakeElement(L"dup");
        ASSERT_EQ(DevHost::Ui::AppendChild(root.get(), a.get()), S_OK);
        ASSERT_EQ(DevHost::Ui::AppendChild(a.get(), a1.get()), S_OK);
        ASSERT_EQ(DevHost::Ui::AppendChild(a.get(), aDup.get()), S_OK);
        ASSERT_EQ(DevHost::Ui::AppendChild(root.get(), b.get()), S_OK);
        ASSERT_EQ(DevHost::Ui::AppendChild(b.get(), bDup.get()), S_OK);
    }

    ComPtr<IxElement> Find(const ComPtr<IxElement>& from, const wchar_t* id)
    {
        return ComPtr<IxElement>::Attach(Util::UI::GetElementById(NodeOf(from).get(), id));
    }

    ComPtr<IxElement> root, a, a1, aDup, b, bDup;
};

TEST_F(ElementTree, GetElementByIdSearchesTheSubtreeDepthFirst)
{
    struct Case {
        const ComPtr<IxElement>* from;
        const wchar_t* id;
        const ComPtr<IxElement>* expected;  // null: not found
    };
    const Case cases[] = {
        {&root, L"root", &root},  {&root, L"a1", &a1},     {&root, L"dup", &aDup}, {&root, L"b", &b},
        {&b, L"dup", &bDup},      {&b, L"b", &b},          {&b, L"a1", nullptr},   {&root, L"missing", nullptr},
        {&root, L"ROOT", nullptr}, {&root, L"", nullptr}, {&root, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id ? c.id : L"(null)");
        const ComPtr<IxElement> found = Find(*c.from, c.id);
        EXPECT_EQ(found.get(), c.expected ? c.expected->get() : nullptr);
    }
}

TEST_F(ElementTree, FoundElementCarriesOneReference)
{
    const ULONG before = RefCount(a1.get());
    IxElement* found = Util::UI::GetElementById(NodeOf(root).get(), L"a1");
    ASSERT_EQ(found, a1.get());
    EXPECT_EQ(RefCount(a1.get()), before + 1);
    found->Release();
    EXPECT_EQ(RefCount(a1.get()), before);
}

// An IxNode2 that is not one of the host's elements.
class ForeignNode final : public IxNode2 {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        *object = (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IxNode2)) ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

TEST_F(ElementTree, NullOrForeignRootFindsNothing)
{
    EXPECT_EQ(Util::UI::GetElementById(nullptr, L"root"), nullptr);
    ForeignNode foreign;
    EXPECT_EQ(Util::UI::GetElementById(&foreign, L"root"), nullptr);
}

TEST_F(ElementTree, ElementAnswersItsIdentifiedInterfacesWithOneIdentity)
{
    const ComPtr<IxNode2> node = NodeOf(a);
    ASSERT_TRUE(node);
    EXPECT_EQ(IdentityOf(a.get()).get(), IdentityOf(node.get()).get());
    // The same element found twice is the same node, which is how an event's
    // source is compared with a known element.
    EXPECT_EQ(NodeOf(Find(root, L"a")).get(), node.get());

    for (const GUID* iid : {&IID_IxCheckBox, &IID_IxControl, &IID_IxTextElement, &IID_IxEventSource,
                            &IID_IxContainer, &IID_ITestAlpha}) {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(a->QueryInterface(*iid, &object), E_NOINTERFACE);
        EXPECT_EQ(object, nullptr);
    }
}

TEST_F(ElementTree, SetVisibleSetsTheDisplay)
{
    EXPECT_EQ(DevHost::Ui::GetDisplay(a1.get()), ExDisplayShown);
    Util::Style::SetVisible(a1.get(), ExDisplayHidden);
    EXPECT_EQ(DevHost::Ui::GetDisplay(a1.get()), ExDisplayHidden);
    EXPECT_EQ(DevHost::Ui::GetDisplay(a.get()), ExDisplayShown) << "only the element itself changes";
    Util::Style::SetVisible(a1.get(), ExDisplayShown);
    EXPECT_EQ(DevHost::Ui::GetDisplay(a1.get()), ExDisplayShown);
}

TEST_F(ElementTree, SetVisibleIgnoresUnknownDisplaysAndTracesThem)
{
    Util::Style::SetVisible(a1.get(), ExDisplayHidden);
    for (int value : {0, 3, -1}) {
        Util::Style::SetVisible(a1.get(), static_cast<ExDisplay>(value));
        EXPECT_EQ(DevHost::Ui::GetDisplay(a1.get()), ExDisplayHidden);
        EXPECT_NE(TraceTail(1).find(L"tsyui: SetVisible with unknown display " + std::to_wstring(value)),
                  std::wstring::npos);
    }
    Util::Style::SetVisible(nullptr, ExDisplayHidden);  // nothing to change, and no crash
    EXPECT_EQ(DevHost::Ui::GetDisplay(nullptr), static_cast<ExDisplay>(0));
}

TEST_F(ElementTree, AppendChildRefusesCyclesAndSecondParents)
{
    ComPtr<IxElement> loose = MakeElement(L"loose");
    ForeignNode foreign;
    struct Case {
        const char* what;
        IxElement* parent;
        IxElement* child;
    };
    const Case cases[] = {
        {"element into itself", a.get(), a.get()},
        {"ancestor into descendant", a1.get(), root.get()},
        {"parent into child", aDup.get(), a.get()},
        {"child that has a parent", b.get(), a1.get()},
        {"null child", a.get(), nullptr},
        {"null parent", nullptr, loose.get()},
        {"foreign child", a.get(), reinterpret_cast<IxElement*>(static_cast<IUnknown*>(&foreign))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DevHost::Ui::AppendChild(c.parent, c.child), E_INVALIDARG);
    }
    // The tree is as before.
    EXPECT_EQ(Find(b, L"a1").get(), nullptr);
    EXPECT_EQ(Find(a1, L"root").get(), nullptr);
    EXPECT_EQ(Find(root, L"a1").get(), a1.get());
}

TEST_F(ElementTree, AttachedObjectIsHandedOutAndReleasedWithTheTree)
{
    ComPtr<TestObject> attached = TestObject::Make();
    ASSERT_EQ(DevHost::Ui::SetAttachedObject(bDup.get(), attached->Unknown()), S_OK);
    EXPECT_EQ(attached->Refs(), 2);

    ComPtr<IUnknown> object;
    EXPECT_EQ(bDup->GetAttachedObject(object.put()), S_OK);
    EXPECT_EQ(object.get(), attached->Unknown());
    object.reset();

    ComPtr<IUnknown> none;
    EXPECT_EQ(a1->GetAttachedObject(none.put()), S_FALSE);
    EXPECT_FALSE(none);

    // Dropping every outside reference destroys the whole tree, which
    // releases what its elements hold.
    a.reset();
    a1.reset();
    aDup.reset();
    b.reset();
    bDup.reset();
    EXPECT_EQ(attached->Refs(), 2) << "the root still holds the tree";
    root.reset();
    EXPECT_EQ(attached->Refs(), 1);
}

TEST_F(ElementTree, ChildOutlivingItsParentCanBeAdoptedAgain)
{
    ComPtr<IxElement> parent = MakeElement(L"parent");
    ComPtr<IxElement> child = MakeElement(L"child");
    ASSERT_EQ(DevHost::Ui::AppendChild(parent.get(), child.get()), S_OK);
    parent.reset();
    EXPECT_EQ(DevHost::Ui::AppendChild(root.get(), child.get()), S_OK);
    EXPECT_EQ(Find(root, L"child").get(), child.get());
}

TEST_F(ElementTree, CopyElementIdCutsAndTerminates)
{
    wchar_t buffer[4];
    EXPECT_EQ(DevHost::Ui::CopyElementId(root.get(), buffer, 4), 3);
    EXPECT_STREQ(buffer, L"roo");
    EXPECT_EQ(DevHost::Ui::CopyElementId(a1.get(), buffer, 4), 2);
    EXPECT_STREQ(buffer, L"a1");
    EXPECT_EQ(DevHost::Ui::CopyElementId(nullptr, buffer, 4), 0);
    EXPECT_STREQ(buffer, L"");
}

}  // namespace
