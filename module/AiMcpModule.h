// What the plug-in knows about the module it lives in: its instance handle
// and file path (where its type library resource is), its create functions,
// and the work of the DLL entry point on process attach.
//
// Loading: the create functions are registered with the host by static
// initialisation (AiMcpRegistration.cpp), the type library from the entry
// point (AiMcpModuleProcessAttach). Both run under the loader lock, so they
// only hand the host what it records and call nothing that loads or waits.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <string>

// The module that holds this code: tsyappaimcp.dll, or the program it is
// linked into (a test). Valid from before static initialisation on.
HINSTANCE AiMcpModuleInstance();

// The full file path of that module; empty when the system cannot give it.
std::wstring AiMcpModulePath();

// The create functions the host calls by class identifier (TsyCreateFunc).
// Without an outer object: a new instance holding one reference, handed out
// as its class's interface (IxAiMcp, IxSettingAiMcp). With one: an
// aggregated instance, handed out as its own non-delegating IUnknown.
// E_POINTER when out is null, E_FAIL when no instance can be made.
HRESULT CreateAiMcpComponent(void** out, IUnknown* outer);
HRESULT CreateAiMcpSettingPage(void** out, IUnknown* outer);

// The DLL entry point's whole work on process attach: registers the type
// library with the host (the result is ignored). The module keeps no
// module-wide lock (its module-wide state is used on the host's main thread
// only), so nothing here can make loading fail.
void AiMcpModuleProcessAttach(HINSTANCE instance);
