// Entry points of the host's core library (tsycore) and UI library (tsyui):
// service lookup, object creation, registration of the plug-in's create
// functions and type library, trace output, the default web browser, element
// lookup and element visibility.
//
// These are plain exported functions, not COM operations. They are called on
// the host's main thread, except that RegisterCreateFunc runs during the
// plug-in's static initialisation and RegisterTypelib from its DLL entry
// point on process attach, both while the host loads the plug-in (under the
// loader lock: an implementation only records what it is given).
//
// No standard-library type crosses these signatures: the host and the
// plug-in each link their own runtime, so only platform types, raw wide
// strings and COM interfaces pass between them.
//
// TSYCORE_BUILDING / TSYUI_BUILDING are defined only while building the
// library that implements the functions; every other module imports them.
#pragma once

#include "HostCommon.h"
#include "Ui.h"

#if defined(TSYCORE_BUILDING)
#define TSYCORE_API __declspec(dllexport)
#else
#define TSYCORE_API __declspec(dllimport)
#endif

#if defined(TSYUI_BUILDING)
#define TSYUI_API __declspec(dllexport)
#else
#define TSYUI_API __declspec(dllimport)
#endif

// A create function a module registers for one class. Without an outer
// object it makes a new instance holding one reference and stores the
// class's own interface in *out; with one it makes an aggregated instance and
// stores that instance's own (non-delegating) IUnknown. E_FAIL when no
// instance can be made.
typedef HRESULT (*TsyCreateFunc)(void** out, IUnknown* outer);

namespace Util {
namespace Service {

// The service object for an identifier (an SID_ constant): *service receives
// the service's interface with one reference, or null when the host has no
// such service. Callers look at the pointer, not the result; they release
// the service as soon as the step that needed it is done.
TSYCORE_API HRESULT GetService(const GUID& serviceId, void** service);

}  // namespace Service

namespace System {

// Opens the given address in the user's default web browser. Nothing is
// reported back.
TSYCORE_API void LaunchDefaultBrowser(wchar_t* url);

}  // namespace System

namespace UI {

// Looks an element up by its id in the tree below root. Returns the element
// with one reference (the caller releases it), or null when none has that id.
TSYUI_API IxElement* GetElementById(IxNode2* root, const wchar_t* id);

}  // namespace UI

namespace Style {

// Shows or hides an element (ExDisplayShown, ExDisplayHidden).
TSYUI_API void SetVisible(IxElement* element, ExDisplay display);

}  // namespace Style
}  // namespace Util

// A new object of a registered class (a CLSID_ constant, or a class a plug-in
// registered with RegisterCreateFunc). *object receives the class's own
// interface with one reference, or stays null when the class is unknown or
// its create function fails. outer is null for an ordinary instance.
TSYCORE_API HRESULT CreateInstanceFromClassFactory(const GUID& classId, void** object, IUnknown* outer);

// Registers the create function of one class, made by the module whose
// instance handle is given. The plug-in passes 0 for reserved and null for
// reservedText, and ignores the result.
TSYCORE_API HRESULT RegisterCreateFunc(const GUID& classId, TsyCreateFunc create, HINSTANCE module,
                                       int reserved, const wchar_t* reservedText);

// Registers the type library with the given identifier, found as the TYPELIB
// resource of the module whose instance handle is given. The plug-in ignores
// the result.
TSYCORE_API HRESULT RegisterTypelib(const GUID& libraryId, HINSTANCE module);

// The host's trace output: the caller's source file, its function signature
// and the line, then a printf-style wide format and its values ("%s" takes a
// wide string, "%u" an unsigned int). Each call is one trace line; the text
// by convention begins with the class or module name and a colon. Unlike
// everything else here it is also called from the plug-in's pipe worker
// thread, so it must be safe on any thread.
TSYCORE_API void __NTrace(const wchar_t* file, const wchar_t* signature, int line, const wchar_t* format, ...);
