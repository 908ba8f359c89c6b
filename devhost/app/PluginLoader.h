// Loads the AI plug-in from the program's folder the way the calendar does:
// LoadLibrary (the plug-in registers its classes and type library while it
// loads), then its main component by class identifier, attached to the host.
// Everything here runs on the main thread.
#pragma once

#include <string>

#include "ComPtr.h"
#include "HostApi.h"

class PluginLoader {
public:
    static const wchar_t kPluginFileName[];  // tsyappaimcp.dll

    PluginLoader() = default;
    ~PluginLoader() { Unload(); }
    PluginLoader(const PluginLoader&) = delete;
    PluginLoader& operator=(const PluginLoader&) = delete;

    // Loads the module and attaches its main component to host. Gives a
    // line for the log either way; false when the plug-in is not there or
    // cannot be attached (the program then runs without it).
    bool Load(const std::wstring& folder, IUnknown* host, std::wstring& report);

    // Attaches the component again (the plug-in re-reads its settings and
    // makes sure its token and server exist); false without a component.
    bool Reattach(IUnknown* host);

    // Detaches and releases the component. The module stays loaded.
    void Unload();

    bool Loaded() const { return static_cast<bool>(component_); }
    // The main component's own dual interface (IxAiMcp) as IDispatch; empty
    // without a component.
    ComPtr<IDispatch> MainDispatch() const { return component_.As<IDispatch>(IID_IDispatch); }
    std::wstring ModulePath() const { return modulePath_; }

private:
    HMODULE module_ = nullptr;
    std::wstring modulePath_;
    ComPtr<IxHostPlugin> component_;
};
