// The stand-in resource services: path, resource archive and resource index.
//
// Path: a host path is "<name>:\" followed by a path relative to the folder
// that name stands for. "app:\" stands for the application folder (the
// folder of the running program unless set otherwise); further names are
// defined with DefineAlias. Names compare without regard to letter case. A
// resolved path is the folder with exactly one backslash after it, followed
// by the rest as given, so "app:\" alone resolves to the application folder
// with a trailing backslash. Drive paths ("C:\...") and UNC paths
// ("\\server\...") are already full and resolve to themselves; anything else
// (a relative path, an unknown name) cannot be resolved. DefineAlias
// replaces an earlier definition of the name and refuses "app", an empty
// name, a name holding ':', '\' or '/', and an empty folder.
// BindAliasToArchive records and remembers the archive an alias is served
// from (a later binding of the same alias replaces it); the layout loader
// reads files of a bound alias out of that archive when it exists.
//
// Resource archive and resource index: every call is recorded and answered
// S_OK; the stand-in has nothing else to do with archives and indexes.
//
// Every call that defines or registers something is recorded (see Calls),
// failed ones included; resolving is not. Objects can be used from any
// thread; one lock per object guards its state.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "CallRecorder.h"
#include "ComObject.h"
#include "Resources.h"

namespace devhost {

class PathService final : public ComObject<IxPathService, IID_IxPathService> {
public:
    static constexpr const wchar_t* kDefineAlias = L"DefineAlias";
    static constexpr const wchar_t* kBindAliasToArchive = L"BindAliasToArchive";

    // applicationFolder empty: the folder of the running program.
    static ComPtr<PathService> Create(const std::wstring& applicationFolder) noexcept;

    // The folder of the running program, with a trailing backslash.
    static std::wstring ProgramFolder();

    // C++ side.
    bool Resolve(const std::wstring& path, std::wstring& fullPath) const;
    // With a trailing backslash.
    std::wstring ApplicationFolder() const;
    void SetApplicationFolder(const std::wstring& folder);
    // The defined aliases (name as first defined, folder) and archive
    // bindings (alias, archive path), in the order they were first made.
    std::vector<std::pair<std::wstring, std::wstring>> Aliases() const;
    std::vector<std::pair<std::wstring, std::wstring>> ArchiveBindings() const;
    // The archive the alias (any letter case) is bound to; false when none.
    bool ArchiveFor(const std::wstring& alias, std::wstring& archivePath) const;
    std::vector<RecordedCall> Calls() const { return calls_.Calls(); }

    // IxPathService. ResolvePath fails with E_INVALIDARG when the path
    // cannot be resolved and leaves *fullPath as it was.
    HRESULT STDMETHODCALLTYPE ResolvePath(BSTR path, BSTR* fullPath) noexcept override;
    HRESULT STDMETHODCALLTYPE DefineAlias(BSTR alias, BSTR folder) noexcept override;
    HRESULT STDMETHODCALLTYPE BindAliasToArchive(BSTR alias, BSTR archivePath) noexcept override;

    explicit PathService(const std::wstring& applicationFolder);

private:
    using Pairs = std::vector<std::pair<std::wstring, std::wstring>>;

    CallRecorder calls_;
    // Protects applicationFolder_, aliases_ and bindings_.
    mutable std::mutex lock_;
    std::wstring applicationFolder_;
    Pairs aliases_;
    Pairs bindings_;
};

class ResourceArchiveService final : public ComObject<IxResourceArchiveService, IID_IxResourceArchiveService> {
public:
    // Recorded as "ArchiveOperation1".."ArchiveOperation3" with the path.
    static ComPtr<ResourceArchiveService> Create() noexcept;
    std::vector<RecordedCall> Calls() const { return calls_.Calls(); }

    HRESULT STDMETHODCALLTYPE ArchiveOperation1(BSTR archivePath) noexcept override;
    HRESULT STDMETHODCALLTYPE ArchiveOperation2(BSTR archivePath) noexcept override;
    HRESULT STDMETHODCALLTYPE ArchiveOperation3(BSTR archivePath) noexcept override;

    ResourceArchiveService() = default;

private:
    HRESULT RecordOperation(const wchar_t* operation, BSTR archivePath) noexcept;
    CallRecorder calls_;
};

class ResourceIndexService final : public ComObject<IxResourceIndexService, IID_IxResourceIndexService> {
public:
    // Recorded as "RegisterIndex" with the index path and the module file.
    static constexpr const wchar_t* kRegisterIndex = L"RegisterIndex";

    static ComPtr<ResourceIndexService> Create() noexcept;
    std::vector<RecordedCall> Calls() const { return calls_.Calls(); }

    HRESULT STDMETHODCALLTYPE RegisterIndex(BSTR indexPath, BSTR moduleFileName) noexcept override;

    ResourceIndexService() = default;

private:
    CallRecorder calls_;
};

}  // namespace devhost
