// Installs the stand-in services in the host core (tsycore.dll), where the
// plug-in finds them with Util::Service::GetService. Kept apart from the
// services themselves so that they can be used and tested without the DLL;
// this part links tsycore.
#pragma once

#include "StandInServices.h"

namespace devhost {

// Makes every service over the folder (see CreateStandInServices) and the
// element builder service of tsyui.dll, and installs each under its
// identifier, replacing whatever was installed there, and registers the classes the host makes for the calendar's data
// (date, item line, event, reminder, trigger, trigger list:
// CalendarHostClasses). services keeps the caller's references, for reading
// and setting their state. On failure nothing is installed and services is empty.
[[nodiscard]] HRESULT InstallStandInServices(const DataFolder& folder, const StandInOptions& options,
                                             StandInServices& services);

// Removes the services of the set from the host core. The class
// registrations stay: they hold no state of the set. The objects live on
// as long as services (or a caller that still holds one) keeps them.
void UninstallStandInServices(const StandInServices& services);

}  // namespace devhost
