// Type library registration.
//
// A plug-in calls RegisterTypelib from its DLL entry point, that is, under
// the loader lock. Loading a type library from a module file maps that file
// and may load further DLLs, which must not happen under the loader lock. So
// RegisterTypelib only records the library identifier and the module's file
// path (GetModuleFileNameW reads the loader's list and loads nothing), and
// the library is loaded later, on the caller's thread, by
// DevHost::LoadPendingTypelibs. That function runs explicitly (the stand-in
// program calls it after loading a plug-in) and implicitly before
// TypelibStatus, GetTypelib and every CreateInstanceFromClassFactory, so the
// library is in place before the plug-in's first object exists. Nothing is
// posted to another thread: the work simply waits until someone needs it.
//
// The file path is taken at registration so that a later load does not
// depend on the module handle still being valid.
//
// Loading uses REGKIND_NONE: nothing is written to the registry; the host
// keeps the loaded library (the plug-in's dual interfaces dispatch through
// it). A library that fails to load, or whose identifier differs from the
// one registered, is traced and its failure kept for TypelibStatus.

#include "DevHostApi.h"

#include "ComPtr.h"

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

struct GuidLess {
    bool operator()(const GUID& a, const GUID& b) const noexcept { return memcmp(&a, &b, sizeof(GUID)) < 0; }
};

struct PendingTypelib {
    GUID libraryId{};
    std::wstring modulePath;
    HRESULT pathResult = S_OK;  // the failure of GetModuleFileNameW, if any
};

struct LoadedTypelib {
    HRESULT status = S_OK;
    ComPtr<ITypeLib> library;  // null unless status succeeded
};

struct TypelibState {
    std::mutex lock;
    std::vector<PendingTypelib> pending;
    std::map<GUID, LoadedTypelib, GuidLess> loaded;
};

// Never destroyed, like the other registries: libraries are not released
// while the process shuts down.
TypelibState& Typelibs()
{
    static TypelibState* state = new TypelibState;
    return *state;
}

std::wstring ModulePath(HINSTANCE module, HRESULT* result)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            *result = HRESULT_FROM_WIN32(GetLastError());
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            *result = S_OK;
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring GuidText(const GUID& id)
{
    wchar_t text[40] = {};
    StringFromGUID2(id, text, 40);
    return text;
}

LoadedTypelib Load(const PendingTypelib& pending)
{
    LoadedTypelib result;
    result.status = pending.pathResult;
    if (SUCCEEDED(result.status))
        result.status = LoadTypeLibEx(pending.modulePath.c_str(), REGKIND_NONE, result.library.put());
    if (SUCCEEDED(result.status)) {
        TLIBATTR* attributes = nullptr;
        result.status = result.library->GetLibAttr(&attributes);
        if (SUCCEEDED(result.status)) {
            if (!IsEqualGUID(attributes->guid, pending.libraryId)) result.status = TYPE_E_CANTLOADLIBRARY;
            result.library->ReleaseTLibAttr(attributes);
        }
    }

    const std::wstring id = GuidText(pending.libraryId);
    if (FAILED(result.status)) {
        result.library.reset();
        __NTrace(TEXT(__FILE__), L"LoadedTypelib Load(const PendingTypelib&)", __LINE__,
                 L"tsycore: RegisterTypelib failed hr = 0x%08x, library %s, module %s",
                 static_cast<unsigned>(result.status), id.c_str(), pending.modulePath.c_str());
    } else {
        __NTrace(TEXT(__FILE__), L"LoadedTypelib Load(const PendingTypelib&)", __LINE__,
                 L"tsycore: RegisterTypelib loaded library %s from %s", id.c_str(), pending.modulePath.c_str());
    }
    return result;
}

}  // namespace

HRESULT RegisterTypelib(const GUID& libraryId, HINSTANCE module)
{
    PendingTypelib pending;
    pending.libraryId = libraryId;
    pending.modulePath = ModulePath(module, &pending.pathResult);

    TypelibState& state = Typelibs();
    std::lock_guard<std::mutex> guard(state.lock);
    state.pending.push_back(std::move(pending));
    return S_OK;
}

int DevHost::LoadPendingTypelibs()
{
    TypelibState& state = Typelibs();
    std::vector<PendingTypelib> work;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        work.swap(state.pending);
    }
    for (const PendingTypelib& pending : work) {
        LoadedTypelib loaded = Load(pending);
        LoadedTypelib replaced;
        {
            std::lock_guard<std::mutex> guard(state.lock);
            LoadedTypelib& slot = state.loaded[pending.libraryId];
            replaced = std::exchange(slot, std::move(loaded));
        }
        // `replaced` (an earlier registration of the same library) is
        // released here, outside the lock.
    }
    return static_cast<int>(work.size());
}

HRESULT DevHost::TypelibStatus(const GUID& libraryId)
{
    LoadPendingTypelibs();
    TypelibState& state = Typelibs();
    std::lock_guard<std::mutex> guard(state.lock);
    const auto found = state.loaded.find(libraryId);
    return found == state.loaded.end() ? TYPE_E_LIBNOTREGISTERED : found->second.status;
}

HRESULT DevHost::GetTypelib(const GUID& libraryId, ITypeLib** library)
{
    if (!library) return E_POINTER;
    *library = nullptr;
    LoadPendingTypelibs();
    TypelibState& state = Typelibs();
    std::lock_guard<std::mutex> guard(state.lock);
    const auto found = state.loaded.find(libraryId);
    if (found == state.loaded.end()) return TYPE_E_LIBNOTREGISTERED;
    if (FAILED(found->second.status)) return found->second.status;
    *library = ComPtr<ITypeLib>::Copy(found->second.library.get()).detach();
    return S_OK;
}
