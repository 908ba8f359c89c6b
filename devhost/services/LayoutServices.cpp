#include "LayoutServices.h"

#include <cstdint>

#include "CallRecorder.h"
#include "UniqueHandle.h"
#include "XmlReader.h"
#include "ZipReader.h"

namespace devhost {

namespace {

constexpr DWORD kMaxFileSize = 64u << 20;

HRESULT ReadFileBytes(const std::wstring& path, std::vector<std::uint8_t>& bytes)
{
    bytes.clear();
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return error == ERROR_PATH_NOT_FOUND ? HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) : HRESULT_FROM_WIN32(error);
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return HRESULT_FROM_WIN32(GetLastError());
    if (size.QuadPart > kMaxFileSize) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    if (!bytes.empty() && (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
                           got != bytes.size()))
        return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
    return S_OK;
}

bool IsFile(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

ComPtr<LayoutLoaderService> LayoutLoaderService::Create(const ComPtr<PathService>& paths) noexcept
{
    return MakeComObject<LayoutLoaderService>(paths);
}

HRESULT LayoutLoaderService::Load(const std::wstring& layout, std::wstring& viewText) const
{
    viewText.clear();
    const std::size_t bar = layout.find(L'|');
    if (bar == std::wstring::npos || bar == 0 || bar + 1 == layout.size()) return E_INVALIDARG;
    const std::wstring path = layout.substr(0, bar);
    const std::wstring view = layout.substr(bar + 1);

    std::vector<std::uint8_t> bytes;
    std::wstring archive;
    const std::size_t colon = path.find(L":\\");
    if (colon != std::wstring::npos && colon > 0 && paths_->ArchiveFor(path.substr(0, colon), archive) &&
        IsFile(archive)) {
        std::wstring entry = path.substr(colon + 2);
        for (wchar_t& c : entry)
            if (c == L'\\') c = L'/';
        std::string entryName;
        if (!layout::Utf16ToUtf8(entry, entryName)) return E_INVALIDARG;
        std::vector<std::uint8_t> archiveBytes;
        HRESULT hr = ReadFileBytes(archive, archiveBytes);
        if (FAILED(hr)) return hr;
        layout::ZipArchive zip;
        if (zip.Open(std::move(archiveBytes)) != layout::ZipStatus::Ok) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
        const layout::ZipStatus status = zip.Extract(entryName, bytes);
        if (status == layout::ZipStatus::NoSuchEntry) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        if (status != layout::ZipStatus::Ok) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    } else {
        std::wstring full;
        if (!paths_->Resolve(path, full)) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        const HRESULT hr = ReadFileBytes(full, bytes);
        if (FAILED(hr)) return hr;
    }

    const std::string text(bytes.begin(), bytes.end());
    layout::XmlElement document;
    std::string error;
    if (!layout::ParseXml(text, document, error) || document.name != L"layout")
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    for (const layout::XmlElement& candidate : document.children) {
        const std::wstring* name = candidate.Attribute(L"name");
        if (candidate.name != L"view" || !name || *name != view) continue;
        const std::string source = text.substr(candidate.sourceBegin, candidate.sourceEnd - candidate.sourceBegin);
        return layout::Utf8ToUtf16(source, viewText) ? S_OK : HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    }
    return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
}

HRESULT LayoutLoaderService::LoadLayout(BSTR layout, BSTR* layoutText) noexcept
{
    if (!layoutText) return E_POINTER;
    *layoutText = nullptr;
    return Guarded([&] {
        std::wstring text;
        const HRESULT hr = Load(BstrText(layout), text);
        if (FAILED(hr)) return hr;
        BSTR out = AllocBstr(text);
        if (!out) return E_OUTOFMEMORY;
        *layoutText = out;
        return S_OK;
    });
}

ComPtr<TipService> TipService::Create() noexcept
{
    return MakeComObject<TipService>();
}

std::vector<std::wstring> TipService::Tips() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return tips_;
}

void TipService::ClearTips()
{
    std::lock_guard<std::mutex> guard(lock_);
    tips_.clear();
}

HRESULT TipService::ShowTip(BSTR text) noexcept
{
    return Guarded([&] {
        const std::wstring tip = BstrText(text);
        std::lock_guard<std::mutex> guard(lock_);
        tips_.push_back(tip);
        return S_OK;
    });
}

}  // namespace devhost
