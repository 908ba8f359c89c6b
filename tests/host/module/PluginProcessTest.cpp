// tsyappaimcp.dll as the calendar meets it: a file beside the calendar
// program that exports nothing and carries its type library, that
// registers its classes and its type library while it loads, and whose main
// component the stand-in calendar attaches; AI access switched on then gives
// a token. The program the copied client configuration names sits in the
// plug-in's folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "ChildProcess.h"
#include "ServiceTestSupport.h"

namespace {

std::wstring PluginFile() { return ProgramFolder() + L"tsyappaimcp.dll"; }

ChildResult Send(const std::vector<std::wstring>& words) { return SendToDevHost(words); }

// The value after "<name>: " on its own line of a status reply.
std::string StatusLine(const std::string& status, const std::string& name)
{
    const std::size_t at = status.find("\n" + name + ": ");
    if (at == std::string::npos) return "(missing)";
    const std::size_t start = at + name.size() + 3;
    return status.substr(start, status.find('\n', start) - start);
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

bool IsLowerHex64(const std::string& token)
{
    if (token.size() != 64) return false;
    for (char c : token)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

TEST(PluginFile, ExportsNothingAndCarriesItsTypeLibrary)
{
    // Mapped as an image only: nothing of it runs.
    HMODULE image = LoadLibraryExW(PluginFile().c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(image, nullptr) << GetLastError();
    // The low bits of a handle of a module mapped as a resource are flags.
    const auto* base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(image) & ~static_cast<ULONG_PTR>(3));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& exports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (exports.Size != 0) {
        // An export directory may be present as long as it lists nothing.
        const auto* directory = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + exports.VirtualAddress);
        EXPECT_EQ(directory->NumberOfFunctions, 0u);
        EXPECT_EQ(directory->NumberOfNames, 0u);
    }
    EXPECT_NE(FindResourceW(image, MAKEINTRESOURCEW(1), L"TYPELIB"), nullptr);
    FreeLibrary(image);

    const std::wstring mcp = ProgramFolder() + L"tsyappaimcp\\tessary-mcp.exe";
    EXPECT_NE(GetFileAttributesW(mcp.c_str()), INVALID_FILE_ATTRIBUTES) << "missing: " << std::string(mcp.begin(), mcp.end());
}

TEST(PluginProcess, CalendarLoadsAndAttachesThePlugin)
{
    const std::wstring data = FreshTempFolder(L"module-test");
    RunningChild calendar;
    ChildOptions options;
    options.arguments = {L"--data", data};
    ASSERT_TRUE(calendar.Start(DevHostProgram(), options));
    std::string status;
    for (int i = 0; i < 200 && status.empty(); ++i) {
        const ChildResult r = Send({L"status"});
        if (r.exitCode == 0) status = r.out;
        else Sleep(100);
    }
    ASSERT_FALSE(status.empty()) << "the stand-in calendar did not come up:\n" << calendar.Output();

    // Loaded and attached with AI access off: no token yet.
    EXPECT_EQ(StatusLine(status, "plug-in"), "attached") << status;
    EXPECT_EQ(StatusLine(status, "token"), "(none)") << status;

    // The host loaded the library the plug-in registered from its entry
    // point, and the component traced its attachment.
    std::string trace = Send({L"trace", L"200"}).out;
    EXPECT_NE(trace.find("RegisterTypelib loaded library {E72B221C-FA51-4878-A258-556D1072A00D}"), std::string::npos)
        << trace;
    EXPECT_NE(trace.find("AiMcpComponent: attached, AI access off"), std::string::npos) << trace;

    ASSERT_EQ(Send({L"ai", L"on"}).exitCode, 0u);
    status = Send({L"status"}).out;
    EXPECT_EQ(StatusLine(status, "plug-in"), "attached") << status;
    EXPECT_TRUE(IsLowerHex64(StatusLine(status, "token"))) << status;

    EXPECT_EQ(Send({L"quit"}).exitCode, 0u);
    ASSERT_TRUE(calendar.WaitForExit(20000)) << calendar.Output();
    EXPECT_EQ(calendar.ExitCode(), 0u);

    // On the way out the calendar detached the component, which stopped its
    // server; the host's trace file keeps the lines.
    trace = ReadFileBytes(data + L"\\trace.log");
    EXPECT_NE(trace.find("AiMcpComponent: detached"), std::string::npos) << trace;
    EXPECT_NE(trace.find("CAiMcpPipeServer: stopped"), std::string::npos) << trace;
    // Each line names its caller by its whole signature, class included.
    const std::size_t attached = trace.find("AiMcpComponent: attached");
    ASSERT_NE(attached, std::string::npos) << trace;
    const std::size_t lineStart = trace.rfind('\n', attached) + 1;  // npos + 1 is 0: the first line
    EXPECT_NE(trace.substr(lineStart, attached - lineStart).find("AiMcpComponent::_AttachHost("), std::string::npos)
        << trace.substr(lineStart, attached - lineStart);
    servicetest::RemoveTree(data);
}

}  // namespace
