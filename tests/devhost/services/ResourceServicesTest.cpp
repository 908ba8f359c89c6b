// The path service's host paths and aliases, and the recording of the
// resource archive and index calls, driven the way the plug-in registers
// its resources.

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "ResourceServices.h"
#include "ServiceTestSupport.h"

using devhost::PathService;
using devhost::RecordedCall;
using devhost::ResourceArchiveService;
using devhost::ResourceIndexService;
using servicetest::Bstr;

namespace {

// ResolvePath as a caller sees it: the text, or "(none)" when nothing was
// handed out.
std::wstring Resolve(IxPathService* paths, const std::wstring& path)
{
    UniqueBstr full;
    const HRESULT hr = paths->ResolvePath(Bstr(path).get(), full.put());
    if (!full.get()) {
        EXPECT_TRUE(FAILED(hr)) << "no path, yet success";
        return L"(none)";
    }
    EXPECT_EQ(S_OK, hr);
    return full.str();
}

}  // namespace

TEST(PathServiceTest, AppResolvesToTheRunningProgramsFolder)
{
    ComPtr<PathService> paths = PathService::Create(L"");
    ASSERT_TRUE(paths);
    EXPECT_EQ(ProgramFolder(), Resolve(paths.get(), L"app:\\"));
    EXPECT_EQ(ProgramFolder() + L"tsyappaimcp\\tessary-mcp.exe",
              Resolve(paths.get(), L"app:\\tsyappaimcp\\tessary-mcp.exe"));
}

TEST(PathServiceTest, HostPathsResolveThroughTheirAlias)
{
    ComPtr<PathService> paths = PathService::Create(L"C:\\App");
    ASSERT_EQ(S_OK, paths->DefineAlias(Bstr(L"tsyappaimcp").get(), Bstr(L"C:\\App\\tsyappaimcp").get()));
    ASSERT_EQ(S_OK, paths->DefineAlias(Bstr(L"cfg").get(), Bstr(L"D:\\cfg\\").get()));

    struct Case {
        const wchar_t* path;
        const wchar_t* resolved;
    };
    const Case cases[] = {
        {L"app:\\", L"C:\\App\\"},
        {L"app:", L"C:\\App\\"},
        {L"APP:\\x\\y.txt", L"C:\\App\\x\\y.txt"},
        {L"app:/x", L"C:\\App\\x"},
        {L"tsyappaimcp:\\resource.zip", L"C:\\App\\tsyappaimcp\\resource.zip"},
        {L"TsyAppAiMcp:\\", L"C:\\App\\tsyappaimcp\\"},
        {L"cfg:\\res.xml", L"D:\\cfg\\res.xml"},
        {L"D:\\abs\\f.txt", L"D:\\abs\\f.txt"},
        {L"\\\\server\\share\\f", L"\\\\server\\share\\f"},
        {L"nosuch:\\x", L"(none)"},
        {L"relative\\x", L"(none)"},
        {L"", L"(none)"},
        {L"app:x", L"(none)"},
        {L"C:relative", L"(none)"},
        {L":\\x", L"(none)"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.resolved, Resolve(paths.get(), c.path)) << c.path;
    EXPECT_EQ(E_POINTER, paths->ResolvePath(Bstr(L"app:\\").get(), nullptr));
}

TEST(PathServiceTest, AliasDefinitionsAreCheckedReplacedAndRecorded)
{
    ComPtr<PathService> paths = PathService::Create(L"C:\\App");
    EXPECT_EQ(S_OK, paths->DefineAlias(Bstr(L"mod").get(), Bstr(L"C:\\one").get()));
    EXPECT_EQ(S_OK, paths->DefineAlias(Bstr(L"MOD").get(), Bstr(L"C:\\two").get()));
    EXPECT_EQ(E_ACCESSDENIED, paths->DefineAlias(Bstr(L"App").get(), Bstr(L"C:\\elsewhere").get()));
    EXPECT_EQ(E_INVALIDARG, paths->DefineAlias(nullptr, Bstr(L"C:\\x").get()));
    EXPECT_EQ(E_INVALIDARG, paths->DefineAlias(Bstr(L"a:b").get(), Bstr(L"C:\\x").get()));
    EXPECT_EQ(E_INVALIDARG, paths->DefineAlias(Bstr(L"a\\b").get(), Bstr(L"C:\\x").get()));
    EXPECT_EQ(E_INVALIDARG, paths->DefineAlias(Bstr(L"empty").get(), nullptr));

    EXPECT_EQ(L"C:\\two\\f", Resolve(paths.get(), L"mod:\\f"));
    EXPECT_EQ(L"C:\\App\\", Resolve(paths.get(), L"app:\\"));
    EXPECT_EQ(L"(none)", Resolve(paths.get(), L"empty:\\"));
    const std::vector<std::pair<std::wstring, std::wstring>> aliases = {{L"mod", L"C:\\two"}};
    EXPECT_EQ(aliases, paths->Aliases());

    const std::vector<RecordedCall> calls = paths->Calls();
    ASSERT_EQ(7u, calls.size());
    EXPECT_EQ((std::vector<std::wstring>{L"MOD", L"C:\\two"}), calls[1].arguments);
    EXPECT_EQ(E_ACCESSDENIED, calls[2].result);
    EXPECT_EQ(E_INVALIDARG, calls[6].result);
}

TEST(ResourceRecordingTest, ThePlugInsRegistrationIsRecordedStepByStep)
{
    // The steps the plug-in takes when the host attaches it.
    ComPtr<PathService> paths = PathService::Create(L"C:\\App\\");
    ComPtr<ResourceArchiveService> archives = ResourceArchiveService::Create();
    ComPtr<ResourceIndexService> indexes = ResourceIndexService::Create();
    ASSERT_TRUE(paths && archives && indexes);

    const std::wstring app = Resolve(paths.get(), L"app:\\");
    ASSERT_EQ(S_OK, paths->DefineAlias(Bstr(L"tsyappaimcp").get(), Bstr(app + L"tsyappaimcp").get()));
    ASSERT_EQ(S_OK, paths->DefineAlias(Bstr(L"tsyappaimcpconfig").get(), Bstr(app + L"tsyappaimcp\\config").get()));
    const std::wstring archive = Resolve(paths.get(), L"tsyappaimcp:\\resource.zip");
    ASSERT_EQ(L"C:\\App\\tsyappaimcp\\resource.zip", archive);
    ASSERT_EQ(S_OK, paths->BindAliasToArchive(Bstr(L"tsyappaimcpconfig").get(), Bstr(archive).get()));
    ASSERT_EQ(S_OK, archives->ArchiveOperation3(Bstr(archive).get()));
    ASSERT_EQ(S_OK, archives->ArchiveOperation1(Bstr(archive).get()));
    ASSERT_EQ(S_OK, archives->ArchiveOperation2(Bstr(archive).get()));
    ASSERT_EQ(S_OK, indexes->RegisterIndex(Bstr(L"tsyappaimcpconfig:\\res.xml").get(), Bstr(L"tsyappaimcp.dll").get()));

    const std::vector<std::pair<std::wstring, std::wstring>> bindings = {{L"tsyappaimcpconfig", archive}};
    EXPECT_EQ(bindings, paths->ArchiveBindings());
    const std::vector<RecordedCall> pathCalls = paths->Calls();
    ASSERT_EQ(3u, pathCalls.size());
    EXPECT_EQ(PathService::kBindAliasToArchive, pathCalls[2].operation);
    EXPECT_EQ((std::vector<std::wstring>{L"tsyappaimcpconfig", archive}), pathCalls[2].arguments);

    const std::vector<RecordedCall> archiveCalls = archives->Calls();
    ASSERT_EQ(3u, archiveCalls.size());
    const wchar_t* const order[] = {L"ArchiveOperation3", L"ArchiveOperation1", L"ArchiveOperation2"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(order[i], archiveCalls[i].operation);
        EXPECT_EQ(std::vector<std::wstring>{archive}, archiveCalls[i].arguments);
    }
    const std::vector<RecordedCall> indexCalls = indexes->Calls();
    ASSERT_EQ(1u, indexCalls.size());
    EXPECT_EQ(ResourceIndexService::kRegisterIndex, indexCalls[0].operation);
    EXPECT_EQ((std::vector<std::wstring>{L"tsyappaimcpconfig:\\res.xml", L"tsyappaimcp.dll"}), indexCalls[0].arguments);
}
