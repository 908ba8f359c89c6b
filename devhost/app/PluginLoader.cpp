#include "PluginLoader.h"

#include "DevHostApi.h"

const wchar_t PluginLoader::kPluginFileName[] = L"tsyappaimcp.dll";

namespace {

// The class under which the plug-in registers its main component.
// {5F7A38A7-1A15-4B38-9CA9-624D13FE8DD4}
constexpr GUID kAiMcpComponentClassId = {0x5F7A38A7, 0x1A15, 0x4B38, {0x9C, 0xA9, 0x62, 0x4D, 0x13, 0xFE, 0x8D, 0xD4}};

}  // namespace

bool PluginLoader::Load(const std::wstring& folder, IUnknown* host, std::wstring& report)
{
    modulePath_ = folder + kPluginFileName;
    if (GetFileAttributesW(modulePath_.c_str()) == INVALID_FILE_ATTRIBUTES) {
        report = L"no plug-in at " + modulePath_ + L"; running without it";
        return false;
    }
    module_ = LoadLibraryW(modulePath_.c_str());
    if (!module_) {
        report = L"could not load " + modulePath_ + L", err " + std::to_wstring(GetLastError());
        return false;
    }
    ComPtr<IUnknown> object;
    const HRESULT hr = CreateInstanceFromClassFactory(kAiMcpComponentClassId, object.put_void(), nullptr);
    if (FAILED(hr) || !object) {
        report = L"the plug-in's main component could not be made, hr " + std::to_wstring(static_cast<unsigned long>(hr));
        Unload();
        return false;
    }
    component_ = object.As<IxHostPlugin>(IID_IxHostPlugin);
    if (!component_) {
        report = L"the plug-in's main component lacks the host plug-in interface";
        Unload();
        return false;
    }
    component_->AttachHost(host);
    report = L"loaded and attached " + modulePath_;
    return true;
}

bool PluginLoader::Reattach(IUnknown* host)
{
    if (!component_) return false;
    component_->AttachHost(host);
    return true;
}

void PluginLoader::Unload()
{
    if (component_) {
        component_->AttachHost(nullptr);
        component_.reset();
    }
    // The module itself stays loaded until the program ends, as in the
    // calendar: the host core keeps its create functions and type library.
}
