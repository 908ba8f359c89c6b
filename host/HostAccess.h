// How the plug-in reaches its host: services looked up by identifier for
// each use (released when the returned owner goes out of scope), BSTRs made
// from and read into wide strings, and the trace output.
#pragma once

#include <string>

#include "ComPtr.h"
#include "HostApi.h"
#include "UniqueBstr.h"

// The host's service for an identifier, or an empty pointer when the host
// has none. Callers skip their step (or use their fallback) when it is empty.
template <typename T>
ComPtr<T> GetHostService(const GUID& serviceId)
{
    ComPtr<T> service;
    Util::Service::GetService(serviceId, service.put_void());
    return service;
}

// The language service's text for a resource key ("IDS_..."), in the
// user's language; empty without the service or the text.
std::wstring AiMcpLanguageText(const wchar_t* key);

// Formats a message and hands it to the host's trace function with the
// caller's source file, signature and line. Messages begin with the class or
// module name and a colon ("CAiMcpPipeServer: stopped").
void AiMcpTrace(const char* file, const char* function, int line, const wchar_t* format, ...);

// The host records the caller's whole signature, not just its name; each
// compiler spells that differently.
#if defined(_MSC_VER)
#define AIMCP_FUNCTION_SIGNATURE __FUNCSIG__
#else
#define AIMCP_FUNCTION_SIGNATURE __PRETTY_FUNCTION__
#endif

#define AIMCP_TRACE(...) AiMcpTrace(__FILE__, AIMCP_FUNCTION_SIGNATURE, __LINE__, __VA_ARGS__)
