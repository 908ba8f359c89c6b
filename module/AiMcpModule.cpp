#include "AiMcpModule.h"

#include "AiMcpComObject.h"
#include "AiMcpComponent.h"
#include "AiMcpSettingPage.h"
#include "HostApi.h"
#include "TsyAppAiMcp.h"

// The linker's symbol for the first byte of the image that holds this code,
// which is the module's instance handle. Both the MSVC and the mingw-w64
// linkers provide it.
extern "C" IMAGE_DOS_HEADER __ImageBase;

HINSTANCE AiMcpModuleInstance()
{
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

std::wstring AiMcpModulePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(AiMcpModuleInstance(), &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return std::wstring();
        // A path that filled the buffer may have been cut: try a larger one.
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= 32768) return std::wstring();  // longer than any path the system allows
        path.resize(path.size() * 2);
    }
}

HRESULT CreateAiMcpComponent(void** out, IUnknown* outer)
{
    return CreateAiMcpObject<AiMcpComponent, IxAiMcp>(out, outer);
}

HRESULT CreateAiMcpSettingPage(void** out, IUnknown* outer)
{
    return CreateAiMcpObject<AiMcpSettingPage, IxSettingAiMcp>(out, outer);
}

void AiMcpModuleProcessAttach(HINSTANCE instance)
{
    RegisterTypelib(LIBID_TsyAppAiMcpLib, instance);
}
