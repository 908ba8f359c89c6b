// The element builder service: builds the element tree of a loaded layout
// view ("<view name=...>" with one root element inside).
//
// Elements: panel, text, checkbox, button, and window (only as the root).
// Only panels and windows hold children. Attributes: id, x, y, width,
// height (whole pixels relative to the parent element; width and height
// not negative), text (a literal, or "@KEY": the language service's text for
// KEY when the tree is built, empty when it has none or there is no
// language service), visible ("true"/"false", shown unless "false") and
// disabled ("true"/"false"). Anything else (an unknown element or attribute,
// a bad number, a window inside the tree, children of a control, XML the
// reader refuses) refuses the whole layout.
#pragma once

#include "Element.h"

#include <string>

namespace tsyui {

// Builds the tree of a view's text. On failure root stays empty and why
// says what was wrong.
HRESULT BuildElementTree(const std::wstring& layoutText, ComPtr<Element>& root, std::wstring& why);

class ElementBuilder final : public IxElementBuilderService {
public:
    static ComPtr<ElementBuilder> Create();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // E_INVALIDARG for a layout that cannot be built (traced with the
    // reason); *element then stays null.
    HRESULT STDMETHODCALLTYPE BuildElement(BSTR layoutText, LONG reserved, IUnknown** element) override;

private:
    ElementBuilder() = default;
    ~ElementBuilder() = default;
    LONG refs_ = 1;
};

}  // namespace tsyui
