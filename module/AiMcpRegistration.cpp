// Registers the plug-in's two create functions with the host while the
// module loads (static initialisation, under the loader lock: the host only
// records them). The page's first, then the main component's; the results
// are ignored.
//
// This file is built into the DLL itself, not into the plug-in's static
// library: an object file of a static library that nothing refers to is left
// out by the linker, and with it these initialisers.
#include "AiMcpModule.h"
#include "HostApi.h"
#include "TsyAppAiMcp.h"

namespace {

[[maybe_unused]] const HRESULT pageRegistered =
    RegisterCreateFunc(IID_IxSettingAiMcp, CreateAiMcpSettingPage, AiMcpModuleInstance(), 0, nullptr);
[[maybe_unused]] const HRESULT componentRegistered =
    RegisterCreateFunc(IID_IxAiMcp, CreateAiMcpComponent, AiMcpModuleInstance(), 0, nullptr);

}  // namespace
