// What the end-to-end tests share: UTF-8 both ways for the programs' bytes,
// and starting and stopping the stand-in calendar over a data folder.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "ChildProcess.h"

namespace e2e {

inline std::wstring FromUtf8(const std::string& bytes)
{
    if (bytes.empty()) return std::wstring();
    const int units = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], units);
    return text;
}

inline std::string ToUtf8(const std::wstring& text)
{
    if (text.empty()) return std::string();
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], bytes, nullptr, nullptr);
    return out;
}

// Starts tessary-devhost.exe with the arguments and waits until its command
// channel answers; false (with the program's output in the failure) when it
// does not come up within 20 seconds.
inline testing::AssertionResult StartDevHost(RunningChild& calendar, const std::vector<std::wstring>& arguments)
{
    ChildOptions options;
    options.arguments = arguments;
    if (!calendar.Start(DevHostProgram(), options)) return testing::AssertionFailure() << "cannot start the calendar";
    for (int i = 0; i < 200; ++i) {
        if (SendToDevHost({L"status"}).exitCode == 0) return testing::AssertionSuccess();
        Sleep(100);
    }
    return testing::AssertionFailure() << "the stand-in calendar did not come up:\n" << calendar.Output();
}

// Tells the calendar to quit and expects it to end cleanly.
inline void StopDevHost(RunningChild& calendar)
{
    SendToDevHost({L"quit"});
    EXPECT_TRUE(calendar.WaitForExit(20000)) << calendar.Output();
    EXPECT_EQ(calendar.ExitCode(), 0u);
}

}  // namespace e2e
