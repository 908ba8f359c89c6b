// The trace output (__NTrace, CopyTraceTail, trace.log) and the browser
// record (LaunchDefaultBrowser, CopyLastBrowserUrl, browser.log).

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <thread>

namespace {

#define TEST_TRACE(...) __NTrace(L"C:\\src\\TraceTests.cpp", L"void Tracer::Run(int)", 42, __VA_ARGS__)

class Trace : public ::testing::Test {
protected:
    ScratchDataFolder folder_;
};

TEST_F(Trace, FormatsLikeTheWidePrintfOfTheRuntime)
{
    TEST_TRACE(L"Tracer: %s and %s", L"wide", L"\u00e9t\u00e9");
    TEST_TRACE(L"Tracer: %u %d 0x%08x %%", 4000000000u, -7, 0xBEEFu);
    TEST_TRACE(L"Tracer: no values");
    EXPECT_EQ(TraceTail(3), L"Tracer: wide and \u00e9t\u00e9\n"
                            L"Tracer: 4000000000 -7 0x0000beef %\n"
                            L"Tracer: no values\n");
}

TEST_F(Trace, AppendsOneCompleteUtf8LinePerCall)
{
    TEST_TRACE(L"Tracer: first");
    TEST_TRACE(L"Tracer: caf\u00e9 \u4e2d");
    TEST_TRACE(L"Tracer: broken\r\nover\nlines");

    const std::string text = folder_.Read(L"trace.log");
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    const std::vector<std::string> lines = folder_.Lines(L"trace.log");
    ASSERT_EQ(lines.size(), 3u);

    const std::regex format(R"(^(\d{4})-(\d{2})-(\d{2}) (\d{2}):(\d{2}):(\d{2})\.(\d{3})\t(\d+)\t)"
                            R"(C:\\src\\TraceTests\.cpp\(42\)\tvoid Tracer::Run\(int\)\t(.*)$)");
    const char* messages[] = {"Tracer: first", "Tracer: caf\xC3\xA9 \xE4\xB8\xAD", "Tracer: broken  over lines"};
    for (size_t i = 0; i < lines.size(); ++i) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(lines[i], match, format)) << lines[i];
        EXPECT_EQ(std::stoul(match[8]), GetCurrentThreadId());
        EXPECT_EQ(match[9], messages[i]);
        EXPECT_LE(std::stoi(match[2]), 12);
        EXPECT_LE(std::stoi(match[4]), 23);
    }
    EXPECT_EQ(TraceTail(1), L"Tracer: broken  over lines\n");
}

TEST_F(Trace, LongMessagesAreKeptWhole)
{
    const std::wstring longText(100000, L'x');
    TEST_TRACE(L"Tracer: %s|end", longText.c_str());
    EXPECT_EQ(TraceTail(1), L"Tracer: " + longText + L"|end\n");
    const std::vector<std::string> lines = folder_.Lines(L"trace.log");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 100004), std::string(100000, 'x') + "|end");
}

TEST_F(Trace, TailKeepsTheLastThousandMessages)
{
    for (int i = 0; i < 1005; ++i) TEST_TRACE(L"Tracer: %d", i);
    const std::wstring tail = TraceTail(5000);
    EXPECT_EQ(std::count(tail.begin(), tail.end(), L'\n'), 1000);
    EXPECT_EQ(tail.substr(0, 11), L"Tracer: 5\nT");
    EXPECT_EQ(TraceTail(2), L"Tracer: 1003\nTracer: 1004\n");
    EXPECT_EQ(folder_.Lines(L"trace.log").size(), 1005u);
}

TEST_F(Trace, CopyTraceTailCutsAndTerminates)
{
    TEST_TRACE(L"Tracer: abcdef");
    wchar_t buffer[8];
    wmemset(buffer, L'#', 8);
    EXPECT_EQ(DevHost::CopyTraceTail(1, buffer, 8), 7);
    EXPECT_STREQ(buffer, L"Tracer:");

    buffer[0] = L'#';
    EXPECT_EQ(DevHost::CopyTraceTail(0, buffer, 8), 0);
    EXPECT_STREQ(buffer, L"");
    EXPECT_EQ(DevHost::CopyTraceTail(1, buffer, 0), 0);
    EXPECT_EQ(DevHost::CopyTraceTail(1, nullptr, 8), 0);
}

TEST_F(Trace, KeepsTheCallersLastError)
{
    SetLastError(ERROR_FILE_NOT_FOUND);
    TEST_TRACE(L"Tracer: %s", L"x");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Trace, WithoutDataFolderTracesStayInMemory)
{
    TEST_TRACE(L"Tracer: written");
    DevHost::SetDataFolder(nullptr);
    TEST_TRACE(L"Tracer: memory only");
    EXPECT_EQ(TraceTail(1), L"Tracer: memory only\n");
    EXPECT_EQ(folder_.Lines(L"trace.log").size(), 1u);
}

TEST_F(Trace, ConcurrentTracesEachWriteOneCompleteLine)
{
    constexpr int kThreads = 8;
    constexpr int kPerThread = 250;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kPerThread; ++i) TEST_TRACE(L"Tracer: thread %d line %d %s", t, i, L"payload");
        });
    }
    for (std::thread& thread : threads) thread.join();

    const std::vector<std::string> lines = folder_.Lines(L"trace.log");
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kPerThread));
    const std::regex format(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\t\d+\t[^\t]+\(42\)\t[^\t]+\t)"
                            R"(Tracer: thread (\d+) line (\d+) payload$)");
    std::set<std::pair<int, int>> seen;
    for (const std::string& line : lines) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, format)) << line;
        seen.emplace(std::stoi(match[1]), std::stoi(match[2]));
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kPerThread));
}

class BrowserLaunch : public ::testing::Test {
protected:
    void SetUp() override { DevHost::SetBrowserLaunching(FALSE); }
    void TearDown() override { DevHost::SetBrowserLaunching(TRUE); }
    ScratchDataFolder folder_;
};

TEST_F(BrowserLaunch, RecordsEveryAddressAndKeepsTheLast)
{
    wchar_t first[] = L"https://example.invalid/tutorial?x=1&y=\u00e9";
    wchar_t second[] = L"https://example.invalid/second";
    Util::System::LaunchDefaultBrowser(first);
    Util::System::LaunchDefaultBrowser(second);

    wchar_t buffer[128];
    EXPECT_EQ(DevHost::CopyLastBrowserUrl(buffer, 128), static_cast<int>(wcslen(second)));
    EXPECT_STREQ(buffer, second);

    const std::vector<std::string> lines = folder_.Lines(L"browser.log");
    ASSERT_EQ(lines.size(), 2u);
    const std::regex format(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\t(.*)$)");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[0], match, format)) << lines[0];
    EXPECT_EQ(match[1], "https://example.invalid/tutorial?x=1&y=\xC3\xA9");
    ASSERT_TRUE(std::regex_match(lines[1], match, format)) << lines[1];
    EXPECT_EQ(match[1], "https://example.invalid/second");
}

TEST_F(BrowserLaunch, CopyLastBrowserUrlCutsAndTerminates)
{
    wchar_t url[] = L"https://example.invalid/";
    Util::System::LaunchDefaultBrowser(url);
    wchar_t buffer[6];
    EXPECT_EQ(DevHost::CopyLastBrowserUrl(buffer, 6), 5);
    EXPECT_STREQ(buffer, L"https");
}

}  // namespace
