// Ground shared by every host declaration: the platform's COM types and the
// rules that all host interfaces and services follow.
//
// Objects. Host objects are COM-style and reference-counted through IUnknown.
// Whoever receives an interface pointer through an out argument (or as the
// result of an entry point) owns one reference and releases it when done;
// in-arguments are borrowed for the duration of the call, and a callee that
// keeps one adds its own reference. Services are obtained by identifier for
// each use (Util::Service::GetService) and released again at once; nothing
// holds a service across calls, so a service that comes and goes is seen
// afresh each time. A missing service is not an error of its own: each caller
// skips its step, reads 0 or an empty text, or answers an internal error.
//
// Layout. An interface that derives from IUnknown has its own operations from
// the fourth slot on; one that derives from IDispatch (a dual interface) puts
// its own operations after the seven slots of IDispatch. Own operations are
// declared here in exactly the host's slot order, because the plug-in calls
// through the vtable and the stand-in host lays its objects out from these
// declarations. Declared are the operations the plug-in calls (or, for the
// interfaces it implements, those the host calls); slots after the last one
// declared are not part of the contract.
//
// Values. Every operation returns an HRESULT. Strings are BSTRs: an in-string
// is a BSTR the caller allocated (the host may rely on its length prefix), an
// out-string is allocated by the host and freed by the caller with
// SysFreeString; a null BSTR reads as the empty text. Yes/no values are
// VARIANT_BOOL and only VARIANT_TRUE (-1, all bits set) means yes; callers
// compare with VARIANT_TRUE exactly, so 1 is a no. Integers are LONG (32-bit
// signed) unless a declaration says otherwise.
//
// Failure. Callers set every out value beforehand (null, 0, VARIANT_FALSE)
// and mostly rely on those values rather than on the result code; each
// caller states where it checks the code itself ("exactly S_OK", "below
// zero"). An implementation leaves an out value as it found it, or sets it to
// its empty form, when it fails.
//
// Threads. Every host service, object and entry point is used on the host's
// main (user-interface) thread only, unless a declaration says otherwise. The
// plug-in's pipe worker thread never touches any of them.
//
// Identifiers. IID_ names an interface, SID_ a service (the key of
// GetService), CLSID_ a class that CreateInstanceFromClassFactory can make.
// GetService hands out the service's own interface directly, and a service's
// identifier doubles as the identifier of that interface (the host answers
// QueryInterface for it as well); each service header declares both names for
// the one value. CreateInstanceFromClassFactory takes no interface identifier:
// it hands out the class's own interface, the one each header names beside
// the class. Interfaces that carry no identifier are reached only as typed
// results of other operations and are never asked for by QueryInterface.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oaidl.h>
#include <oleauto.h>
