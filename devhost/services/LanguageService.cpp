#include "LanguageService.h"

#include <algorithm>
#include <cwctype>
#include <iterator>

#include "DataFolder.h"

namespace devhost {

namespace {

// The host's own texts, beneath every module's.
struct HostText {
    const wchar_t* language;
    const wchar_t* key;
    const wchar_t* text;
};
const HostText kHostTexts[] = {
    {L"en-US", L"IDS_TESSARY_CAPTION", L"Tessary"},
    {L"en-US", L"IDS_SUBSEDITOR_COPY_SUCCESS", L"Copied to the clipboard"},
    {L"zh-CN", L"IDS_TESSARY_CAPTION", L"Tessary"},
    {L"zh-CN", L"IDS_SUBSEDITOR_COPY_SUCCESS", L"\u5DF2\u590D\u5236\u5230\u526A\u8D34\u677F"},
};

bool IsLanguageName(const std::wstring& language)
{
    if (language.empty() || language.size() > 64) return false;
    for (const wchar_t c : language)
        if (!(std::iswalnum(c) && c < 0x80) && c != L'-' && c != L'_') return false;
    return true;
}

bool SameText(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size() || a.size() > 0x7FFFFFFF) return false;
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

std::wstring Trim(const std::wstring& text)
{
    const std::size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return std::wstring();
    const std::size_t last = text.find_last_not_of(L" \t");
    return text.substr(first, last - first + 1);
}

std::wstring Unescape(const std::wstring& text)
{
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\\' && i + 1 < text.size()) {
            const wchar_t next = text[i + 1];
            if (next == L'n' || next == L't' || next == L'\\') {
                out.push_back(next == L'n' ? L'\n' : next == L't' ? L'\t' : L'\\');
                ++i;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

std::wstring WithoutTrailingSeparators(std::wstring folder)
{
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    return folder;
}

LanguageService::Texts ReadTexts(const std::wstring& language, const std::vector<std::wstring>& folders)
{
    LanguageService::Texts texts;
    const bool known = std::any_of(std::begin(kHostTexts), std::end(kHostTexts),
                                   [&](const HostText& t) { return language == t.language; });
    for (const HostText& t : kHostTexts)
        if (language == t.language || (!known && std::wstring(t.language) == LanguageService::kDefaultLanguage))
            texts[t.key] = t.text;
    for (const std::wstring& folder : folders) {
        std::wstring content;
        if (SUCCEEDED(ReadUtf8File(folder + L"\\" + language + L".lang", content)))
            LanguageService::ParseLanguageFile(content, texts);
    }
    return texts;
}

}  // namespace

LanguageService::LanguageService(const ComPtr<PathService>& paths, const std::wstring& language)
    : paths_(paths), language_(IsLanguageName(language) ? language : std::wstring(kDefaultLanguage))
{
    texts_ = ReadTexts(language_, folders_);
}

ComPtr<LanguageService> LanguageService::Create(const ComPtr<PathService>& paths, const std::wstring& language) noexcept
{
    return MakeComObject<LanguageService>(paths, language);
}

void LanguageService::ParseLanguageFile(const std::wstring& content, Texts& texts)
{
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find(L'\n', start);
        if (end == std::wstring::npos) end = content.size();
        std::wstring line = content.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        const std::wstring trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == L'#' || trimmed[0] == L';') continue;
        const std::size_t equals = trimmed.find(L'=');
        if (equals == std::wstring::npos) continue;
        const std::wstring key = Trim(trimmed.substr(0, equals));
        if (key.empty()) continue;
        texts[key] = Unescape(Trim(trimmed.substr(equals + 1)));
    }
}

IUnknown* LanguageService::QueryOther(REFIID iid) noexcept
{
    return IsEqualIID(iid, IID_IxLanguageFolder) ? &folderInterface_ : nullptr;
}

bool LanguageService::Text(const std::wstring& key, std::wstring& text) const
{
    std::lock_guard<std::mutex> guard(lock_);
    const auto found = texts_.find(key);
    if (found == texts_.end()) return false;
    text = found->second;
    return true;
}

std::wstring LanguageService::Language() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return language_;
}

HRESULT LanguageService::SetLanguage(const std::wstring& language)
{
    if (!IsLanguageName(language)) return E_INVALIDARG;
    {
        std::lock_guard<std::mutex> guard(lock_);
        language_ = language;
    }
    Reload();
    return S_OK;
}

std::vector<std::wstring> LanguageService::Folders() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return folders_;
}

void LanguageService::Reload()
{
    std::wstring language;
    std::vector<std::wstring> folders;
    {
        std::lock_guard<std::mutex> guard(lock_);
        language = language_;
        folders = folders_;
    }
    Texts texts = ReadTexts(language, folders);
    std::lock_guard<std::mutex> guard(lock_);
    // A change of language or folders while the files were read: the later
    // reload has read (or will read) the newer state.
    if (language == language_ && folders == folders_) texts_.swap(texts);
}

HRESULT LanguageService::GetText(BSTR key, BSTR* text) noexcept
{
    if (!text) return E_POINTER;
    return Guarded([&] {
        std::wstring found;
        if (!Text(BstrText(key), found)) {
            *text = nullptr;
            return S_FALSE;
        }
        BSTR out = AllocBstr(found);
        if (!out) return E_OUTOFMEMORY;
        *text = out;
        return S_OK;
    });
}

HRESULT LanguageService::AddFolder(BSTR folder) noexcept
{
    return Guarded([&] {
        const std::wstring given = BstrText(folder);
        std::wstring resolved;
        if (!paths_ || !paths_->Resolve(given, resolved)) {
            calls_.Record(kAddFolder, {given}, E_INVALIDARG);
            return E_INVALIDARG;
        }
        resolved = WithoutTrailingSeparators(resolved);
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (std::none_of(folders_.begin(), folders_.end(),
                             [&](const std::wstring& known) { return SameText(known, resolved); }))
                folders_.push_back(resolved);
        }
        Reload();
        calls_.Record(kAddFolder, {given}, S_OK);
        return S_OK;
    });
}

}  // namespace devhost
