// The entry points of tsyui.dll: the two the plug-in imports and the
// stand-in's element API (DevHostUi.h).

#include "DevHostUi.h"
#include "Element.h"

namespace {

using tsyui::Element;

const wchar_t kFile[] = TEXT(__FILE__);

}  // namespace

IxElement* Util::UI::GetElementById(IxNode2* root, const wchar_t* id)
{
    const ComPtr<Element> tree = Element::From(root);
    if (!tree || !id) return nullptr;
    Element* found = tree->Find(id);
    if (!found) return nullptr;
    found->AddRef();
    return found->AsElement();
}

void Util::Style::SetVisible(IxElement* element, ExDisplay display)
{
    const ComPtr<Element> target = Element::From(element);
    if (!target) return;
    if (display != ExDisplayHidden && display != ExDisplayShown) {
        // Only the two states exist; anything else is a caller's mistake
        // and leaves the element as it was.
        __NTrace(kFile, L"void Util::Style::SetVisible(IxElement*, ExDisplay)", __LINE__,
                 L"tsyui: SetVisible with unknown display %d on element \"%s\"", static_cast<int>(display),
                 target->Id().c_str());
        return;
    }
    target->SetDisplay(display);
}

HRESULT DevHost::Ui::CreateElement(const wchar_t* id, IxElement** element)
{
    if (!element) return E_POINTER;
    *element = nullptr;
    ComPtr<Element> created = Element::Create(id);
    if (!created) return E_OUTOFMEMORY;
    *element = created.detach()->AsElement();
    return S_OK;
}

HRESULT DevHost::Ui::AppendChild(IxElement* parent, IxElement* child)
{
    const ComPtr<Element> to = Element::From(parent);
    const ComPtr<Element> added = Element::From(child);
    if (!to || !added) return E_INVALIDARG;
    return to->Append(added.get());
}

ExDisplay DevHost::Ui::GetDisplay(IxElement* element)
{
    const ComPtr<Element> target = Element::From(element);
    return target ? target->Display() : static_cast<ExDisplay>(0);
}

HRESULT DevHost::Ui::SetAttachedObject(IxElement* element, IUnknown* object)
{
    const ComPtr<Element> target = Element::From(element);
    if (!target) return E_INVALIDARG;
    target->SetAttached(object);
    return S_OK;
}

int DevHost::Ui::CopyElementId(IxElement* element, wchar_t* buffer, int capacity)
{
    if (!buffer || capacity <= 0) return 0;
    buffer[0] = L'\0';
    const ComPtr<Element> target = Element::From(element);
    if (!target) return 0;
    const std::wstring& id = target->Id();
    const int count = static_cast<int>(id.size() < static_cast<size_t>(capacity - 1) ? id.size() : capacity - 1);
    id.copy(buffer, static_cast<size_t>(count));
    buffer[count] = L'\0';
    return count;
}
