// The plug-in's module as COM: its classes registered with the host while
// it loads, the two create functions with and without an outer object, the
// interface tables and identity of both components, and IDispatch served
// from the module's own type library.
#include <gtest/gtest.h>

#include <vector>

#include "DevHostApi.h"
#include "ModuleTestSupport.h"
#include "UniqueBstr.h"

using namespace moduletest;

namespace {

constexpr DISPID kShowSettingWindowId = 0x60020000;

struct ClassCase {
    const char* name;
    TsyCreateFunc create;
    const IID* own;                    // what the create function hands out
    std::vector<const IID*> offered;   // besides IUnknown
    std::vector<const IID*> refused;
};

const std::vector<ClassCase>& Classes()
{
    static const std::vector<ClassCase> classes = {
        {"AiMcpComponent", CreateAiMcpComponent, &IID_IxAiMcp,
         {&IID_IDispatch, &IID_IxAiMcp, &IID_IxHostPlugin},
         {&IID_IxSettingAiMcp, &IID_IxHostSettingPage, &IID_IClassFactory, &IID_IxLanguageFolder}},
        {"AiMcpSettingPage", CreateAiMcpSettingPage, &IID_IxSettingAiMcp,
         {&IID_IDispatch, &IID_IxSettingAiMcp, &IID_IxHostSettingPage},
         {&IID_IxAiMcp, &IID_IxHostPlugin, &IID_IClassFactory}},
    };
    return classes;
}

ComPtr<IUnknown> Query(IUnknown* object, const IID& iid, HRESULT* result = nullptr)
{
    ComPtr<IUnknown> out;
    const HRESULT hr = object->QueryInterface(iid, out.put_void());
    if (result) *result = hr;
    return out;
}

// An outer object that aggregates a component: it answers IUnknown itself
// and hands every other question to the component's own IUnknown.
class Outer final : public IUnknown {
public:
    ComPtr<IUnknown> inner;
    long refs = 1;
    int delegated = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        ++delegated;
        *out = nullptr;
        return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
};

// A parent window argument that offers no window factory.
class PlainDispatch final : public StackObject<IDispatch, IID_IDispatch> {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
};

// Calls ShowSettingWindow through IDispatch::Invoke with one argument and
// gives the HRESULT the method returned (which automation reports as an
// exception when it is a failure).
HRESULT InvokeShowSettingWindow(IDispatch* dispatch, IDispatch* argument)
{
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_DISPATCH;
    value.pdispVal = argument;
    DISPPARAMS params{&value, nullptr, 1, 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    UINT argumentError = 0;
    const HRESULT hr = dispatch->Invoke(kShowSettingWindowId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                        &params, &result, &exception, &argumentError);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    VariantClear(&result);
    if (hr == DISP_E_EXCEPTION) return exception.scode;
    return SUCCEEDED(hr) ? S_OK : hr;
}

TEST(ModuleRegistration, HostMakesBothClassesAndLoadsTheTypeLibrary)
{
    // The create functions were registered by this program's static
    // initialisation, as they are by the DLL's.
    ComPtr<IUnknown> component;
    ASSERT_EQ(CreateInstanceFromClassFactory(IID_IxAiMcp, component.put_void(), nullptr), S_OK);
    EXPECT_TRUE(component.As<IxAiMcp>(IID_IxAiMcp));
    EXPECT_TRUE(component.As<IxHostPlugin>(IID_IxHostPlugin));
    ComPtr<IUnknown> page;
    ASSERT_EQ(CreateInstanceFromClassFactory(IID_IxSettingAiMcp, page.put_void(), nullptr), S_OK);
    EXPECT_TRUE(page.As<IxSettingAiMcp>(IID_IxSettingAiMcp));
    EXPECT_TRUE(page.As<IxHostSettingPage>(IID_IxHostSettingPage));

    // What the DLL entry point does: the host finds the library as this
    // module's TYPELIB resource, with its identifier, version and locale.
    AiMcpModuleProcessAttach(AiMcpModuleInstance());
    ASSERT_EQ(DevHost::TypelibStatus(LIBID_TsyAppAiMcpLib), S_OK);
    ComPtr<ITypeLib> library;
    ASSERT_EQ(DevHost::GetTypelib(LIBID_TsyAppAiMcpLib, library.put()), S_OK);
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->lcid, 1033u);
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    library->ReleaseTLibAttr(attributes);
    UniqueBstr name;
    ASSERT_EQ(library->GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(name.str(), L"TsyAppAiMcpLib");
}

TEST(ModuleCreateFunctions, HandOutTheClassInterfaceHoldingOneReference)
{
    for (const ClassCase& c : Classes()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.create(nullptr, nullptr), E_POINTER);

        void* out = reinterpret_cast<void*>(1);
        ASSERT_EQ(c.create(&out, nullptr), S_OK);
        ASSERT_NE(out, nullptr);
        IUnknown* object = static_cast<IUnknown*>(out);
        ComPtr<IUnknown> own = Query(object, *c.own);
        EXPECT_EQ(static_cast<void*>(own.get()), out);  // the class's own interface
        own.reset();
        EXPECT_EQ(object->AddRef(), 2u);
        EXPECT_EQ(object->Release(), 1u);
        EXPECT_EQ(object->Release(), 0u);  // the creator's reference was the only one
    }
}

TEST(ModuleCreateFunctions, InterfaceTablesShareOneIdentity)
{
    for (const ClassCase& c : Classes()) {
        SCOPED_TRACE(c.name);
        ComPtr<IUnknown> object;
        ASSERT_EQ(c.create(object.put_void(), nullptr), S_OK);
        const ComPtr<IUnknown> identity = Query(object.get(), IID_IUnknown);
        ASSERT_TRUE(identity);
        EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

        for (const IID* from : c.offered) {
            HRESULT hr = E_FAIL;
            const ComPtr<IUnknown> start = Query(object.get(), *from, &hr);
            ASSERT_EQ(hr, S_OK);
            EXPECT_EQ(Query(start.get(), IID_IUnknown).get(), identity.get());
            for (const IID* to : c.offered) EXPECT_TRUE(Query(start.get(), *to));
            for (const IID* refused : c.refused) {
                void* out = reinterpret_cast<void*>(1);
                EXPECT_EQ(start->QueryInterface(*refused, &out), E_NOINTERFACE);
                EXPECT_EQ(out, nullptr);
            }
        }
    }
}

TEST(ModuleAggregation, OuterObjectControlsIdentityAndReferences)
{
    for (const ClassCase& c : Classes()) {
        SCOPED_TRACE(c.name);
        Outer outer;
        void* out = nullptr;
        ASSERT_EQ(c.create(&out, &outer), S_OK);
        outer.inner = ComPtr<IUnknown>::Attach(static_cast<IUnknown*>(out));
        EXPECT_EQ(outer.refs, 1);  // the component holds no reference on its outer object

        // Its own IUnknown answers the interfaces; what it hands out counts
        // on the outer object.
        ComPtr<IUnknown> own = Query(outer.inner.get(), *c.own);
        ASSERT_TRUE(own);
        EXPECT_NE(static_cast<void*>(own.get()), out);
        EXPECT_EQ(outer.refs, 2);
        EXPECT_EQ(Query(own.get(), IID_IUnknown).get(), static_cast<IUnknown*>(&outer));
        EXPECT_EQ(Query(outer.inner.get(), IID_IUnknown).get(), outer.inner.get());

        // Asked through one of its interfaces, it asks the outer object.
        const int before = outer.delegated;
        for (const IID* iid : c.offered) EXPECT_TRUE(Query(own.get(), *iid));
        EXPECT_EQ(outer.delegated, before + static_cast<int>(c.offered.size()));
        own.reset();
        EXPECT_EQ(outer.refs, 1);
        outer.inner.reset();
    }
}

TEST(ModuleAggregation, ReleasingTheOwnUnknownDestroysTheComponent)
{
    Outer outer;
    FakeHost host;
    void* out = nullptr;
    ASSERT_EQ(CreateAiMcpComponent(&out, &outer), S_OK);
    outer.inner = ComPtr<IUnknown>::Attach(static_cast<IUnknown*>(out));
    {
        ComPtr<IxHostPlugin> plugin = Query(outer.inner.get(), IID_IxHostPlugin).As<IxHostPlugin>(IID_IxHostPlugin);
        ASSERT_TRUE(plugin);
        EXPECT_EQ(plugin->AttachHost(&host), S_OK);
    }
    EXPECT_NE(AiMcpAttachedInstance(), nullptr);
    EXPECT_EQ(host.refs(), 2);
    EXPECT_EQ(outer.refs, 1);

    outer.inner.reset();  // the last reference: destroyed while attached
    EXPECT_EQ(AiMcpAttachedInstance(), nullptr);
    EXPECT_EQ(host.refs(), 1);
}

TEST(ModuleDispatch, ComponentDescribesIxAiMcpFromTheTypeLibrary)
{
    const ComPtr<IxAiMcp> component = NewComponent();
    ASSERT_TRUE(component);
    UINT count = 7;
    EXPECT_EQ(component->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);

    ComPtr<ITypeInfo> info;
    EXPECT_EQ(component->GetTypeInfo(1, 0, info.put()), DISP_E_BADINDEX);
    ASSERT_EQ(component->GetTypeInfo(0, 0, info.put()), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_IxAiMcp));
    EXPECT_EQ(attributes->typekind, TKIND_DISPATCH);
    EXPECT_NE(attributes->wTypeFlags & TYPEFLAG_FDUAL, 0);
    info->ReleaseTypeAttr(attributes);

    ComPtr<ITypeLib> library;
    UINT index = 0;
    ASSERT_EQ(info->GetContainingTypeLib(library.put(), &index), S_OK);
    TLIBATTR* libraryAttributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&libraryAttributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(libraryAttributes->guid, LIBID_TsyAppAiMcpLib));
    library->ReleaseTLibAttr(libraryAttributes);
}

TEST(ModuleDispatch, NamesGiveTheFixedDispatchId)
{
    const ComPtr<IxAiMcp> component = NewComponent();
    ASSERT_TRUE(component);
    struct NameCase {
        const wchar_t* name;
        HRESULT result;
        DISPID id;
    };
    const NameCase cases[] = {
        {L"ShowSettingWindow", S_OK, kShowSettingWindowId},
        {L"showsettingwindow", S_OK, kShowSettingWindowId},  // automation names ignore case
        {L"AttachHost", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
        {L"Nothing", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<const void*>(c.name));
        LPOLESTR names[] = {const_cast<LPOLESTR>(c.name)};
        DISPID id = 12345;
        EXPECT_EQ(component->GetIDsOfNames(IID_NULL, names, 1, 0, &id), c.result);
        EXPECT_EQ(id, c.id);
    }
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"ShowSettingWindow")};
    DISPID id = 0;
    EXPECT_EQ(component->GetIDsOfNames(IID_IxAiMcp, names, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
}

TEST(ModuleDispatch, InvokeReachesShowSettingWindow)
{
    const ComPtr<IxAiMcp> component = NewComponent();
    ASSERT_TRUE(component);
    PlainDispatch plain;
    // The method's own answers, through the vtable and through Invoke: no
    // parent window, and a parent that cannot make windows.
    EXPECT_EQ(component->ShowSettingWindow(nullptr), E_POINTER);
    EXPECT_EQ(component->ShowSettingWindow(&plain), E_FAIL);
    EXPECT_EQ(InvokeShowSettingWindow(component.get(), nullptr), E_POINTER);
    EXPECT_EQ(InvokeShowSettingWindow(component.get(), &plain), E_FAIL);
    EXPECT_EQ(plain.refs(), 1);

    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(component->Invoke(kShowSettingWindowId, IID_IxAiMcp, 0, DISPATCH_METHOD, &none, &result, nullptr,
                                nullptr),
              DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(component->Invoke(0x12345, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
}

TEST(ModuleDispatch, PageDescribesIxSettingAiMcp)
{
    ComPtr<IUnknown> object;
    ASSERT_EQ(CreateAiMcpSettingPage(object.put_void(), nullptr), S_OK);
    const ComPtr<IDispatch> page = object.As<IDispatch>(IID_IDispatch);
    ASSERT_TRUE(page);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(page->GetTypeInfo(0, 0, info.put()), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_IxSettingAiMcp));
    EXPECT_NE(attributes->wTypeFlags & TYPEFLAG_FDUAL, 0);
    info->ReleaseTypeAttr(attributes);
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"ShowSettingWindow")};
    DISPID id = 0;
    EXPECT_EQ(page->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
}

TEST(ModuleDispatch, HostPluginInterfaceOffersNoTypeInformation)
{
    const ComPtr<IxAiMcp> component = NewComponent();
    const ComPtr<IxHostPlugin> plugin = PluginOf(component);
    ASSERT_TRUE(plugin);
    UINT count = 7;
    EXPECT_EQ(plugin->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(plugin->GetTypeInfo(0, 0, info.put()), DISP_E_BADINDEX);
    EXPECT_FALSE(info);

    LONG value = 5;
    EXPECT_EQ(plugin->GetValue(&value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(plugin->GetValue(nullptr), E_POINTER);
}

}  // namespace
