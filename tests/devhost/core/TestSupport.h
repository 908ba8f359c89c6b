// Shared pieces of the host library tests: a counted test object with two
// interfaces, a scratch data folder, and readers for the trace tail and for
// files.
#pragma once

#include "ComPtr.h"
#include "DevHostApi.h"

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// {1D06A633-32F8-4079-964F-0E8F3DD98C09}
inline constexpr GUID IID_ITestAlpha = {0x1D06A633, 0x32F8, 0x4079, {0x96, 0x4F, 0x0E, 0x8F, 0x3D, 0xD9, 0x8C, 0x09}};
struct ITestAlpha : public IUnknown {
    virtual LONG STDMETHODCALLTYPE Alpha() = 0;
};

// {59C20860-ABD9-4666-8CAA-AAC6BA9D758D}
inline constexpr GUID IID_ITestBeta = {0x59C20860, 0xABD9, 0x4666, {0x8C, 0xAA, 0xAA, 0xC6, 0xBA, 0x9D, 0x75, 0x8D}};
struct ITestBeta : public IUnknown {
    virtual LONG STDMETHODCALLTYPE Beta() = 0;
};

// Answers IUnknown and ITestAlpha, and ITestBeta only when asked to. The two
// interfaces sit at different addresses, so a caller that hands out the
// object "as installed" instead of what QueryInterface answered is caught.
// While answering QueryInterface it can run a nested host call, to show
// that the host does not hold its lock around foreign code.
class TestObject final : public ITestAlpha, public ITestBeta {
public:
    explicit TestObject(bool answersBeta = true) : answersBeta_(answersBeta) {}

    static ComPtr<TestObject> Make(bool answersBeta = true)
    {
        return ComPtr<TestObject>::Attach(new TestObject(answersBeta));
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object) return E_POINTER;
        if (nested_) {
            auto nested = nested_;
            nested_ = nullptr;  // once, or a nested call on this object recurses
            nested();
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ITestAlpha)) {
            *object = static_cast<ITestAlpha*>(this);
        } else if (answersBeta_ && IsEqualIID(iid, IID_ITestBeta)) {
            *object = static_cast<ITestBeta*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG refs = --refs_;
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }
    LONG STDMETHODCALLTYPE Alpha() override { return 1; }
    LONG STDMETHODCALLTYPE Beta() override { return 2; }

    LONG Refs() const { return refs_; }
    IUnknown* Unknown() { return static_cast<ITestAlpha*>(this); }
    void RunDuringNextQuery(void (*nested)()) { nested_ = nested; }

private:
    std::atomic<LONG> refs_{1};
    bool answersBeta_;
    void (*nested_)() = nullptr;
};

// The reference count of any object, read through AddRef/Release.
inline ULONG RefCount(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

// A fresh, empty folder under the temporary folder, installed as the host's
// data folder for the lifetime of the object and removed afterwards.
class ScratchDataFolder {
public:
    ScratchDataFolder()
    {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                (L"devhost-core-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter));
        std::filesystem::remove_all(path_);
        DevHost::SetDataFolder(path_.c_str());
    }
    ~ScratchDataFolder()
    {
        DevHost::SetDataFolder(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDataFolder(const ScratchDataFolder&) = delete;
    ScratchDataFolder& operator=(const ScratchDataFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }

    // The bytes of a file in the folder; empty when it does not exist.
    std::string Read(const wchar_t* name) const
    {
        std::ifstream in(path_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // The lines of a file, each without its CR LF.
    std::vector<std::string> Lines(const wchar_t* name) const
    {
        std::vector<std::string> lines;
        const std::string text = Read(name);
        size_t start = 0;
        for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(text.substr(start, end - start));
        if (start < text.size()) lines.push_back(text.substr(start));  // an unterminated last line
        return lines;
    }

private:
    std::filesystem::path path_;
};

// The last `lines` trace messages as CopyTraceTail gives them.
inline std::wstring TraceTail(int lines)
{
    std::vector<wchar_t> buffer(1 << 20);
    const int count = DevHost::CopyTraceTail(lines, buffer.data(), static_cast<int>(buffer.size()));
    return std::wstring(buffer.data(), static_cast<size_t>(count));
}

// The text of a GUID in registry form.
inline std::wstring GuidText(const GUID& id)
{
    wchar_t text[40] = {};
    StringFromGUID2(id, text, 40);
    return text;
}

// A new GUID, so that tests stay independent of each other's registrations
// when they all run in one process.
inline GUID FreshGuid()
{
    GUID id{};
    CoCreateGuid(&id);
    return id;
}
