// Installing the stand-in services in the host core: the plug-in's service
// lookup finds each of them, and uninstalling removes ours but not a service
// that a test installed over one of them.

#include <gtest/gtest.h>

#include "DevHostApi.h"
#include "InstallServices.h"
#include "ServiceTestSupport.h"

using devhost::DataFolder;
using devhost::StandInOptions;
using devhost::StandInServices;
using servicetest::TempFolder;

namespace {

ComPtr<IUnknown> Lookup(const GUID& serviceId)
{
    ComPtr<IUnknown> service;
    Util::Service::GetService(serviceId, service.put_void());
    return service;
}

}  // namespace

TEST(InstallServicesTest, LookupFindsEveryServiceUntilUninstalled)
{
    TempFolder temp;
    StandInOptions options;
    options.useClipboard = false;
    StandInServices services;
    ASSERT_EQ(S_OK, devhost::InstallStandInServices(DataFolder(temp.Path()), options, services));
    for (const auto& entry : services.Entries()) EXPECT_EQ(entry.second, Lookup(entry.first).get());
    // The element builder comes from tsyui.dll, beside the set's entries.
    ASSERT_TRUE(services.elementBuilder);
    EXPECT_EQ(static_cast<IUnknown*>(services.elementBuilder.get()), Lookup(SID_ElementBuilderService).get());

    // A test's own fake replaces one service; uninstalling leaves it.
    ComPtr<devhost::ApplicationService> fake = devhost::ApplicationService::Create(false);
    DevHost::SetService(SID_ApplicationService, fake.get());
    devhost::UninstallStandInServices(services);
    for (const auto& entry : services.Entries()) {
        if (IsEqualGUID(entry.first, SID_ApplicationService)) {
            EXPECT_EQ(fake.get(), Lookup(entry.first).get());
        } else {
            EXPECT_FALSE(Lookup(entry.first));
        }
    }
    EXPECT_FALSE(Lookup(SID_ElementBuilderService));
    DevHost::SetService(SID_ApplicationService, nullptr);
}
