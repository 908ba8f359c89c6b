#include "InstallServices.h"

#include "DevHostApi.h"

namespace devhost {

HRESULT InstallStandInServices(const DataFolder& folder, const StandInOptions& options, StandInServices& services)
{
    const HRESULT hr = CreateStandInServices(folder, options, services);
    if (FAILED(hr)) return hr;
    for (const auto& entry : services.Entries()) DevHost::SetService(entry.first, entry.second);
    for (const HostClass& made : CalendarHostClasses()) DevHost::RegisterHostClass(*made.classId, made.create);
    return hr;
}

void UninstallStandInServices(const StandInServices& services)
{
    for (const auto& entry : services.Entries()) {
        if (!entry.second) continue;
        // Only our own object is removed; a service installed over it since
        // (a test's fake, say) stays.
        ComPtr<IUnknown> installed;
        Util::Service::GetService(entry.first, installed.put_void());
        if (installed.get() == entry.second) DevHost::SetService(entry.first, nullptr);
    }
}

}  // namespace devhost
