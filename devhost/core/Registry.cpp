// The service registry and the class registry.
//
// Both are maps keyed by GUID behind a mutex. Apart from the AddRef that
// copies a service out, foreign code (QueryInterface, Release, create
// functions) is never called while the mutex is held: a service's
// QueryInterface or a create function may itself ask the host for a service
// or an object, and would otherwise deadlock on the mutex.
//
// RegisterCreateFunc arrives under the loader lock, during a plug-in's static
// initialisation; it only takes the mutex and stores a function pointer, and
// nothing that holds the mutex ever waits for the loader.

#include "DevHostApi.h"

#include "ComPtr.h"

#include <map>
#include <mutex>
#include <utility>

namespace {

struct GuidLess {
    bool operator()(const GUID& a, const GUID& b) const noexcept { return memcmp(&a, &b, sizeof(GUID)) < 0; }
};

struct Registry {
    std::mutex lock;
    std::map<GUID, ComPtr<IUnknown>, GuidLess> services;
    std::map<GUID, TsyCreateFunc, GuidLess> classes;
};

// Never destroyed: at process exit the installed services may belong to
// modules whose runtime is already gone, so they are not released then.
Registry& TheRegistry()
{
    static Registry* registry = new Registry;
    return *registry;
}

}  // namespace

HRESULT Util::Service::GetService(const GUID& serviceId, void** service)
{
    if (!service) return E_POINTER;
    *service = nullptr;

    ComPtr<IUnknown> installed;
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> guard(registry.lock);
        const auto found = registry.services.find(serviceId);
        if (found != registry.services.end()) installed = found->second;
    }
    if (!installed) return E_NOINTERFACE;

    // A service's identifier is also the identifier of its interface: the
    // caller gets exactly what the object answers for it, and nothing when
    // the object does not know the identifier.
    const HRESULT hr = installed->QueryInterface(serviceId, service);
    if (FAILED(hr)) *service = nullptr;
    return hr;
}

void DevHost::SetService(const GUID& serviceId, IUnknown* service)
{
    ComPtr<IUnknown> previous;
    ComPtr<IUnknown> added = ComPtr<IUnknown>::Copy(service);
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> guard(registry.lock);
        const auto found = registry.services.find(serviceId);
        if (found != registry.services.end()) {
            previous = std::move(found->second);
            registry.services.erase(found);
        }
        if (added) registry.services.emplace(serviceId, std::move(added));
    }
    // `previous` is released here, outside the lock.
}

void DevHost::ClearServices()
{
    std::map<GUID, ComPtr<IUnknown>, GuidLess> removed;
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> guard(registry.lock);
        removed.swap(registry.services);
    }
}

HRESULT RegisterCreateFunc(const GUID& classId, TsyCreateFunc create, HINSTANCE /*module*/, int /*reserved*/,
                           const wchar_t* /*reservedText*/)
{
    if (!create) return E_INVALIDARG;
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    registry.classes[classId] = create;
    return S_OK;
}

void DevHost::RegisterHostClass(const GUID& classId, TsyCreateFunc create)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    if (create)
        registry.classes[classId] = create;
    else
        registry.classes.erase(classId);
}

void DevHost::ClearClasses()
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    registry.classes.clear();
}

HRESULT CreateInstanceFromClassFactory(const GUID& classId, void** object, IUnknown* outer)
{
    if (!object) return E_POINTER;
    *object = nullptr;

    // A plug-in's objects dispatch through its type library, so any library
    // it registered while loading is loaded before its first object exists.
    DevHost::LoadPendingTypelibs();

    TsyCreateFunc create = nullptr;
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> guard(registry.lock);
        const auto found = registry.classes.find(classId);
        if (found != registry.classes.end()) create = found->second;
    }
    if (!create) return REGDB_E_CLASSNOTREG;
    return create(object, outer);
}
