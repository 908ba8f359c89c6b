// Where the plug-in's resources come from: the path service (the "app:\"
// folder and path aliases of the form "<alias>:\"), the resource archive
// service (archives of layouts and images) and the resource index service
// (a module's index of its resources).
//
// Lifecycle. Services: obtained with Util::Service::GetService for each use
// and released at once. Out strings are freed by the caller.
//
// Threads. Main thread only; the plug-in registers its resources when the
// host attaches its main component.
//
// Failure. Every result is ignored; a missing service skips its steps and
// everything that depends on them (without the path service the plug-in
// still runs, only without its resources, and its copied client
// configuration carries an empty program path).
#pragma once

#include "HostCommon.h"

// {AA049A06-2FD1-489B-A05B-624FF7750AFE}
inline constexpr GUID SID_PathService = {0xAA049A06, 0x2FD1, 0x489B, {0xA0, 0x5B, 0x62, 0x4F, 0xF7, 0x75, 0x0A, 0xFE}};
inline constexpr GUID IID_IxPathService = SID_PathService;
struct IxPathService : public IUnknown {
    // Resolves a host path ("app:\", or "<alias>:\" followed by a relative
    // path) to a full file-system path. Nothing returned means it could not be
    // resolved.
    virtual HRESULT STDMETHODCALLTYPE ResolvePath(BSTR path, BSTR* fullPath) = 0;
    // Defines the alias (the name without ":\") as the given folder.
    virtual HRESULT STDMETHODCALLTYPE DefineAlias(BSTR alias, BSTR folder) = 0;
    // Ties the alias to an archive, given by its full path. What the host
    // makes of aliases and archives is its own.
    virtual HRESULT STDMETHODCALLTYPE BindAliasToArchive(BSTR alias, BSTR archivePath) = 0;
};

// The plug-in hands the archive's full path to the three operations, calling
// the third first, then the first, then the second. What each does with the
// archive is the host's own.
// {395A4095-DD77-40EA-BC94-F557F0FE9524}
inline constexpr GUID SID_ResourceArchiveService = {0x395A4095, 0xDD77, 0x40EA, {0xBC, 0x94, 0xF5, 0x57, 0xF0, 0xFE, 0x95, 0x24}};
inline constexpr GUID IID_IxResourceArchiveService = SID_ResourceArchiveService;
struct IxResourceArchiveService : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ArchiveOperation1(BSTR archivePath) = 0;
    virtual HRESULT STDMETHODCALLTYPE ArchiveOperation2(BSTR archivePath) = 0;
    virtual HRESULT STDMETHODCALLTYPE ArchiveOperation3(BSTR archivePath) = 0;
};

// {69647993-75D0-43B5-A285-6E5976239E6F}
inline constexpr GUID SID_ResourceIndexService = {0x69647993, 0x75D0, 0x43B5, {0xA2, 0x85, 0x6E, 0x59, 0x76, 0x23, 0x9E, 0x6F}};
inline constexpr GUID IID_IxResourceIndexService = SID_ResourceIndexService;
struct IxResourceIndexService : public IUnknown {
    // Registers a resource index (a host path such as "<alias>:\res.xml") for
    // the module with the given file name (e.g. "<module>.dll").
    virtual HRESULT STDMETHODCALLTYPE RegisterIndex(BSTR indexPath, BSTR moduleFileName) = 0;
};
