#include "ResourceServices.h"

#include <cwctype>

namespace devhost {

namespace {

bool SameName(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size() || a.size() > 0x7FFFFFFF) return false;
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The entry of (name, value) pairs whose name equals name regardless of
// case; end when there is none.
template <typename Pairs>
auto FindName(Pairs& pairs, const std::wstring& name)
{
    auto it = pairs.begin();
    while (it != pairs.end() && !SameName(it->first, name)) ++it;
    return it;
}

std::wstring WithBackslash(std::wstring folder)
{
    if (folder.empty() || !IsSeparator(folder.back())) folder.push_back(L'\\');
    return folder;
}

}  // namespace

// ---- Path ------------------------------------------------------------------

PathService::PathService(const std::wstring& applicationFolder)
    : applicationFolder_(WithBackslash(applicationFolder.empty() ? ProgramFolder() : applicationFolder))
{
}

ComPtr<PathService> PathService::Create(const std::wstring& applicationFolder) noexcept
{
    return MakeComObject<PathService>(applicationFolder);
}

std::wstring PathService::ProgramFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

bool PathService::Resolve(const std::wstring& path, std::wstring& fullPath) const
{
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        fullPath = path;
        return true;
    }
    const std::size_t colon = path.find(L':');
    if (colon == std::wstring::npos || colon == 0) return false;
    // "name:" alone, or "name:" and a separator; "C:file" is relative.
    if (colon + 1 < path.size() && !IsSeparator(path[colon + 1])) return false;
    const std::wstring name = path.substr(0, colon);
    const std::wstring rest = colon + 2 <= path.size() ? path.substr(colon + 2) : std::wstring();
    if (name.size() == 1 && std::iswalpha(name[0])) {
        if (colon + 1 >= path.size()) return false;
        fullPath = path;
        return true;
    }
    std::lock_guard<std::mutex> guard(lock_);
    std::wstring folder;
    if (SameName(name, L"app")) {
        folder = applicationFolder_;
    } else {
        const auto found = FindName(aliases_, name);
        if (found == aliases_.end()) return false;
        folder = found->second;
    }
    fullPath = WithBackslash(folder) + rest;
    return true;
}

std::wstring PathService::ApplicationFolder() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return applicationFolder_;
}

void PathService::SetApplicationFolder(const std::wstring& folder)
{
    std::lock_guard<std::mutex> guard(lock_);
    applicationFolder_ = WithBackslash(folder.empty() ? ProgramFolder() : folder);
}

std::vector<std::pair<std::wstring, std::wstring>> PathService::Aliases() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return aliases_;
}

std::vector<std::pair<std::wstring, std::wstring>> PathService::ArchiveBindings() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return bindings_;
}

bool PathService::ArchiveFor(const std::wstring& alias, std::wstring& archivePath) const
{
    std::lock_guard<std::mutex> guard(lock_);
    const auto found = FindName(bindings_, alias);
    if (found == bindings_.end()) return false;
    archivePath = found->second;
    return true;
}

HRESULT PathService::ResolvePath(BSTR path, BSTR* fullPath) noexcept
{
    if (!fullPath) return E_POINTER;
    return Guarded([&] {
        std::wstring resolved;
        if (!Resolve(BstrText(path), resolved)) return E_INVALIDARG;
        BSTR out = AllocBstr(resolved);
        if (!out) return E_OUTOFMEMORY;
        *fullPath = out;
        return S_OK;
    });
}

HRESULT PathService::DefineAlias(BSTR alias, BSTR folder) noexcept
{
    return Guarded([&] {
        const std::wstring name = BstrText(alias);
        const std::wstring target = BstrText(folder);
        HRESULT hr = S_OK;
        if (name.empty() || name.find_first_of(L":\\/") != std::wstring::npos || target.empty()) {
            hr = E_INVALIDARG;
        } else if (SameName(name, L"app")) {
            hr = E_ACCESSDENIED;
        } else {
            std::lock_guard<std::mutex> guard(lock_);
            const auto found = FindName(aliases_, name);
            if (found != aliases_.end()) found->second = target;
            else aliases_.emplace_back(name, target);
        }
        calls_.Record(kDefineAlias, {name, target}, hr);
        return hr;
    });
}

HRESULT PathService::BindAliasToArchive(BSTR alias, BSTR archivePath) noexcept
{
    return Guarded([&] {
        const std::wstring name = BstrText(alias);
        const std::wstring archive = BstrText(archivePath);
        HRESULT hr = S_OK;
        if (name.empty()) {
            hr = E_INVALIDARG;
        } else {
            std::lock_guard<std::mutex> guard(lock_);
            const auto found = FindName(bindings_, name);
            if (found != bindings_.end()) found->second = archive;
            else bindings_.emplace_back(name, archive);
        }
        calls_.Record(kBindAliasToArchive, {name, archive}, hr);
        return hr;
    });
}

// ---- Resource archive ------------------------------------------------------

ComPtr<ResourceArchiveService> ResourceArchiveService::Create() noexcept
{
    return MakeComObject<ResourceArchiveService>();
}

HRESULT ResourceArchiveService::RecordOperation(const wchar_t* operation, BSTR archivePath) noexcept
{
    return Guarded([&] {
        calls_.Record(operation, {BstrText(archivePath)}, S_OK);
        return S_OK;
    });
}

HRESULT ResourceArchiveService::ArchiveOperation1(BSTR archivePath) noexcept
{
    return RecordOperation(L"ArchiveOperation1", archivePath);
}

HRESULT ResourceArchiveService::ArchiveOperation2(BSTR archivePath) noexcept
{
    return RecordOperation(L"ArchiveOperation2", archivePath);
}

HRESULT ResourceArchiveService::ArchiveOperation3(BSTR archivePath) noexcept
{
    return RecordOperation(L"ArchiveOperation3", archivePath);
}

// ---- Resource index --------------------------------------------------------

ComPtr<ResourceIndexService> ResourceIndexService::Create() noexcept
{
    return MakeComObject<ResourceIndexService>();
}

HRESULT ResourceIndexService::RegisterIndex(BSTR indexPath, BSTR moduleFileName) noexcept
{
    return Guarded([&] {
        calls_.Record(kRegisterIndex, {BstrText(indexPath), BstrText(moduleFileName)}, S_OK);
        return S_OK;
    });
}

}  // namespace devhost
