#include "Element.h"

#include <new>

namespace tsyui {

Element::Element(const wchar_t* id) : id_(id ? id : L"") {}

Element::~Element()
{
    for (const ComPtr<Element>& child : children_) child->parent_ = nullptr;
}

ComPtr<Element> Element::Create(const wchar_t* id)
{
    return ComPtr<Element>::Attach(new (std::nothrow) Element(id));
}

ComPtr<Element> Element::From(IUnknown* object)
{
    ComPtr<Element> element;
    if (object) object->QueryInterface(IID_DevHostElement, element.put_void());
    return element;
}

HRESULT Element::QueryInterface(REFIID iid, void** object)
{
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown)) {
        *object = AsUnknown();
    } else if (IsEqualIID(iid, IID_IxNode2)) {
        *object = static_cast<IxNode2*>(this);
    } else if (IsEqualIID(iid, IID_DevHostElement)) {
        *object = this;
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG Element::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

ULONG Element::Release()
{
    const LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
}

HRESULT Element::GetAttachedObject(IUnknown** object)
{
    if (!object) return E_POINTER;
    *object = ComPtr<IUnknown>(attached_).detach();
    return *object ? S_OK : S_FALSE;
}

HRESULT Element::Append(Element* child)
{
    if (!child || child->parent_) return E_INVALIDARG;
    for (Element* ancestor = this; ancestor; ancestor = ancestor->parent_) {
        if (ancestor == child) return E_INVALIDARG;
    }
    children_.push_back(ComPtr<Element>::Copy(child));
    child->parent_ = this;
    return S_OK;
}

Element* Element::Find(const wchar_t* id)
{
    if (!id) return nullptr;
    // Depth-first, pre-order, with a stack of its own so that a deep layout
    // cannot exhaust the thread's stack.
    std::vector<Element*> stack{this};
    while (!stack.empty()) {
        Element* element = stack.back();
        stack.pop_back();
        if (element->id_ == id) return element;
        for (auto child = element->children_.rbegin(); child != element->children_.rend(); ++child)
            stack.push_back(child->get());
    }
    return nullptr;
}

}  // namespace tsyui
