// The stand-in host's own registration API, exported from tsycore.dll beside
// the host entry points. Only the stand-in calendar program and tests use it:
// to install and remove service objects, to register the classes the host
// itself makes, to say where the host keeps its files, and to look at what
// the host recorded. The plug-in never calls it.
//
// Threads: like the entry points, these are called on the main thread;
// the trace function alone is safe on any thread.
#pragma once

#include "HostCore.h"

namespace DevHost {

// Installs the object that GetService hands out for serviceId, replacing any
// earlier one; null removes it. The host keeps its own reference.
TSYCORE_API void SetService(const GUID& serviceId, IUnknown* service);

// Removes every installed service.
TSYCORE_API void ClearServices();

// Registers a class the host itself makes (for example the date object);
// CreateInstanceFromClassFactory finds it like a plug-in's class. Null
// removes the registration.
TSYCORE_API void RegisterHostClass(const GUID& classId, TsyCreateFunc create);

// Forgets every class registration, the host's and the plug-ins' alike.
TSYCORE_API void ClearClasses();

// The folder of the host's own files: the trace log "trace.log" and the log
// of browser launches "browser.log". Until it is set, traces are kept in
// memory only.
TSYCORE_API void SetDataFolder(const wchar_t* folder);

// The outcome of the last RegisterTypelib for this library: S_OK once it
// loaded and registered, the failure otherwise, and
// TYPE_E_LIBNOTREGISTERED when nobody tried.
TSYCORE_API HRESULT TypelibStatus(const GUID& libraryId);

// Loads every type library registered since the last call. RegisterTypelib
// runs under the loader lock and therefore only records the library; the
// loading happens here, on the caller's thread, once the loader is done. The
// stand-in program calls it after loading a plug-in; TypelibStatus,
// GetTypelib and CreateInstanceFromClassFactory call it themselves first.
// Returns how many libraries were loaded (successfully or not).
TSYCORE_API int LoadPendingTypelibs();

// The loaded type library for an identifier, with one reference, or null
// (E_POINTER, TYPE_E_LIBNOTREGISTERED, or the library's load failure) when
// the host does not hold it.
TSYCORE_API HRESULT GetTypelib(const GUID& libraryId, ITypeLib** library);

// Copies the last `lines` trace lines (each ended by LF) into buffer, cut to
// capacity - 1 units and always terminated. Returns the units copied.
TSYCORE_API int CopyTraceTail(int lines, wchar_t* buffer, int capacity);

// The address of the last LaunchDefaultBrowser call, like CopyTraceTail;
// 0 when there was none.
TSYCORE_API int CopyLastBrowserUrl(wchar_t* buffer, int capacity);

// Whether LaunchDefaultBrowser really opens a browser (when one exists) or
// only records the address. Tests turn it off.
TSYCORE_API void SetBrowserLaunching(BOOL launch);

}  // namespace DevHost
