// A host for the quota and audit tests: the stand-in settings store, account
// and user data services over a scratch data folder, installed where the
// plug-in looks them up, and the plug-in's clock set to a chosen UTC
// instant. The test program runs with TZ=Asia/Shanghai (UTC+8, no daylight
// saving), so local midnight is 16:00 UTC.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "AiMcpClock.h"
#include "ApplicationServices.h"
#include "DevHostApi.h"
#include "ServiceTestSupport.h"
#include "SettingsServices.h"

namespace quotatest {

// The UTC instant of a calendar date and time, as the clock reports it.
inline FILETIME Utc(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME t{};
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    FILETIME ft{};
    SystemTimeToFileTime(&t, &ft);
    return ft;
}

inline void SetClock(const FILETIME& utc)
{
    SetAiMcpClockForTest([utc] { return utc; });
}

class StandInHost : public testing::Test {
protected:
    servicetest::TempFolder temp;
    devhost::DataFolder folder{temp.Path()};
    ComPtr<devhost::SettingStoreService> settings;
    ComPtr<devhost::AccountService> account;
    ComPtr<devhost::UserDataService> userData;

    void SetUp() override
    {
        ASSERT_EQ(S_OK, folder.Prepare());
        ASSERT_EQ(S_OK, devhost::SettingStoreService::Create(folder, settings));
        ASSERT_EQ(S_OK, devhost::AccountService::Create(folder, account));
        userData = devhost::UserDataService::Create(folder, account);
        ASSERT_TRUE(userData);
        DevHost::SetService(SID_SettingStoreService, settings.get());
        DevHost::SetService(SID_AccountService, account.get());
        DevHost::SetService(SID_UserDataService, userData.get());
    }
    void TearDown() override
    {
        DevHost::ClearServices();
        SetAiMcpClockForTest({});
    }

    // A stored integer; -999 when the key holds none.
    LONG Stored(const std::wstring& key) const
    {
        LONG value = -999;
        return settings->ReadInt(key, value) ? value : -999;
    }
    void Store(const std::wstring& key, LONG value) { ASSERT_EQ(S_OK, settings->WriteInt(key, value)); }

    // Where the current user's audit log is.
    std::wstring AuditLogPath() const
    {
        std::wstring directory;
        EXPECT_EQ(S_OK, userData->CurrentDirectory(directory));
        return directory + L"\\aimcp_audit.log";
    }
};

}  // namespace quotatest
