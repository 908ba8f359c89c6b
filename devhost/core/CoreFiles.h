// The host's own files: the data folder that DevHost::SetDataFolder names,
// and appending one text line to a file in it. Shared by the trace and the
// browser log.
#pragma once

#include <windows.h>

#include <string>

namespace tsycore {

// The data folder, or empty while none is set (the logs stay in memory).
std::wstring DataFolder();

// Appends text (already ended by its line break) to `name` in the data
// folder, as UTF-8. The file is opened for appending only and shared for
// reading, writing and deleting, so readers can follow it while the host
// writes; each append is one WriteFile call. Does nothing without a data
// folder; failures are ignored (the host must not fail because a log could
// not be written).
void AppendToDataFile(const wchar_t* name, const std::wstring& text);

// "yyyy-mm-dd hh:mm:ss.mmm" in local time.
std::wstring LocalTimestamp();

// Copies text into buffer, cut to capacity - 1 units and always terminated.
// Returns the units copied; 0 (and nothing written) without a buffer.
int CopyOut(const std::wstring& text, wchar_t* buffer, int capacity);

}  // namespace tsycore
