#include "ApplicationServices.h"

#include <cwchar>
#include <cwctype>
#include <utility>

namespace devhost {

namespace {

HRESULT LastError()
{
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// A window of our own to own the clipboard while we fill it: with no owner,
// SetClipboardData is documented to fail. It only lives for the copy; the
// text stays on the clipboard after the window is gone.
class OwnerWindow {
public:
    OwnerWindow()
        : window_(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                                  nullptr))
    {
    }
    ~OwnerWindow()
    {
        if (window_) DestroyWindow(window_);
    }
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;
    HWND get() const { return window_; }

private:
    HWND window_;
};

class OpenedClipboard {
public:
    ~OpenedClipboard()
    {
        if (open_) CloseClipboard();
    }
    bool Open(HWND owner)
    {
        // Another program may hold the clipboard for a moment.
        for (int attempt = 0; attempt < 20 && !open_; ++attempt) {
            open_ = OpenClipboard(owner) != FALSE;
            if (!open_) Sleep(10);
        }
        return open_;
    }

private:
    bool open_ = false;
};

// Global memory that is freed unless the clipboard took it over.
class GlobalText {
public:
    explicit GlobalText(SIZE_T bytes) : memory_(GlobalAlloc(GMEM_MOVEABLE, bytes)) {}
    ~GlobalText()
    {
        if (memory_) GlobalFree(memory_);
    }
    GlobalText(const GlobalText&) = delete;
    GlobalText& operator=(const GlobalText&) = delete;
    HGLOBAL get() const { return memory_; }
    void Release() { memory_ = nullptr; }

private:
    HGLOBAL memory_;
};

std::wstring TimeText(const SYSTEMTIME& t)
{
    wchar_t text[32];
    swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return text;
}

std::wstring EscapeField(const std::wstring& field)
{
    std::wstring out;
    out.reserve(field.size());
    for (const wchar_t c : field) {
        switch (c) {
        case L'\\': out += L"\\\\"; break;
        case L'\t': out += L"\\t"; break;
        case L'\r': out += L"\\r"; break;
        case L'\n': out += L"\\n"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

void AppendEscaped(std::wstring& out, wchar_t c)
{
    wchar_t code[8];
    swprintf(code, 8, L"%%%04X", static_cast<unsigned>(c));
    out += code;
}

bool IsDeviceName(const std::wstring& name)
{
    std::wstring stem = name.substr(0, name.find(L'.'));
    for (wchar_t& c : stem) c = static_cast<wchar_t>(std::towupper(c));
    static const wchar_t* const kPlain[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kPlain)
        if (stem == device) return true;
    return stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
           stem[3] >= L'1' && stem[3] <= L'9';
}

}  // namespace

// ---- Application -----------------------------------------------------------

ComPtr<ApplicationService> ApplicationService::Create(bool useClipboard) noexcept
{
    return MakeComObject<ApplicationService>(useClipboard);
}

void ApplicationService::SetClipboardUse(bool useClipboard)
{
    std::lock_guard<std::mutex> guard(lock_);
    useClipboard_ = useClipboard;
}

HRESULT ApplicationService::NotifyChange(LONG what) noexcept
{
    return Guarded([&] {
        calls_.Record(kNotifyChange, {std::to_wstring(what)}, S_OK);
        return S_OK;
    });
}

HRESULT ApplicationService::Refresh() noexcept
{
    return Guarded([&] {
        calls_.Record(kRefresh, {}, S_OK);
        return S_OK;
    });
}

HRESULT ApplicationService::CopyText(BSTR text) noexcept
{
    return Guarded([&] {
        const std::wstring copied = BstrText(text);
        bool useClipboard = false;
        {
            std::lock_guard<std::mutex> guard(lock_);
            useClipboard = useClipboard_;
        }
        const HRESULT hr = useClipboard ? PutTextOnClipboard(copied) : S_OK;
        calls_.Record(kCopyText, {copied}, hr);
        return hr;
    });
}

HRESULT PutTextOnClipboard(const std::wstring& text)
{
    const std::size_t length = std::wcslen(text.c_str());
    GlobalText memory((length + 1) * sizeof(wchar_t));
    if (!memory.get()) return E_OUTOFMEMORY;
    void* locked = GlobalLock(memory.get());
    if (!locked) return LastError();
    std::wmemcpy(static_cast<wchar_t*>(locked), text.c_str(), length + 1);
    GlobalUnlock(memory.get());

    OwnerWindow owner;
    OpenedClipboard clipboard;
    if (!clipboard.Open(owner.get())) return LastError();
    if (!EmptyClipboard()) return LastError();
    if (!SetClipboardData(CF_UNICODETEXT, memory.get())) return LastError();
    memory.Release();  // the clipboard owns it now
    return S_OK;
}

// ---- User data -------------------------------------------------------------

std::wstring UserFolderName(const std::wstring& userKey)
{
    std::size_t keep = userKey.size();
    while (keep > 0 && (userKey[keep - 1] == L'.' || userKey[keep - 1] == L' ')) --keep;
    std::wstring name;
    for (std::size_t i = 0; i < userKey.size(); ++i) {
        const wchar_t c = userKey[i];
        const bool unsafe = c < 0x20 || std::wcschr(L"<>:\"/\\|?*%", c) != nullptr || i >= keep;
        if (unsafe) AppendEscaped(name, c);
        else name.push_back(c);
    }
    if (IsDeviceName(name)) {
        std::wstring escaped;
        AppendEscaped(escaped, name[0]);
        name = escaped + name.substr(1);
    }
    return name;
}

ComPtr<UserDataService> UserDataService::Create(const DataFolder& folder,
                                                const ComPtr<AccountService>& account) noexcept
{
    return MakeComObject<UserDataService>(folder, account);
}

HRESULT UserDataService::CurrentDirectory(std::wstring& directory) const
{
    const std::wstring key = account_ ? account_->UserKey() : std::wstring(L"local");
    const std::wstring path = folder_.PathOf(L"user\\" + UserFolderName(key));
    const HRESULT hr = CreateFolderTree(path);
    if (FAILED(hr)) return hr;
    directory = path;
    return S_OK;
}

HRESULT UserDataService::GetUserDataDir(BSTR* directory) noexcept
{
    if (!directory) return E_POINTER;
    return Guarded([&] {
        std::wstring path;
        const HRESULT hr = CurrentDirectory(path);
        if (FAILED(hr)) return hr;
        BSTR out = AllocBstr(path);
        if (!out) return E_OUTOFMEMORY;
        *directory = out;
        return S_OK;
    });
}

// ---- Cloud configuration ---------------------------------------------------

namespace {
constexpr const wchar_t* kAiAccessKey = L"aiAccessAllowed";
}

HRESULT CloudConfigService::Create(const DataFolder& folder, ComPtr<CloudConfigService>& service)
{
    service.reset();
    return Guarded([&] {
        ComPtr<CloudConfigService> made = MakeComObject<CloudConfigService>(folder);
        if (!made) return E_OUTOFMEMORY;
        const HRESULT hr = made->store_.Load();
        if (SUCCEEDED(hr)) service = std::move(made);
        return hr;
    });
}

VARIANT_BOOL CloudConfigService::AiAccessAnswer() const
{
    std::lock_guard<std::mutex> guard(lock_);
    VARIANT_BOOL answer = VARIANT_TRUE;
    const JsonValue::Ptr stored = store_.Get(kAiAccessKey);
    YesNoFromJson(stored.get(), answer);
    return answer;
}

HRESULT CloudConfigService::SetAiAccessAnswer(VARIANT_BOOL answer)
{
    std::lock_guard<std::mutex> guard(lock_);
    return store_.Set(kAiAccessKey, YesNoToJson(answer));
}

HRESULT CloudConfigService::IsAiAccessAllowed(VARIANT_BOOL* allowed) noexcept
{
    if (!allowed) return E_POINTER;
    return Guarded([&] {
        *allowed = AiAccessAnswer();
        return S_OK;
    });
}

// ---- Statistics ------------------------------------------------------------

ComPtr<StatisticsService> StatisticsService::Create(const DataFolder& folder) noexcept
{
    return MakeComObject<StatisticsService>(folder);
}

std::vector<StatisticsEvent> StatisticsService::Events() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return events_;
}

void StatisticsService::ClearEvents()
{
    std::lock_guard<std::mutex> guard(lock_);
    events_.clear();
}

void StatisticsService::SetClock(std::function<SYSTEMTIME()> clock)
{
    std::lock_guard<std::mutex> guard(lock_);
    clock_ = std::move(clock);
}

std::wstring StatisticsService::FormatLine(const StatisticsEvent& event)
{
    return TimeText(event.time) + L"\t" + EscapeField(event.category) + L"\t" + EscapeField(event.action) + L"\t" +
           EscapeField(event.label) + L"\t" + std::to_wstring(event.count);
}

HRESULT StatisticsService::RecordEvent(BSTR category, BSTR action, BSTR label, LONG count) noexcept
{
    return Guarded([&] {
        StatisticsEvent event;
        event.category = BstrText(category);
        event.action = BstrText(action);
        event.label = BstrText(label);
        event.count = count;
        std::function<SYSTEMTIME()> clock;
        {
            std::lock_guard<std::mutex> guard(lock_);
            clock = clock_;
        }
        if (clock) event.time = clock();
        else GetLocalTime(&event.time);
        std::lock_guard<std::mutex> guard(lock_);
        const HRESULT hr = folder_.AppendLine(kLogName, FormatLine(event));
        if (FAILED(hr)) return hr;
        events_.push_back(std::move(event));
        return S_OK;
    });
}

}  // namespace devhost
