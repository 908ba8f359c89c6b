// Type library registration: modules that register while loading, a valid
// library that is loaded and kept, broken ones that are traced and reported,
// and loading deferred until the host is asked.

#include "TestModuleIds.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

// The test modules stay loaded for the rest of the process, as a plug-in
// stays loaded in the host.
HMODULE LoadTestModule(const wchar_t* name)
{
    HMODULE module = LoadLibraryW(name);
    EXPECT_NE(module, nullptr) << "cannot load the test module (error " << GetLastError() << ")";
    return module;
}

std::wstring FailureTrace(HRESULT hr)
{
    wchar_t text[64];
    swprintf(text, 64, L"tsycore: RegisterTypelib failed hr = 0x%08x", static_cast<unsigned>(hr));
    return text;
}

TEST(TypelibRegistration, ModulesRegisterWhileLoading)
{
    LoadTestModule(kGoodModuleName);
    LoadTestModule(kGarbageModuleName);

    EXPECT_EQ(DevHost::TypelibStatus(kGoodLibraryId), S_OK);
    EXPECT_TRUE(FAILED(DevHost::TypelibStatus(kGarbageLibraryId)));

    // The create function the good module registered during its static
    // initialisation makes objects.
    ComPtr<IUnknown> object;
    EXPECT_EQ(CreateInstanceFromClassFactory(kGoodModuleClassId, object.put_void(), nullptr), S_OK);
    EXPECT_TRUE(object);
}

TEST(TypelibRegistration, ValidLibraryIsKeptAndDescribesItsDualInterface)
{
    HMODULE module = LoadTestModule(kGoodModuleName);
    RegisterTypelib(kGoodLibraryId, module);
    ASSERT_EQ(DevHost::TypelibStatus(kGoodLibraryId), S_OK);

    ComPtr<ITypeLib> library;
    ASSERT_EQ(DevHost::GetTypelib(kGoodLibraryId, library.put()), S_OK);
    ASSERT_TRUE(library);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(library->GetTypeInfoOfGuid(kProbeInterfaceId, info.put()), S_OK);

    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->typekind, TKIND_DISPATCH);
    EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FDUAL);
    info->ReleaseTypeAttr(attributes);

    // What IDispatch::GetIDsOfNames of the plug-in's objects relies on.
    wchar_t name[] = L"Ping";
    LPOLESTR names[] = {name};
    MEMBERID id = 0;
    EXPECT_EQ(info->GetIDsOfNames(names, 1, &id), S_OK);
    EXPECT_EQ(id, 1);
}

// Each broken registration fails, keeps no library and is traced with its
// result, its library identifier and the module.
TEST(TypelibRegistration, BrokenLibrariesAreTracedAndReported)
{
    struct Case {
        const char* what;
        HMODULE module;
        GUID libraryId;
    };
    const Case cases[] = {
        {"resource is not a type library", LoadTestModule(kGarbageModuleName), FreshGuid()},
        {"library has another identifier", LoadTestModule(kGoodModuleName), FreshGuid()},
        {"module has no type library", GetModuleHandleW(nullptr), FreshGuid()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegisterTypelib(c.libraryId, c.module);
        const HRESULT status = DevHost::TypelibStatus(c.libraryId);
        EXPECT_TRUE(FAILED(status));

        ComPtr<ITypeLib> library;
        EXPECT_EQ(DevHost::GetTypelib(c.libraryId, library.put()), status);
        EXPECT_FALSE(library);

        const std::wstring tail = TraceTail(1);
        EXPECT_NE(tail.find(FailureTrace(status)), std::wstring::npos) << tail.c_str();
        EXPECT_NE(tail.find(GuidText(c.libraryId)), std::wstring::npos) << tail.c_str();
    }
}

TEST(TypelibRegistration, LoadingWaitsUntilTheHostAsks)
{
    const GUID libraryId = FreshGuid();
    const std::wstring idText = GuidText(libraryId);
    RegisterTypelib(libraryId, GetModuleHandleW(nullptr));
    EXPECT_EQ(TraceTail(1000).find(idText), std::wstring::npos) << "loaded while registering";

    EXPECT_GE(DevHost::LoadPendingTypelibs(), 1);
    EXPECT_NE(TraceTail(1).find(idText), std::wstring::npos);
    EXPECT_TRUE(FAILED(DevHost::TypelibStatus(libraryId)));
    EXPECT_EQ(DevHost::LoadPendingTypelibs(), 0) << "each registration is loaded once";
}

TEST(TypelibRegistration, LatestRegistrationDecides)
{
    HMODULE module = LoadTestModule(kGoodModuleName);
    RegisterTypelib(kGoodLibraryId, GetModuleHandleW(nullptr));
    EXPECT_TRUE(FAILED(DevHost::TypelibStatus(kGoodLibraryId)));
    RegisterTypelib(kGoodLibraryId, module);
    EXPECT_EQ(DevHost::TypelibStatus(kGoodLibraryId), S_OK);
}

TEST(TypelibRegistration, UnregisteredLibraryIsReportedAsSuch)
{
    const GUID libraryId = FreshGuid();
    EXPECT_EQ(DevHost::TypelibStatus(libraryId), TYPE_E_LIBNOTREGISTERED);
    ITypeLib* library = reinterpret_cast<ITypeLib*>(1);
    EXPECT_EQ(DevHost::GetTypelib(libraryId, &library), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(library, nullptr);
}

}  // namespace
