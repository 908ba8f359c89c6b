// A host for the write-path and day-cell tests: the stand-in settings,
// account and user data services of the quota tests (so the quota and the
// audit log are the real ones), the stand-in application service (it
// records change notifications), and small in-test fakes for what the day
// cells need: a calendar service with two calendars, a day content service
// whose reads and stores can be made to fail, and an item line object whose
// done marker is ~~strikethrough~~.
//
// The clock stands at 09:02:03 on 20 August 2026 in Shanghai (the test
// program runs with TZ=Asia/Shanghai) until a test moves it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "AiMcpPendingStore.h"
#include "AiMcpSettingHelper.h"
#include "ComObject.h"
#include "HostApi.h"
#include "JsonValue.h"
#include "QuotaTestHost.h"

namespace writetest {

// ---- Calendar service: calendar 1 in group "home" (current) and 2 in "work".

class FakeCalendarItem final : public devhost::ComObject<IxCalendarItem, IID_IUnknown> {
public:
    FakeCalendarItem(LONG id, std::wstring name, std::wstring group)
        : id_(id), name_(std::move(name)), group_(std::move(group))
    {
    }
    HRESULT STDMETHODCALLTYPE GetIntProperty(BSTR, LONG* value) noexcept override
    {
        *value = id_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTextProperty(BSTR name, BSTR* value) noexcept override
    {
        *value = SysAllocString(std::wstring(name) == L"name" ? name_.c_str() : group_.c_str());
        return S_OK;
    }

private:
    LONG id_;
    std::wstring name_, group_;
};

class FakeCalendarList final : public devhost::ComObject<IxCalendarList, IID_IUnknown> {
public:
    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) noexcept override
    {
        *count = 2;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetItem(LONG index, IxCalendarItem** item) noexcept override
    {
        *item = index == 0 ? new FakeCalendarItem(1, L"Home", L"home") : new FakeCalendarItem(2, L"Work", L"work");
        return S_OK;
    }
};

class FakeCalendarService final : public devhost::ComObject<IxCalendarService, IID_IxCalendarService> {
public:
    HRESULT STDMETHODCALLTYPE GetCalendarList(IxCalendarList** list) noexcept override
    {
        *list = new FakeCalendarList();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentGroupId(BSTR* groupId) noexcept override
    {
        *groupId = SysAllocString(L"home");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentCalendarId(LONG* calendarId) noexcept override
    {
        *calendarId = 1;
        return S_OK;
    }
};

// ---- Day content service ---------------------------------------------------

class FakeDayContent final : public devhost::ComObject<IxDayContentService, IID_IxDayContentService> {
public:
    struct Cell {
        std::wstring text, color;
    };
    // Keyed "date|id|group".
    std::map<std::wstring, Cell> cells;
    bool failReadText = false, failReadColor = false, failStoreText = false, failStoreColor = false;
    int textStores = 0, colorStores = 0;

    static std::wstring Key(const std::wstring& date, LONG id = 1, const std::wstring& group = L"home")
    {
        return date + L"|" + std::to_wstring(id) + L"|" + group;
    }

    HRESULT STDMETHODCALLTYPE GetDayText(BSTR day, LONG id, BSTR group, BSTR* text) noexcept override
    {
        return Read(failReadText, Key(Text(day), id, Text(group)), &Cell::text, text);
    }
    HRESULT STDMETHODCALLTYPE SetDayText(BSTR day, LONG id, BSTR group, BSTR text) noexcept override
    {
        return Write(textStores, failStoreText, Key(Text(day), id, Text(group)), &Cell::text, text);
    }
    HRESULT STDMETHODCALLTYPE GetDayBgColor(BSTR day, LONG id, BSTR group, BSTR* color) noexcept override
    {
        return Read(failReadColor, Key(Text(day), id, Text(group)), &Cell::color, color);
    }
    HRESULT STDMETHODCALLTYPE SetDayBgColor(BSTR day, LONG id, BSTR group, BSTR color) noexcept override
    {
        return Write(colorStores, failStoreColor, Key(Text(day), id, Text(group)), &Cell::color, color);
    }

private:
    static std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }
    // An empty value comes back as no string at all, as a host may answer.
    HRESULT Read(bool fail, const std::wstring& key, std::wstring Cell::*field, BSTR* out)
    {
        if (fail) return E_FAIL;
        const auto found = cells.find(key);
        const std::wstring value = found == cells.end() ? std::wstring() : found->second.*field;
        *out = value.empty() ? nullptr : SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
        return S_OK;
    }
    HRESULT Write(int& stores, bool fail, const std::wstring& key, std::wstring Cell::*field, BSTR value)
    {
        ++stores;
        if (fail) return E_FAIL;
        cells[key].*field = Text(value);
        return S_OK;
    }
};

// ---- Item line object: a line is done when it is wrapped in ~~ ~~. --------

class FakeItemLine final : public devhost::ComObject<IxItemLine, IID_IUnknown> {
public:
    static HRESULT Create(void** out, IUnknown* outer)
    {
        if (outer) return E_FAIL;
        *out = static_cast<IxItemLine*>(new FakeItemLine());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetLine(BSTR line) noexcept override
    {
        std::wstring text = line ? line : L"";
        done_ = text.size() >= 4 && text.compare(0, 2, L"~~") == 0 && text.compare(text.size() - 2, 2, L"~~") == 0;
        plain_ = done_ ? text.substr(2, text.size() - 4) : text;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetPlainText(BSTR text) noexcept override
    {
        plain_ = text ? text : L"";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPlainText(BSTR* text) noexcept override
    {
        *text = SysAllocString(plain_.c_str());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetDone(VARIANT_BOOL done) noexcept override
    {
        done_ = done == VARIANT_TRUE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDone(VARIANT_BOOL* done) noexcept override
    {
        *done = done_ ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetLine(BSTR* line) noexcept override
    {
        *line = SysAllocString((done_ ? L"~~" + plain_ + L"~~" : plain_).c_str());
        return S_OK;
    }

private:
    std::wstring plain_;
    bool done_ = false;
};

// ---- An id list (note list, timetable list) --------------------------------

// Hands out the ids it was made with; "!unreadable" stands for an entry
// whose id cannot be read (GetId fails).
template <typename IdList>
class FakeIdList final : public devhost::ComObject<IdList, IID_IUnknown> {
public:
    explicit FakeIdList(std::vector<std::wstring> ids) : ids_(std::move(ids)) {}
    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) noexcept override
    {
        *count = static_cast<LONG>(ids_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetId(LONG index, BSTR* id) noexcept override
    {
        if (ids_[index] == L"!unreadable") return E_FAIL;
        *id = SysAllocStringLen(ids_[index].data(), static_cast<UINT>(ids_[index].size()));
        return S_OK;
    }

private:
    std::vector<std::wstring> ids_;
};

// ---- The fixture -----------------------------------------------------------

class WriteHost : public quotatest::StandInHost {
protected:
    ComPtr<FakeDayContent> days;
    ComPtr<devhost::ApplicationService> application;

    void SetUp() override
    {
        StandInHost::SetUp();
        quotatest::SetClock(quotatest::Utc(2026, 8, 20, 1, 2, 3));
        days = ComPtr<FakeDayContent>::Attach(new FakeDayContent());
        application = devhost::ApplicationService::Create(false);
        const auto calendars = ComPtr<FakeCalendarService>::Attach(new FakeCalendarService());
        DevHost::SetService(SID_DayContentService, days.get());
        DevHost::SetService(SID_ApplicationService, application.get());
        DevHost::SetService(SID_CalendarService, calendars.get());
        DevHost::RegisterHostClass(CLSID_ItemLine, &FakeItemLine::Create);
        AiMcpPendingStore::Instance().ClearForTest();
        SetTrusted(false);
    }
    void TearDown() override
    {
        AiMcpPendingStore::Instance().ClearForTest();
        AiMcpPendingStore::SetTokenSourceForTest({});
        DevHost::RegisterHostClass(CLSID_ItemLine, nullptr);
        StandInHost::TearDown();
    }

    void SetTrusted(bool on) { Store(kAiMcpTrustWriteKey, on ? 1 : 0); }

    // Moves the clock by whole seconds from 09:02:03 on 20 August 2026.
    static void SetClockSeconds(std::int64_t seconds)
    {
        FILETIME base = quotatest::Utc(2026, 8, 20, 1, 2, 3);
        ULARGE_INTEGER value{};
        value.LowPart = base.dwLowDateTime;
        value.HighPart = base.dwHighDateTime;
        value.QuadPart += static_cast<std::uint64_t>(seconds) * 10000000ULL;
        base.dwLowDateTime = value.LowPart;
        base.dwHighDateTime = value.HighPart;
        quotatest::SetClock(base);
    }

    void SetCell(const std::wstring& date, const std::wstring& text, const std::wstring& color = L"")
    {
        days->cells[FakeDayContent::Key(date)] = FakeDayContent::Cell{text, color};
    }
    std::wstring CellText(const std::wstring& date) { return days->cells[FakeDayContent::Key(date)].text; }
    std::wstring CellColor(const std::wstring& date) { return days->cells[FakeDayContent::Key(date)].color; }

    // Today's writes of a quota kind ("items", "events", "notes").
    int Used(const std::wstring& kind) const
    {
        const LONG used = Stored(L"sys_aimcp_quota_" + kind + L"_local");
        return used == -999 ? 0 : static_cast<int>(used);
    }
    int ItemsUsed() const { return Used(L"items"); }
    int ItemNotifications() const
    {
        int count = 0;
        for (const auto& call : application->Calls())
            if (call.operation == devhost::ApplicationService::kNotifyChange && call.arguments == std::vector<std::wstring>{L"1"})
                ++count;
        return count;
    }

    // The audit log's lines without their time field, CR LF removed.
    std::vector<std::string> AuditLines() const
    {
        std::vector<std::string> lines;
        const std::string bytes = servicetest::ReadBytes(AuditLogPath());
        std::size_t start = 0;
        while (start < bytes.size()) {
            const std::size_t end = bytes.find("\r\n", start);
            const std::string line = bytes.substr(start, end - start);
            lines.push_back(line.substr(line.find('\t') + 1));
            if (end == std::string::npos) break;
            start = end + 2;
        }
        return lines;
    }

    // The confirm token of a pending answer; empty when it is none.
    static std::wstring TokenOf(const std::wstring& answer)
    {
        const auto root = JsonValue::Parse(answer);
        const JsonValue* result = root ? root->GetMember(L"result") : nullptr;
        const JsonValue* token = result ? result->GetMember(L"confirm_token") : nullptr;
        return token && token->IsString() ? token->StringValue() : std::wstring();
    }
};

inline std::wstring Ok(const std::wstring& result, const std::wstring& id = L"1")
{
    return L"{\"id\":\"" + id + L"\",\"ok\":true,\"result\":" + result + L"}";
}

// The success answer of an event or note write.
inline std::wstring OkId(const std::wstring& writtenId, const std::wstring& id = L"1")
{
    return Ok(L"{\"status\":\"ok\",\"id\":\"" + writtenId + L"\"}", id);
}

inline std::wstring Error(const std::wstring& code, const std::wstring& message, const std::wstring& id = L"1")
{
    return L"{\"id\":\"" + id + L"\",\"ok\":false,\"error\":{\"code\":\"" + code + L"\",\"message\":\"" + message +
           L"\"}}";
}

}  // namespace writetest
