// Reads the version resource of both deliverables back, as a file's
// properties show it (GetFileVersionInfo, VerQueryValue), and checks it
// against the project's version. The files are those of the build tree
// beside this test, laid out as in the calendar's folder, or those of the
// folder named by TESSARY_PACKAGE_DIR (an installed package).
#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>
#include <ostream>
#include <string>
#include <vector>

#include "ChildProcess.h"

namespace {

struct Deliverable {
    const char* name;  // the test's name
    const wchar_t* path;  // relative to the calendar's folder
    const wchar_t* originalName;
    const wchar_t* description;
    DWORD fileType;
};

const Deliverable kDeliverables[] = {
    {"Plugin", L"tsyappaimcp.dll", L"tsyappaimcp.dll", L"Tessary AI access plug-in", VFT_DLL},
    {"McpServer", L"tsyappaimcp\\tessary-mcp.exe", L"tessary-mcp.exe", L"Tessary MCP server (stdio)", VFT_APP},
};

void PrintTo(const Deliverable& d, std::ostream* os) { *os << d.name; }

std::wstring PackageFolder()
{
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"TESSARY_PACKAGE_DIR", buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return ProgramFolder();
    std::wstring folder(buffer, n);
    if (folder.back() != L'\\') folder += L'\\';
    return folder;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());  // the texts checked are ASCII
}

class VersionInfoTest : public testing::TestWithParam<Deliverable> {};

TEST_P(VersionInfoTest, CarriesTheProjectVersion)
{
    const Deliverable& d = GetParam();
    const std::wstring file = PackageFolder() + d.path;

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    ASSERT_GT(size, 0u) << Narrow(file) << " has no version resource, err = " << GetLastError();
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(file.c_str(), 0, size, block.data())) << Narrow(file);

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD high = (TESSARY_VERSION_MAJOR << 16) | TESSARY_VERSION_MINOR;
    const DWORD low = TESSARY_VERSION_PATCH << 16;
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    EXPECT_EQ(fixed->dwFileType, d.fileType);
    EXPECT_EQ(fixed->dwFileFlags & VS_FF_DEBUG, 0u);

    // The strings are found through the block's first translation.
    struct Translation {
        WORD language;
        WORD codePage;
    }* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_GE(length, sizeof(Translation));
    wchar_t prefix[64];
    swprintf(prefix, 64, L"\\StringFileInfo\\%04x%04x\\", translation->language, translation->codePage);
    auto value = [&](const wchar_t* name) -> std::string {
        wchar_t* text = nullptr;
        UINT chars = 0;
        const std::wstring query = std::wstring(prefix) + name;
        if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &chars) || !text)
            return "(missing)";
        return Narrow(std::wstring(text, chars > 0 && text[chars - 1] == L'\0' ? chars - 1 : chars));
    };
    EXPECT_EQ(value(L"FileVersion"), TESSARY_VERSION);
    EXPECT_EQ(value(L"ProductVersion"), TESSARY_VERSION);
    EXPECT_EQ(value(L"FileDescription"), Narrow(d.description));
    EXPECT_EQ(value(L"OriginalFilename"), Narrow(d.originalName));
    EXPECT_EQ(value(L"ProductName"), "Tessary AI bridge");
}

INSTANTIATE_TEST_SUITE_P(Deliverables, VersionInfoTest, testing::ValuesIn(kDeliverables),
                         [](const testing::TestParamInfo<Deliverable>& info) { return std::string(info.param.name); });

}  // namespace
