// The host's user-interface objects as the plug-in's settings page and
// settings window use them: nodes and elements of a built layout, the check
// box, control, text element, event source and container interfaces an
// element may offer, the event listener the page implements, the window
// factory and window, and the services that load a layout, build elements
// from it and show a short tip.
//
// Lifecycle. Layouts are loaded and built by the host; the element tree and
// the windows belong to the host, and the page keeps counted references to
// the elements it looks up (Util::UI::GetElementById, HostCore.h) and to the
// root it built. An element's further interfaces are obtained with
// QueryInterface on the element by the identifiers below. A listener is a
// plug-in object handed to an event source, which keeps a reference to it for
// as long as it may deliver events. Services are obtained per use and
// released at once.
//
// Threads. Everything here runs on the host's main thread; listeners are
// called there, from the host's own message loop.
#pragma once

#include "HostCommon.h"

// The display state Util::Style::SetVisible applies to an element.
enum ExDisplay : int {
    ExDisplayHidden = 1,
    ExDisplayShown = 2,
};

// Event numbers an event source delivers to a listener.
inline constexpr LONG kUiEventClick = 257;         // a button was clicked
inline constexpr LONG kUiEventValueChanged = 2102; // a check box changed its value

// The node interface of any element or window: what GetElementById searches
// from, and the identity by which an event's source is compared with a known
// element (both sides asked for this interface, then the pointers compared).
// The plug-in calls no operation of its own on it.
// {8158B05E-7540-415E-9238-CADA12264D60}
inline constexpr GUID IID_IxNode2 = {0x8158B05E, 0x7540, 0x415E, {0x92, 0x38, 0xCA, 0xDA, 0x12, 0x26, 0x4D, 0x60}};
struct IxNode2 : public IUnknown {
};

// An element as GetElementById hands it out and SetVisible takes it. It has
// no identifier of its own in this contract.
struct IxElement : public IUnknown {
    // Returns an object attached to the element, with one reference. The
    // settings page calls it on a status element after changing the status
    // display and releases the result at once; what the object is remains
    // the host's business.
    virtual HRESULT STDMETHODCALLTYPE GetAttachedObject(IUnknown** object) = 0;
};

// A check box; checked means on.
// {369D9C8B-C19C-4401-A5F7-4AFE812AF36B}
inline constexpr GUID IID_IxCheckBox = {0x369D9C8B, 0xC19C, 0x4401, {0xA5, 0xF7, 0x4A, 0xFE, 0x81, 0x2A, 0xF3, 0x6B}};
struct IxCheckBox : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetChecked(VARIANT_BOOL* checked) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetChecked(VARIANT_BOOL checked) = 0;
};

// A control that can be disabled (buttons).
// {56AB0465-C68B-4035-9981-259447550A7B}
inline constexpr GUID IID_IxControl = {0x56AB0465, 0xC68B, 0x4035, {0x99, 0x81, 0x25, 0x94, 0x47, 0x55, 0x0A, 0x7B}};
struct IxControl : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetDisabled(VARIANT_BOOL disabled) = 0;
};

// An element that shows a text.
// {C41D8D9E-FC37-4955-8FD2-2EC23D66852A}
inline constexpr GUID IID_IxTextElement = {0xC41D8D9E, 0xFC37, 0x4955, {0x8F, 0xD2, 0x2E, 0xC2, 0x3D, 0x66, 0x85, 0x2A}};
struct IxTextElement : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetText(BSTR text) = 0;
};

// Implemented by the plug-in: receives the events it subscribed to. source is
// the element that raised the event (ask it for IxNode2 to identify it);
// extra is an event-specific value the plug-in does not read. The result goes
// back to the host: S_OK when the event was handled, E_FAIL otherwise.
// {CDC9C43E-49DE-4CE3-835A-688B00BB5EDF}
inline constexpr GUID IID_IxEventListener = {0xCDC9C43E, 0x49DE, 0x4CE3, {0x83, 0x5A, 0x68, 0x8B, 0x00, 0xBB, 0x5E, 0xDF}};
struct IxEventListener : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnEvent(LONG eventId, IUnknown* source, LONG extra) = 0;
};

// An element that raises events (kUiEvent...). The source keeps a reference
// to the listener.
// {18490011-994D-4BEE-AE09-5F13416EF808}
inline constexpr GUID IID_IxEventSource = {0x18490011, 0x994D, 0x4BEE, {0xAE, 0x09, 0x5F, 0x13, 0x41, 0x6E, 0xF8, 0x08}};
struct IxEventSource : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddListener(LONG eventId, IxEventListener* listener) = 0;
};

// A window of the host.
// {98DB3C16-F553-4B70-B682-34A12C05EEDD}
inline constexpr GUID IID_IxWindow = {0x98DB3C16, 0xF553, 0x4B70, {0xB6, 0x82, 0x34, 0xA1, 0x2C, 0x05, 0xEE, 0xDD}};
struct IxWindow : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetCaption(BSTR caption) = 0;
    virtual HRESULT STDMETHODCALLTYPE Show() = 0;
};

// Makes windows from a layout; offered by the parent window the host passes
// to the plug-in's ShowSettingWindow. reserved is passed as 0. On success
// *window receives the new window with one reference; a failure returns its
// own result, or leaves *window null.
// {3793448B-0D71-45F1-8772-4CCACBEB7697}
inline constexpr GUID IID_IxWindowFactory = {0x3793448B, 0x0D71, 0x45F1, {0x87, 0x72, 0x4C, 0xCA, 0xCB, 0xEB, 0x76, 0x97}};
struct IxWindowFactory : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateLayoutWindow(BSTR layout, LONG reserved, IxWindow** window) = 0;
};

// An element that takes child elements (the settings window's page host).
// {2F62F8D7-9FE5-4991-9489-80FA444810E3}
inline constexpr GUID IID_IxContainer = {0x2F62F8D7, 0x9FE5, 0x4991, {0x94, 0x89, 0x80, 0xFA, 0x44, 0x48, 0x10, 0xE3}};
struct IxContainer : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddChild(IxNode2* child) = 0;
};

// Loads a layout, named as "<alias>:\<file>|<view>", and returns its text,
// ready for the element builder. Nothing returned means the layout could not
// be loaded.
// {877AC43A-9D49-47DC-9873-8D28D13B2CBA}
inline constexpr GUID SID_LayoutLoaderService = {0x877AC43A, 0x9D49, 0x47DC, {0x98, 0x73, 0x8D, 0x28, 0xD1, 0x3B, 0x2C, 0xBA}};
inline constexpr GUID IID_IxLayoutLoaderService = SID_LayoutLoaderService;
struct IxLayoutLoaderService : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE LoadLayout(BSTR layout, BSTR* layoutText) = 0;
};

// Builds the element tree of a loaded layout. reserved is passed as 0.
// *element receives the root element with one reference (callers ask it for
// IxNode2), or stays null.
// {FD71008D-1A23-4065-AC6F-4C7203AC3288}
inline constexpr GUID SID_ElementBuilderService = {0xFD71008D, 0x1A23, 0x4065, {0xAC, 0x6F, 0x4C, 0x72, 0x03, 0xAC, 0x32, 0x88}};
inline constexpr GUID IID_IxElementBuilderService = SID_ElementBuilderService;
struct IxElementBuilderService : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE BuildElement(BSTR layoutText, LONG reserved, IUnknown** element) = 0;
};

// Shows a short, passing message to the user.
// {90EB7E6C-1300-4391-B0A9-6DF9E86944F2}
inline constexpr GUID SID_TipService = {0x90EB7E6C, 0x1300, 0x4391, {0xB0, 0xA9, 0x6D, 0xF9, 0xE8, 0x69, 0x44, 0xF2}};
inline constexpr GUID IID_IxTipService = SID_TipService;
struct IxTipService : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ShowTip(BSTR text) = 0;
};
