// The stand-in language service: user-visible texts by resource key, read
// from language folders that modules add through the language-folder
// interface (IxLanguageFolder, offered by the same object).
//
// Language files. A folder holds one file per language, named after the
// language: "en-US.lang", "zh-CN.lang". Only the current language's file is
// read (en-US unless set otherwise). The file is UTF-8 (a byte-order mark is
// allowed), one text per line:
//
//     # comment (so is a line starting with ';'); blank lines are skipped
//     IDS_AIMCP_PAGE_TITLE=AI access
//     IDS_AIMCP_QUOTA_LINE_ITEMS = Day cells: %d of %d used, %d left
//
// The key is what stands before the first '=', the text what follows it,
// both without surrounding spaces and TABs; in the text \n, \t and \\ stand
// for a line feed, a TAB and a backslash, and any other backslash is kept
// as it is. Lines without '=' or with an empty key are skipped. When a key
// appears more than once, the last one read wins; folders are read in the
// order they were added, after the host's own texts (the application
// caption and the "copied" tip), so a module can override those.
//
// Folders are given as host paths ("app:\<module>\language\") and resolved
// through the path service when added; adding a folder that is already
// there (in any letter case, with or without the trailing backslash) reads
// it again but keeps one entry. Files are read when a folder is added, the
// language changes or Reload is called.
//
// A key without a text gives S_FALSE and no string (callers read that as
// the empty text and use their own fallback).
//
// Thread-safe; the path service is called without holding this object's
// lock.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "CallRecorder.h"
#include "ComObject.h"
#include "Language.h"
#include "ResourceServices.h"

namespace devhost {

class LanguageService final : public ComObject<IxLanguageService, IID_IxLanguageService> {
public:
    // Recorded with the folder as given.
    static constexpr const wchar_t* kAddFolder = L"AddFolder";
    static constexpr const wchar_t* kDefaultLanguage = L"en-US";
    using Texts = std::map<std::wstring, std::wstring>;

    // language empty: en-US. A language that cannot name a file gives en-US.
    static ComPtr<LanguageService> Create(const ComPtr<PathService>& paths, const std::wstring& language) noexcept;

    // Reads one language file's text into texts (see above).
    static void ParseLanguageFile(const std::wstring& content, Texts& texts);

    // C++ side.
    bool Text(const std::wstring& key, std::wstring& text) const;
    std::wstring Language() const;
    // Switches the language and reads the files again. E_INVALIDARG unless
    // the name is letters, digits, '-' and '_' only.
    [[nodiscard]] HRESULT SetLanguage(const std::wstring& language);
    // The added folders, resolved, in the order they were first added.
    std::vector<std::wstring> Folders() const;
    void Reload();
    std::vector<RecordedCall> Calls() const { return calls_.Calls(); }

    // IxLanguageService
    HRESULT STDMETHODCALLTYPE GetText(BSTR key, BSTR* text) noexcept override;

    // IxLanguageFolder (reached through QueryInterface). A folder that
    // cannot be resolved fails with E_INVALIDARG; a folder without a file
    // for the current language is still added.
    HRESULT AddFolder(BSTR folder) noexcept;

    LanguageService(const ComPtr<PathService>& paths, const std::wstring& language);

private:
    // The language-folder interface of this object: shares its reference
    // count and identity.
    class FolderInterface final : public IxLanguageFolder {
    public:
        explicit FolderInterface(LanguageService& owner) : owner_(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override
        {
            return owner_.QueryInterface(iid, out);
        }
        ULONG STDMETHODCALLTYPE AddRef() noexcept override { return owner_.AddRef(); }
        ULONG STDMETHODCALLTYPE Release() noexcept override { return owner_.Release(); }
        HRESULT STDMETHODCALLTYPE AddFolder(BSTR folder) noexcept override { return owner_.AddFolder(folder); }

    private:
        LanguageService& owner_;
    };

    IUnknown* QueryOther(REFIID iid) noexcept override;

    FolderInterface folderInterface_{*this};
    const ComPtr<PathService> paths_;
    CallRecorder calls_;
    // Protects language_, folders_ and texts_.
    mutable std::mutex lock_;
    std::wstring language_;
    std::vector<std::wstring> folders_;
    Texts texts_;
};

}  // namespace devhost
