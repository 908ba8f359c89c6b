// The service registry (GetService, SetService, ClearServices) and the class
// registry (RegisterCreateFunc, RegisterHostClass, ClearClasses,
// CreateInstanceFromClassFactory).

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

class ServiceRegistry : public ::testing::Test {
protected:
    void TearDown() override { DevHost::ClearServices(); }
};

TEST_F(ServiceRegistry, HandsOutTheInterfaceForTheIdentifierAndBalancesReferences)
{
    ComPtr<TestObject> object = TestObject::Make();
    DevHost::SetService(IID_ITestBeta, object->Unknown());
    EXPECT_EQ(object->Refs(), 2);  // ours and the host's

    void* service = nullptr;
    EXPECT_EQ(Util::Service::GetService(IID_ITestBeta, &service), S_OK);
    // The identifier's interface, not the pointer the object was installed as.
    ASSERT_EQ(service, static_cast<ITestBeta*>(object.get()));
    EXPECT_EQ(object->Refs(), 3);
    EXPECT_EQ(static_cast<ITestBeta*>(service)->Beta(), 2);
    static_cast<ITestBeta*>(service)->Release();
    EXPECT_EQ(object->Refs(), 2);

    // Several look-ups in a row leave the count where it was.
    for (int i = 0; i < 3; ++i) {
        ComPtr<ITestBeta> again;
        Util::Service::GetService(IID_ITestBeta, again.put_void());
        EXPECT_TRUE(again);
    }
    EXPECT_EQ(object->Refs(), 2);
}

TEST_F(ServiceRegistry, GivesNothingWhenTheObjectDoesNotAnswerTheIdentifier)
{
    ComPtr<TestObject> object = TestObject::Make(/*answersBeta=*/false);
    DevHost::SetService(IID_ITestBeta, object->Unknown());

    void* service = reinterpret_cast<void*>(1);
    EXPECT_TRUE(FAILED(Util::Service::GetService(IID_ITestBeta, &service)));
    EXPECT_EQ(service, nullptr);
    EXPECT_EQ(object->Refs(), 2);
}

TEST_F(ServiceRegistry, UnknownIdentifierGivesNull)
{
    void* service = reinterpret_cast<void*>(1);
    Util::Service::GetService(FreshGuid(), &service);
    EXPECT_EQ(service, nullptr);
    EXPECT_EQ(Util::Service::GetService(IID_ITestAlpha, nullptr), E_POINTER);
}

TEST_F(ServiceRegistry, RemovedReplacedAndClearedServicesAreReleasedAndGone)
{
    ComPtr<TestObject> first = TestObject::Make();
    ComPtr<TestObject> second = TestObject::Make();
    ComPtr<TestObject> other = TestObject::Make();

    DevHost::SetService(IID_ITestAlpha, first->Unknown());
    DevHost::SetService(IID_ITestAlpha, second->Unknown());
    EXPECT_EQ(first->Refs(), 1) << "replacing releases the earlier service";
    ComPtr<ITestAlpha> found;
    Util::Service::GetService(IID_ITestAlpha, found.put_void());
    EXPECT_EQ(found.get(), static_cast<ITestAlpha*>(second.get()));
    found.reset();

    DevHost::SetService(IID_ITestAlpha, nullptr);
    EXPECT_EQ(second->Refs(), 1);
    Util::Service::GetService(IID_ITestAlpha, found.put_void());
    EXPECT_FALSE(found);

    DevHost::SetService(IID_ITestAlpha, first->Unknown());
    DevHost::SetService(IID_ITestBeta, other->Unknown());
    DevHost::ClearServices();
    EXPECT_EQ(first->Refs(), 1);
    EXPECT_EQ(other->Refs(), 1);
    Util::Service::GetService(IID_ITestBeta, found.put_void());
    EXPECT_FALSE(found);
}

// A service whose QueryInterface asks the host for another service: the host
// must not hold its lock while it calls into the service.
TEST_F(ServiceRegistry, ServiceMayLookUpAnotherServiceWhileAnswering)
{
    static ComPtr<ITestBeta> nestedResult;
    ComPtr<TestObject> outer = TestObject::Make();
    ComPtr<TestObject> inner = TestObject::Make();
    DevHost::SetService(IID_ITestAlpha, outer->Unknown());
    DevHost::SetService(IID_ITestBeta, inner->Unknown());
    outer->RunDuringNextQuery([] { Util::Service::GetService(IID_ITestBeta, nestedResult.put_void()); });

    ComPtr<ITestAlpha> found;
    Util::Service::GetService(IID_ITestAlpha, found.put_void());
    EXPECT_TRUE(found);
    EXPECT_EQ(nestedResult.get(), static_cast<ITestBeta*>(inner.get()));
    nestedResult.reset();
}

// Create functions that record how they were called.
struct CreateLog {
    static inline int calls = 0;
    static inline IUnknown* outer = nullptr;
};

HRESULT CreateTestObject(void** object, IUnknown* outer)
{
    ++CreateLog::calls;
    CreateLog::outer = outer;
    *object = static_cast<ITestAlpha*>(new TestObject);
    return S_OK;
}

HRESULT CreateFailing(void**, IUnknown*)
{
    ++CreateLog::calls;
    return E_OUTOFMEMORY;
}

class ClassRegistry : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateLog::calls = 0;
        CreateLog::outer = nullptr;
    }
    void TearDown() override { DevHost::ClearClasses(); }
};

TEST_F(ClassRegistry, RegisteredClassIsCreatedWithOneReference)
{
    const GUID classId = FreshGuid();
    EXPECT_EQ(RegisterCreateFunc(classId, CreateTestObject, GetModuleHandleW(nullptr), 0, nullptr), S_OK);

    void* object = nullptr;
    EXPECT_EQ(CreateInstanceFromClassFactory(classId, &object, nullptr), S_OK);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(CreateLog::calls, 1);
    auto* alpha = static_cast<ITestAlpha*>(object);
    EXPECT_EQ(RefCount(alpha), 1u);
    alpha->Release();
}

TEST_F(ClassRegistry, OuterObjectReachesTheCreateFunction)
{
    const GUID classId = FreshGuid();
    DevHost::RegisterHostClass(classId, CreateTestObject);
    ComPtr<TestObject> outer = TestObject::Make();

    ComPtr<IUnknown> inner;
    EXPECT_EQ(CreateInstanceFromClassFactory(classId, inner.put_void(), outer->Unknown()), S_OK);
    EXPECT_EQ(CreateLog::outer, outer->Unknown());
    EXPECT_TRUE(inner);
}

TEST_F(ClassRegistry, UnknownClassAndFailingCreateFunctionLeaveNull)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateInstanceFromClassFactory(FreshGuid(), &object, nullptr), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CreateLog::calls, 0);

    const GUID failing = FreshGuid();
    RegisterCreateFunc(failing, CreateFailing, nullptr, 0, nullptr);
    EXPECT_EQ(CreateInstanceFromClassFactory(failing, &object, nullptr), E_OUTOFMEMORY);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CreateLog::calls, 1);
}

TEST_F(ClassRegistry, RegistrationsAreReplacedRemovedAndCleared)
{
    const GUID hostClass = FreshGuid();
    const GUID pluginClass = FreshGuid();
    ComPtr<IUnknown> object;

    // Null is refused and keeps the earlier registration.
    RegisterCreateFunc(pluginClass, CreateTestObject, nullptr, 0, nullptr);
    EXPECT_EQ(RegisterCreateFunc(pluginClass, nullptr, nullptr, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(CreateInstanceFromClassFactory(pluginClass, object.put_void(), nullptr), S_OK);

    // The last registration wins; a null host registration removes it.
    DevHost::RegisterHostClass(hostClass, CreateTestObject);
    DevHost::RegisterHostClass(hostClass, CreateFailing);
    EXPECT_EQ(CreateInstanceFromClassFactory(hostClass, object.put_void(), nullptr), E_OUTOFMEMORY);
    DevHost::RegisterHostClass(hostClass, nullptr);
    EXPECT_EQ(CreateInstanceFromClassFactory(hostClass, object.put_void(), nullptr), REGDB_E_CLASSNOTREG);

    // Clearing forgets the plug-in's classes as well as the host's.
    DevHost::RegisterHostClass(hostClass, CreateTestObject);
    DevHost::ClearClasses();
    EXPECT_EQ(CreateInstanceFromClassFactory(hostClass, object.put_void(), nullptr), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CreateInstanceFromClassFactory(pluginClass, object.put_void(), nullptr), REGDB_E_CLASSNOTREG);
}

// A create function that makes its object's parts through the host, as a
// component made of host objects does: the host must not hold its lock
// around the call.
TEST_F(ClassRegistry, CreateFunctionMayCreateOtherObjects)
{
    static GUID partClass;
    partClass = FreshGuid();
    const GUID wholeClass = FreshGuid();
    DevHost::RegisterHostClass(partClass, CreateTestObject);
    DevHost::RegisterHostClass(wholeClass, [](void** object, IUnknown*) -> HRESULT {
        return CreateInstanceFromClassFactory(partClass, object, nullptr);
    });

    ComPtr<IUnknown> object;
    EXPECT_EQ(CreateInstanceFromClassFactory(wholeClass, object.put_void(), nullptr), S_OK);
    EXPECT_TRUE(object);
    EXPECT_EQ(CreateLog::calls, 1);
}

}  // namespace
