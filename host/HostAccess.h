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

// Formats a message and hands it to the host's trace function with the
// caller's source file, function and line. Messages begin with the class or
// module name and a colon ("CAiMcpPipeServer: stopped").
void AiMcpTrace(const char* file, const char* function, int line, const wchar_t* format, ...);

#define AIMCP_TRACE(...) AiMcpTrace(__FILE__, __func__, __LINE__, __VA_ARGS__)
