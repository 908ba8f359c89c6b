// The host's trace output.
//
// Each call formats its message with the runtime's own wide printf, in which
// "%s" takes a wide string (the convention every caller relies on), keeps the
// message in an in-memory tail for DevHost::CopyTraceTail and appends one
// line to trace.log in the data folder:
//
//   <local time yyyy-mm-dd hh:mm:ss.mmm> TAB <thread id> TAB <file>(<line>)
//   TAB <signature> TAB <message> CR LF
//
// Any thread may trace; one mutex keeps the tail and the file in the same
// order and lines whole. Line breaks inside a message become spaces, so one
// call is always one line.

#include "CoreFiles.h"
#include "DevHostApi.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>

namespace {

constexpr size_t kTailLines = 1000;

struct TraceState {
    std::mutex lock;
    std::deque<std::wstring> tail;  // messages only, oldest first
};

// Never destroyed: other modules trace from their own static destructors.
TraceState& Trace()
{
    static TraceState* state = new TraceState;
    return *state;
}

std::wstring FormatMessageText(const wchar_t* format, va_list args)
{
    if (!format) return {};
    va_list counting;
    va_copy(counting, args);
    const int length = _vscwprintf(format, counting);
    va_end(counting);
    // A format the runtime rejects is kept as written rather than lost.
    if (length < 0) return format;

    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int written = _vsnwprintf(text.data(), text.size(), format, args);
    text.resize(written < 0 ? 0 : static_cast<size_t>(written));
    return text;
}

}  // namespace

void __NTrace(const wchar_t* file, const wchar_t* signature, int line, const wchar_t* format, ...)
{
    // Tracing must not disturb a caller that reads GetLastError afterwards.
    const DWORD lastError = GetLastError();

    va_list args;
    va_start(args, format);
    std::wstring message = FormatMessageText(format, args);
    va_end(args);
    for (wchar_t& c : message) {
        if (c == L'\r' || c == L'\n') c = L' ';
    }

    std::wstring text = tsycore::LocalTimestamp();
    text += L'\t';
    text += std::to_wstring(GetCurrentThreadId());
    text += L'\t';
    text += file ? file : L"";
    text += L'(';
    text += std::to_wstring(line);
    text += L")\t";
    text += signature ? signature : L"";
    text += L'\t';
    text += message;
    text += L"\r\n";

    {
        TraceState& state = Trace();
        std::lock_guard<std::mutex> guard(state.lock);
        state.tail.push_back(std::move(message));
        if (state.tail.size() > kTailLines) state.tail.pop_front();
        tsycore::AppendToDataFile(L"trace.log", text);
    }
    SetLastError(lastError);
}

int DevHost::CopyTraceTail(int lines, wchar_t* buffer, int capacity)
{
    std::wstring text;
    {
        TraceState& state = Trace();
        std::lock_guard<std::mutex> guard(state.lock);
        const size_t count = lines > 0 ? std::min(static_cast<size_t>(lines), state.tail.size()) : 0;
        for (size_t i = state.tail.size() - count; i < state.tail.size(); ++i) {
            text += state.tail[i];
            text += L'\n';
        }
    }
    return tsycore::CopyOut(text, buffer, capacity);
}
