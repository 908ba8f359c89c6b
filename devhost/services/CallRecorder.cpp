#include "CallRecorder.h"

#include <oleauto.h>

#include <utility>

namespace devhost {

void CallRecorder::Record(std::wstring operation, std::vector<std::wstring> arguments, HRESULT result)
{
    RecordedCall call{std::move(operation), std::move(arguments), result};
    std::lock_guard<std::mutex> guard(lock_);
    calls_.push_back(std::move(call));
}

std::vector<RecordedCall> CallRecorder::Calls() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return calls_;
}

void CallRecorder::Clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    calls_.clear();
}

std::wstring BstrText(BSTR text)
{
    return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

BSTR AllocBstr(const std::wstring& text) noexcept
{
    if (text.size() > 0x7FFFFFF0u) return nullptr;
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

HRESULT OutText(const std::wstring& text, BSTR* out) noexcept
{
    if (!out) return E_POINTER;
    BSTR made = AllocBstr(text);
    if (!made) return E_OUTOFMEMORY;
    *out = made;
    return S_OK;
}

}  // namespace devhost
