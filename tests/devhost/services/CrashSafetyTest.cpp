// The settings file survives a host killed at any moment: a helper process
// (devhost_store_writer) rewrites a large settings file in a loop and is
// killed with TerminateProcess at random moments. While it runs and after
// each kill, the file must parse and hold one complete version; the next
// writer carries on from it; afterwards the data folder's cleanup removes
// the temporary files the killed writers left.

#include <gtest/gtest.h>

#include <random>

#include "ChildProcess.h"
#include "DataFolder.h"
#include "JsonValue.h"
#include "ServiceTestSupport.h"
#include "SettingsServices.h"
#include "StoreWriterPayload.h"

using devhost::DataFolder;
using servicetest::TempFolder;

namespace {

constexpr std::size_t kLetters = 300000;

struct Version {
    long payload = -1;
    long generation = -1;
};

// The version a settings file holds; fails the test when the file does not
// hold a complete one.
::testing::AssertionResult ReadVersion(const std::wstring& path, Version& version)
{
    std::wstring text;
    const HRESULT hr = devhost::ReadUtf8File(path, text);
    if (FAILED(hr)) return ::testing::AssertionFailure() << "cannot read the settings file: " << std::hex << hr;
    const JsonValue::Ptr root = JsonValue::Parse(text);
    if (!root || !root->IsObject())
        return ::testing::AssertionFailure() << "the settings file does not parse (" << text.size() << " units)";
    const JsonValue* payload = root->GetMember(storewriter::kPayloadKey);
    const JsonValue* generation = root->GetMember(storewriter::kGenerationKey);
    if (!payload || !payload->IsString()) return ::testing::AssertionFailure() << "no payload";
    version.payload = storewriter::PayloadGeneration(payload->StringValue(), kLetters);
    if (version.payload < 0) return ::testing::AssertionFailure() << "the payload is not one whole version";
    // The payload's write comes first: a kill between the two writes leaves
    // the generation one behind.
    version.generation = generation && generation->IsNumber() ? static_cast<long>(generation->NumberValue()) : 0;
    if (version.generation != version.payload && version.generation != version.payload - 1)
        return ::testing::AssertionFailure() << "generation " << version.generation << " beside payload "
                                             << version.payload;
    return ::testing::AssertionSuccess();
}

std::wstring WriterArguments(const std::wstring& data, unsigned long versions)
{
    return L"--data \"" + data + L"\" --letters " + std::to_wstring(kLetters) + L" --versions " +
           std::to_wstring(versions);
}

}  // namespace

TEST(CrashSafetyTest, KilledWriterAlwaysLeavesOneCompleteVersion)
{
    TempFolder temp;
    const std::wstring settings = temp.PathOf(devhost::SettingStoreService::kFileName);
    const std::wstring writer = ProgramFolder() + L"devhost_store_writer.exe";
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);

    Version last;
    last.payload = 0;
    last.generation = 0;
    int killedMidway = 0;
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        servicetest::StartedProgram child(writer, WriterArguments(temp.Path(), 0));
        ASSERT_TRUE(child);

        // Wait until this writer has written something, reading the file
        // all the while as another program would.
        const DWORD start = GetTickCount();
        Version seen = last;
        while (seen.payload <= last.payload && GetTickCount() - start < 30000) {
            if (servicetest::Exists(settings)) {
                ASSERT_TRUE(ReadVersion(settings, seen));
            }
            ASSERT_EQ(WAIT_TIMEOUT, WaitForSingleObject(child.Process(), 0)) << "the writer ended by itself";
            Sleep(1);
        }
        ASSERT_GT(seen.payload, last.payload) << "the writer wrote nothing within 30 s";

        Sleep(std::uniform_int_distribution<DWORD>(0, 80)(random));
        ASSERT_TRUE(TerminateProcess(child.Process(), 99));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.Process(), 10000));

        Version after;
        ASSERT_TRUE(ReadVersion(settings, after));
        EXPECT_GE(after.payload, seen.payload);
        if (after.generation != after.payload) ++killedMidway;
        last = after;
    }
    RecordProperty("KilledBetweenTheTwoWrites", killedMidway);

    // A writer that runs to its end carries on from the last version.
    servicetest::StartedProgram finisher(writer, WriterArguments(temp.Path(), 2));
    ASSERT_TRUE(finisher);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(finisher.Process(), 60000));
    DWORD exitCode = 1;
    ASSERT_TRUE(GetExitCodeProcess(finisher.Process(), &exitCode));
    EXPECT_EQ(0u, exitCode);
    Version final;
    ASSERT_TRUE(ReadVersion(settings, final));
    EXPECT_EQ(last.generation + 2, final.generation);
    EXPECT_EQ(final.generation, final.payload);

    // Whatever temporary files the killed writers left are gone after the
    // next start's cleanup; only the settings file stays.
    ASSERT_EQ(S_OK, DataFolder(temp.Path()).Prepare());
    EXPECT_EQ(std::vector<std::wstring>{devhost::SettingStoreService::kFileName}, servicetest::ListNames(temp.Path()));
}
