#include "InstallServices.h"

#include "DevHostApi.h"
#include "DevHostUi.h"

namespace devhost {

HRESULT InstallStandInServices(const DataFolder& folder, const StandInOptions& options, StandInServices& services)
{
    HRESULT hr = CreateStandInServices(folder, options, services);
    if (FAILED(hr)) return hr;
    hr = DevHost::Ui::CreateElementBuilder(services.elementBuilder.put());
    if (FAILED(hr)) {
        services.Reset();
        return hr;
    }
    for (const auto& entry : services.Entries()) DevHost::SetService(entry.first, entry.second);
    DevHost::SetService(SID_ElementBuilderService, services.elementBuilder.get());
    for (const HostClass& made : CalendarHostClasses()) DevHost::RegisterHostClass(*made.classId, made.create);
    return hr;
}

void UninstallStandInServices(const StandInServices& services)
{
    std::vector<std::pair<GUID, IUnknown*>> entries = services.Entries();
    entries.emplace_back(SID_ElementBuilderService, services.elementBuilder.get());
    for (const auto& entry : entries) {
        if (!entry.second) continue;
        // Only our own object is removed; a service installed over it since
        // (a test's fake, say) stays.
        ComPtr<IUnknown> installed;
        Util::Service::GetService(entry.first, installed.put_void());
        if (installed.get() == entry.second) DevHost::SetService(entry.first, nullptr);
    }
}

}  // namespace devhost
