#include "Builder.h"

#include "Language.h"
#include "UniqueBstr.h"
#include "XmlReader.h"

#include <new>

namespace tsyui {

namespace {

const wchar_t kFile[] = TEXT(__FILE__);

struct KindWord {
    const wchar_t* word;
    Kind kind;
};
const KindWord kKinds[] = {
    {L"panel", Kind::Panel}, {L"text", Kind::Text},     {L"checkbox", Kind::CheckBox},
    {L"button", Kind::Button}, {L"window", Kind::Window},
};

bool ParsePixels(const std::wstring& text, bool allowNegative, int& value)
{
    std::size_t i = 0;
    const bool negative = allowNegative && !text.empty() && text[0] == L'-';
    if (negative) i = 1;
    if (i >= text.size()) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9') return false;
        v = v * 10 + (text[i] - L'0');
        if (v > 100000) return false;
    }
    value = static_cast<int>(negative ? -v : v);
    return true;
}

bool ParseFlag(const std::wstring& text, bool& value)
{
    if (text == L"true") value = true;
    else if (text == L"false") value = false;
    else return false;
    return true;
}

class TreeBuilder {
public:
    TreeBuilder()
    {
        Util::Service::GetService(SID_LanguageService, language_.put_void());
    }

    bool Build(const layout::XmlElement& xml, bool isRoot, ComPtr<Element>& out)
    {
        Kind kind = Kind::Plain;
        bool known = false;
        for (const KindWord& k : kKinds)
            if (xml.name == k.word) {
                kind = k.kind;
                known = true;
            }
        if (!known) return Fail(L"unknown element <" + xml.name + L">");
        if (kind == Kind::Window && !isRoot) return Fail(L"a window inside a layout");

        Bounds bounds;
        std::wstring id, text;
        bool visible = true, disabled = false;
        for (const auto& attribute : xml.attributes) {
            const std::wstring& name = attribute.first;
            const std::wstring& value = attribute.second;
            bool ok = true;
            if (name == L"id") id = value;
            else if (name == L"x") ok = ParsePixels(value, true, bounds.x);
            else if (name == L"y") ok = ParsePixels(value, true, bounds.y);
            else if (name == L"width") ok = ParsePixels(value, false, bounds.width);
            else if (name == L"height") ok = ParsePixels(value, false, bounds.height);
            else if (name == L"text") text = Resolve(value);
            else if (name == L"visible") ok = ParseFlag(value, visible);
            else if (name == L"disabled") ok = ParseFlag(value, disabled);
            else return Fail(L"unknown attribute " + name + L" on <" + xml.name + L">");
            if (!ok) return Fail(L"bad value \"" + value + L"\" of " + name + L" on <" + xml.name + L">");
        }
        if (!xml.children.empty() && kind != Kind::Panel && kind != Kind::Window)
            return Fail(L"<" + xml.name + L"> cannot hold elements");

        ComPtr<Element> element = Element::Create(id.c_str(), kind);
        if (!element) throw std::bad_alloc();
        element->SetBounds(bounds);
        element->SetTextValue(text);
        element->SetDisabledValue(disabled);
        element->SetDisplay(visible ? ExDisplayShown : ExDisplayHidden);
        for (const layout::XmlElement& childXml : xml.children) {
            ComPtr<Element> child;
            if (!Build(childXml, false, child)) return false;
            element->Append(child.get());
        }
        out = std::move(element);
        return true;
    }

    std::wstring why;

private:
    bool Fail(const std::wstring& what)
    {
        why = what;
        return false;
    }

    std::wstring Resolve(const std::wstring& value)
    {
        if (value.empty() || value[0] != L'@') return value;
        if (!language_) return std::wstring();
        UniqueBstr text;
        if (language_->GetText(UniqueBstr(value.substr(1)).get(), text.put()) != S_OK) return std::wstring();
        return text.str();
    }

    ComPtr<IxLanguageService> language_;
};

}  // namespace

HRESULT BuildElementTree(const std::wstring& layoutText, ComPtr<Element>& root, std::wstring& why)
{
    root.reset();
    why.clear();
    try {
        std::string utf8;
        if (!layout::Utf16ToUtf8(layoutText, utf8)) {
            why = L"the layout text is not well-formed UTF-16";
            return E_INVALIDARG;
        }
        layout::XmlElement view;
        std::string error;
        if (!layout::ParseXml(utf8, view, error)) {
            why = L"malformed XML: " + std::wstring(error.begin(), error.end());
            return E_INVALIDARG;
        }
        if (view.name != L"view") {
            why = L"the layout is not a view";
            return E_INVALIDARG;
        }
        if (view.children.empty()) {
            why = L"the view holds no element";
            return E_INVALIDARG;
        }
        TreeBuilder builder;
        ComPtr<Element> built;
        if (!builder.Build(view.children.front(), true, built)) {
            why = builder.why;
            return E_INVALIDARG;
        }
        root = std::move(built);
        return S_OK;
    } catch (const std::bad_alloc&) {
        why = L"out of memory";
        return E_OUTOFMEMORY;
    }
}

ComPtr<ElementBuilder> ElementBuilder::Create()
{
    return ComPtr<ElementBuilder>::Attach(new (std::nothrow) ElementBuilder());
}

HRESULT ElementBuilder::QueryInterface(REFIID iid, void** object)
{
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IxElementBuilderService)) return E_NOINTERFACE;
    *object = static_cast<IxElementBuilderService*>(this);
    AddRef();
    return S_OK;
}

ULONG ElementBuilder::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

ULONG ElementBuilder::Release()
{
    const LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
}

HRESULT ElementBuilder::BuildElement(BSTR layoutText, LONG, IUnknown** element)
{
    if (!element) return E_POINTER;
    *element = nullptr;
    try {
        ComPtr<Element> root;
        std::wstring why;
        const HRESULT hr =
            BuildElementTree(layoutText ? std::wstring(layoutText, SysStringLen(layoutText)) : std::wstring(), root, why);
        if (FAILED(hr)) {
            __NTrace(kFile, L"HRESULT ElementBuilder::BuildElement(BSTR, LONG, IUnknown**)", __LINE__,
                     L"tsyui: the layout cannot be built: %s", why.c_str());
            return hr;
        }
        *element = root.detach()->AsUnknown();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace tsyui
