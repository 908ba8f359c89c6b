// The stand-in's layout loader and tip services.
//
// Layout loader: LoadLayout("<alias>:\<file>|<view>") splits the name at the
// first '|'. When the alias is bound to an archive (PathService::
// BindAliasToArchive) and that archive file exists, <file> is read out of
// the archive (entry name: <file> with '\' as '/'); otherwise the host path
// "<alias>:\<file>" is resolved through the path service and the file read
// from there. The file is a UTF-8 XML document whose root <layout> holds
// <view name="..."> elements; the result is the text of the named view's
// element, exactly as it stands in the file ("<view ...>...</view>"), which
// the element builder takes. Failures leave *layoutText null:
//     E_INVALIDARG                              the name has no '|' or no view
//     HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)  the path cannot be resolved
//     HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)  no such file, or no such entry
//                                               in the archive
//     HRESULT_FROM_WIN32(ERROR_INVALID_DATA)    a broken archive, entry or
//                                               XML document
//     HRESULT_FROM_WIN32(ERROR_NOT_FOUND)       no view of that name
//
// Tip: every tip shown is recorded (see Tips); nothing is displayed.
//
// Both can be used from any thread; the tip service's lock guards its list.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "ComObject.h"
#include "ResourceServices.h"
#include "Ui.h"

namespace devhost {

class LayoutLoaderService final : public ComObject<IxLayoutLoaderService, IID_IxLayoutLoaderService> {
public:
    static ComPtr<LayoutLoaderService> Create(const ComPtr<PathService>& paths) noexcept;

    // C++ side of LoadLayout: the view's text, or the failure above.
    [[nodiscard]] HRESULT Load(const std::wstring& layout, std::wstring& viewText) const;

    HRESULT STDMETHODCALLTYPE LoadLayout(BSTR layout, BSTR* layoutText) noexcept override;

    explicit LayoutLoaderService(const ComPtr<PathService>& paths) : paths_(paths) {}

private:
    const ComPtr<PathService> paths_;
};

class TipService final : public ComObject<IxTipService, IID_IxTipService> {
public:
    static ComPtr<TipService> Create() noexcept;

    // The tips shown, oldest first.
    std::vector<std::wstring> Tips() const;
    void ClearTips();

    HRESULT STDMETHODCALLTYPE ShowTip(BSTR text) noexcept override;

    TipService() = default;

private:
    // Protects tips_.
    mutable std::mutex lock_;
    std::vector<std::wstring> tips_;
};

}  // namespace devhost
