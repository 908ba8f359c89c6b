// The two interfaces through which the host drives a plug-in's components:
// the host plug-in interface of a plug-in's main component (attach and
// detach), and the host settings-page interface of a page in the host's
// settings dialog. Unlike the rest of this folder, the plug-in implements
// these and the host calls them.
//
// Lifecycle. The host makes a component by its class identifier through the
// create function the plug-in registered (RegisterCreateFunc, HostCore.h) and
// asks it for these interfaces; it holds the component by reference and
// releases it when done. AttachHost hands the component a counted reference
// to the host object, which the component keeps until it is detached
// (AttachHost(nullptr)) or destroyed. Out strings and out interface pointers
// are handed to the host, which frees or releases them.
//
// Threads. The host calls every operation on its main thread.
//
// Failure. AttachHost answers S_OK whatever happens inside; the page's
// operations answer as described beside each.
#pragma once

#include "HostCommon.h"
#include "Ui.h"

// A plug-in's main component. Dual: its own operations follow the seven
// slots of IDispatch.
// {4EF5AAFD-A8AC-4EA4-8442-87F4C085880F}
inline constexpr GUID IID_IxHostPlugin = {0x4EF5AAFD, 0xA8AC, 0x4EA4, {0x84, 0x42, 0x87, 0xF4, 0xC0, 0x85, 0x88, 0x0F}};
struct IxHostPlugin : public IDispatch {
    // Attaches the component to the host (host not null) or detaches it
    // (null). May be repeated with a host; returns S_OK in every case.
    virtual HRESULT STDMETHODCALLTYPE AttachHost(IUnknown* host) = 0;
    // Reports a value to the host; the plug-in stores 0. E_POINTER when value
    // is null, else S_OK.
    virtual HRESULT STDMETHODCALLTYPE GetValue(LONG* value) = 0;
};

// A page of the host's settings dialog. Its life: created, activated (which
// loads it), any number of user changes, finished (saved first for codes 1
// and 2, not for others), reset; a reset page loads again on the next
// activation.
// {B99F587C-B5DF-419B-88FC-C70B2698AFBF}
inline constexpr GUID IID_IxHostSettingPage = {0xB99F587C, 0xB5DF, 0x419B, {0x88, 0xFC, 0xC7, 0x0B, 0x26, 0x98, 0xAF, 0xBF}};
struct IxHostSettingPage : public IUnknown {
    // The page title, in the user's language; E_FAIL without the language
    // service.
    virtual HRESULT STDMETHODCALLTYPE GetTitle(BSTR* title) = 0;
    // Resource names of the page's icon and selected icon; each out pointer
    // is filled only when it is not null.
    virtual HRESULT STDMETHODCALLTYPE GetIcons(BSTR* icon, BSTR* selectedIcon) = 0;
    // An integer the page reports to the host (the AI access page: 11).
    virtual HRESULT STDMETHODCALLTYPE GetPageValue(LONG* value) = 0;
    // Builds the page's element tree and hands out its root (with one
    // reference); E_FAIL when it cannot be built.
    virtual HRESULT STDMETHODCALLTYPE CreatePage(IxNode2** root) = 0;
    // Ends the page: when it is activated, codes 1 and 2 save it first, and
    // then it is reset whatever the code. S_OK.
    virtual HRESULT STDMETHODCALLTYPE Finish(LONG code) = 0;
    // Does nothing; S_OK.
    virtual HRESULT STDMETHODCALLTYPE Reserved6() = 0;
    // The first call after creation or reset remembers the host window and
    // the value, marks the page activated and loads it; later calls do
    // nothing more. S_OK.
    virtual HRESULT STDMETHODCALLTYPE Activate(IUnknown* hostWindow, LONG value) = 0;
    // Forgets the activation and the page root.
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    // Loads the page from the stored settings (only while activated).
    virtual HRESULT STDMETHODCALLTYPE Load() = 0;
    // Does nothing.
    virtual HRESULT STDMETHODCALLTYPE Reserved10() = 0;
    // Stores the page's settings and applies them.
    virtual HRESULT STDMETHODCALLTYPE Save() = 0;
    // The same as Save.
    virtual HRESULT STDMETHODCALLTYPE Save2() = 0;
};
