// The record of calls a stand-in service received, for tests and for the
// stand-in program's status command: the operation's name, its arguments as
// text (integers in decimal) and what the operation returned.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <mutex>
#include <string>
#include <vector>

namespace devhost {

struct RecordedCall {
    std::wstring operation;
    std::vector<std::wstring> arguments;
    HRESULT result = S_OK;
};

// Thread-safe: services record on the main thread while the program may
// read from another.
class CallRecorder {
public:
    void Record(std::wstring operation, std::vector<std::wstring> arguments, HRESULT result);
    // Every call so far, oldest first.
    std::vector<RecordedCall> Calls() const;
    void Clear();

private:
    // Protects calls_.
    mutable std::mutex lock_;
    std::vector<RecordedCall> calls_;
};

// The text of an in-string: a null BSTR is the empty text, and the length
// prefix counts (the text may hold U+0000).
std::wstring BstrText(BSTR text);

// A new BSTR holding text; null when memory ran out.
BSTR AllocBstr(const std::wstring& text) noexcept;

// Hands out text through an out-string: E_POINTER without one,
// E_OUTOFMEMORY (and *out untouched) when no BSTR can be made.
HRESULT OutText(const std::wstring& text, BSTR* out) noexcept;

}  // namespace devhost
