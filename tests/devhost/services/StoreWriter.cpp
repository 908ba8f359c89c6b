// devhost_store_writer: rewrites a large settings file over and over through
// the stand-in settings store, so that a test can kill it at any moment and
// then look at what is on disk.
//
//     devhost_store_writer --data DIR [--letters N] [--versions N]
//
// Starts from the generation the store holds and writes versions after it
// (see StoreWriterPayload.h): forever, or N versions and then exits 0. Exit
// code 2: bad arguments; 3: the store could not be opened or written.

#include <windows.h>

#include <cwchar>
#include <string>

#include "SettingsServices.h"
#include "StoreWriterPayload.h"

int wmain(int argc, wchar_t** argv)
{
    std::wstring data;
    unsigned long letters = 200000;
    unsigned long versions = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring name = argv[i];
        if (name == L"--data") data = argv[i + 1];
        else if (name == L"--letters") letters = std::wcstoul(argv[i + 1], nullptr, 10);
        else if (name == L"--versions") versions = std::wcstoul(argv[i + 1], nullptr, 10);
        else return 2;
    }
    if (data.empty() || argc % 2 == 0) return 2;

    const devhost::DataFolder folder(data);
    if (FAILED(folder.Prepare())) return 3;
    ComPtr<devhost::SettingStoreService> store;
    if (FAILED(devhost::SettingStoreService::Create(folder, store))) return 3;

    LONG generation = 0;
    store->ReadInt(storewriter::kGenerationKey, generation);
    for (unsigned long written = 0; versions == 0 || written < versions; ++written) {
        ++generation;
        if (FAILED(store->WriteString(storewriter::kPayloadKey, storewriter::Payload(generation, letters)))) return 3;
        if (FAILED(store->WriteInt(storewriter::kGenerationKey, generation))) return 3;
    }
    return 0;
}
