// The stand-in element: one node of a built layout. It answers
// QueryInterface for IUnknown, IxNode2 and the further interfaces its kind
// offers (see Kind), and, inside this library only, for IID_DevHostElement,
// which hands out the implementation itself so that the entry points can
// work on any IxNode2 / IxElement pointer of ours and turn away foreign
// objects.
//
// Windows. An element starts without a window. Realise() makes its control
// as a child of a given window (a static for a text, an auto check box or a
// push button, a plain child window of this library for a panel) at its
// x/y/width/height, applies the state set so far (text, checked, disabled,
// shown) and realises its children inside it (a panel) or beside it in the
// same window, offset by its position (a plain element or a window
// element, which make no control). Afterwards every setter acts on the
// control and GetChecked reads it. When the control is destroyed (its
// window closed) the element reads its state back and is unrealised again.
//
// Events. The window a control sits in hands its WM_COMMAND messages to
// RouteCommand (this library's own windows do): BN_CLICKED from a check box
// raises kUiEventValueChanged, from a push button kUiEventClick, to the
// listeners added for that event, with the element as source. Listeners are
// held until the element is destroyed.
//
// All of it runs on the host's main thread.
#pragma once

#include "HostCore.h"

#include "ComPtr.h"

#include <string>
#include <utility>
#include <vector>

namespace tsyui {

// {3A349860-5B61-462B-9CF0-7ABFCEC1575D}
inline constexpr GUID IID_DevHostElement = {0x3A349860, 0x5B61, 0x462B, {0x9C, 0xF0, 0x7A, 0xBF, 0xCE, 0xC1, 0x57, 0x5D}};

enum class Kind {
    Plain,     // a node only: no control, no further interface
    Panel,     // IxContainer
    Text,      // IxTextElement
    CheckBox,  // IxCheckBox, IxControl, IxEventSource, IxTextElement
    Button,    // IxControl, IxEventSource, IxTextElement
    Window,    // the root of a window's layout: no control of its own
};

const wchar_t* KindName(Kind kind);

struct Bounds {
    int x = 0, y = 0, width = 0, height = 0;
};

class Element : public IxNode2,
                public IxElement,
                public IxCheckBox,
                public IxControl,
                public IxTextElement,
                public IxEventSource,
                public IxContainer {
public:
    // A new element holding one reference.
    static ComPtr<Element> Create(const wchar_t* id, Kind kind = Kind::Plain);

    // The element behind an interface pointer of ours; empty for null or a
    // foreign object.
    static ComPtr<Element> From(IUnknown* object);

    // The element whose control hwnd is; null for any other window.
    static Element* OfControl(HWND hwnd);

    // Hands a WM_COMMAND that reached a window to the element whose control
    // sent it. True when one of ours took it.
    static bool RouteCommand(WPARAM wParam, LPARAM lParam);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IxElement
    HRESULT STDMETHODCALLTYPE GetAttachedObject(IUnknown** object) override;
    // IxCheckBox
    HRESULT STDMETHODCALLTYPE GetChecked(VARIANT_BOOL* checked) override;
    HRESULT STDMETHODCALLTYPE SetChecked(VARIANT_BOOL checked) override;
    // IxControl
    HRESULT STDMETHODCALLTYPE SetDisabled(VARIANT_BOOL disabled) override;
    // IxTextElement
    HRESULT STDMETHODCALLTYPE SetText(BSTR text) override;
    // IxEventSource
    HRESULT STDMETHODCALLTYPE AddListener(LONG eventId, IxEventListener* listener) override;
    // IxContainer: appends the child and realises it when this panel is.
    HRESULT STDMETHODCALLTYPE AddChild(IxNode2* child) override;

    const std::wstring& Id() const noexcept { return id_; }
    Kind GetKind() const noexcept { return kind_; }
    const Bounds& GetBounds() const noexcept { return bounds_; }
    void SetBounds(const Bounds& bounds) noexcept { bounds_ = bounds; }
    ExDisplay Display() const noexcept { return display_; }
    void SetDisplay(ExDisplay display) noexcept;
    void SetAttached(IUnknown* object) { attached_ = ComPtr<IUnknown>::Copy(object); }
    void SetTextValue(const std::wstring& text);
    void SetDisabledValue(bool disabled);
    bool Checked() const;
    // The text as shown: the control's when realised.
    std::wstring ShownText() const;
    bool Disabled() const;
    // Shown: the control's WS_VISIBLE style when realised.
    bool Shown() const;
    HWND Control() const noexcept { return hwnd_; }
    const std::vector<ComPtr<Element>>& Children() const noexcept { return children_; }

    // Appends a child (see DevHost::Ui::AppendChild for the rules).
    HRESULT Append(Element* child);

    // The first element with this id in depth-first order, this element
    // first; null when none. The result is borrowed.
    Element* Find(const wchar_t* id);

    // Makes the controls of this element and its subtree inside parent,
    // this element placed at its position plus (originX, originY). Elements
    // already realised are left as they are. E_FAIL when a control cannot
    // be made (those made so far stay).
    HRESULT Realise(HWND parent, int originX, int originY);

    // The window procedure of the panel class.
    static LRESULT CALLBACK PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    // The IxElement / IUnknown identity, for handing the element out.
    IxElement* AsElement() noexcept { return this; }
    IUnknown* AsUnknown() noexcept { return static_cast<IxElement*>(this); }

protected:
    Element(const wchar_t* id, Kind kind);
    virtual ~Element();

private:
    Element(const Element&) = delete;
    Element& operator=(const Element&) = delete;

    bool Offers(REFIID iid) const;
    void OnClicked();
    void Raise(LONG eventId);
    // The control is going away: keep its state and forget it.
    void Unrealise();
    static LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    LONG refs_ = 1;
    std::wstring id_;
    Kind kind_;
    Bounds bounds_;
    std::wstring text_;
    bool checked_ = false;
    bool disabled_ = false;
    ExDisplay display_ = ExDisplayShown;
    Element* parent_ = nullptr;  // not counted: the parent holds the child
    std::vector<ComPtr<Element>> children_;
    ComPtr<IUnknown> attached_;
    std::vector<std::pair<LONG, ComPtr<IxEventListener>>> listeners_;
    HWND hwnd_ = nullptr;          // the control, while realised
    WNDPROC controlProc_ = nullptr;  // the control class's procedure (controls we subclass)
    // Where the children of a control-less element go, while realised.
    HWND childParent_ = nullptr;
    int childOriginX_ = 0, childOriginY_ = 0;
    bool realisedWithoutControl_ = false;
};

// The module handle of tsyui.dll.
HINSTANCE ModuleInstance();

}  // namespace tsyui
