// The stand-in element: one node of a built layout. It answers
// QueryInterface for IUnknown and IxNode2 (the element interfaces of the
// contract that carry an identifier) and, inside this library only, for
// IID_DevHostElement, which hands out the implementation itself so that the
// entry points can work on any IxNode2 / IxElement pointer of ours and turn
// away foreign objects.
//
// Further element kinds (check box, button, text, container) can derive
// from Element and extend QueryInterface.
#pragma once

#include "HostCore.h"

#include "ComPtr.h"

#include <string>
#include <vector>

namespace tsyui {

// {3A349860-5B61-462B-9CF0-7ABFCEC1575D}
inline constexpr GUID IID_DevHostElement = {0x3A349860, 0x5B61, 0x462B, {0x9C, 0xF0, 0x7A, 0xBF, 0xCE, 0xC1, 0x57, 0x5D}};

class Element : public IxNode2, public IxElement {
public:
    // A new element holding one reference.
    static ComPtr<Element> Create(const wchar_t* id);

    // The element behind an interface pointer of ours; empty for null or a
    // foreign object.
    static ComPtr<Element> From(IUnknown* object);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetAttachedObject(IUnknown** object) override;

    const std::wstring& Id() const noexcept { return id_; }
    ExDisplay Display() const noexcept { return display_; }
    void SetDisplay(ExDisplay display) noexcept { display_ = display; }
    void SetAttached(IUnknown* object) { attached_ = ComPtr<IUnknown>::Copy(object); }

    // Appends a child (see DevHost::Ui::AppendChild for the rules).
    HRESULT Append(Element* child);

    // The first element with this id in depth-first order, this element
    // first; null when none. The result is borrowed.
    Element* Find(const wchar_t* id);

    // The IxElement / IUnknown identity, for handing the element out.
    IxElement* AsElement() noexcept { return this; }
    IUnknown* AsUnknown() noexcept { return static_cast<IxElement*>(this); }

protected:
    explicit Element(const wchar_t* id);
    virtual ~Element();

private:
    Element(const Element&) = delete;
    Element& operator=(const Element&) = delete;

    LONG refs_ = 1;
    std::wstring id_;
    ExDisplay display_ = ExDisplayShown;
    Element* parent_ = nullptr;  // not counted: the parent holds the child
    std::vector<ComPtr<Element>> children_;
    ComPtr<IUnknown> attached_;
};

}  // namespace tsyui
