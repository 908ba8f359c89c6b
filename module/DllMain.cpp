// The DLL entry point of tsyappaimcp.dll. On process attach it registers
// the type library with the host and nothing else: it runs under the loader
// lock, so it starts no thread, waits for nothing and touches no window.
#include <windows.h>

#include "AiMcpModule.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) AiMcpModuleProcessAttach(instance);
    return TRUE;
}
