// The host's settings dialog and the plug-in's settings windows, as the
// page commands drive them (all on the main thread).
//
// The dialog hosts one page: the page component made by its class
// identifier and asked for the host settings-page interface. Opening it:
// CreatePage builds the root element; GetTitle gives the caption (empty
// when it fails); a top-level host window whose client area fits the root
// (its x + width by y + height) realises the tree and is shown; then
// Activate is called with that window object (the page keeps a counted
// reference to what it is given, so it gets a COM object, not a raw HWND)
// and 0. Finishing calls Finish with the code and closes the dialog. A
// dialog its user closed with the close box counts as finished with code 0,
// which the page is told at the next page command or when the host ends.
//
// Settings windows: ShowWindow calls the plug-in's ShowSettingWindow (through
// the main component's IDispatch) with the main window's factory object; the
// windows the factory made are then what Click and State work on while no
// dialog is open (the newest first).
#pragma once

#include <string>

#include "ComPtr.h"
#include "HostApi.h"

class PageHost {
public:
    explicit PageHost(const GUID& pageClassId) : pageClassId_(pageClassId) {}
    ~PageHost() { CloseAll(); }
    PageHost(const PageHost&) = delete;
    PageHost& operator=(const PageHost&) = delete;

    // The class of the page component the dialog hosts: the plug-in's AI
    // access page, 7656B890-F8AA-43DB-8330-58AE39051AE6.
    static const GUID kAiMcpPageClassId;

    // The main window's factory object (a DevHost::Ui window factory).
    void SetFactory(IDispatch* factory) { factory_ = ComPtr<IDispatch>::Copy(factory); }
    IDispatch* Factory() const noexcept { return factory_.get(); }

    // Each returns a command reply ("ok..." or "error: ...").
    std::wstring Open();
    std::wstring ShowWindow(IDispatch* component);
    std::wstring Click(const std::wstring& id);
    std::wstring State();
    std::wstring Finish(long code);

    bool DialogOpen();
    // The dialog window object while open (for tests); null otherwise.
    IxWindow* Dialog() const noexcept { return dialog_.get(); }

    // Ends the dialog (as finished with code 0) and closes the factory's
    // windows: the host is ending.
    void CloseAll();

private:
    // The window that Click and State work on: the dialog, else the newest
    // open factory window; null when there is none.
    ComPtr<IxWindow> Target();
    // A dialog closed by its user: finish the page (code 0) and forget both.
    void DropClosedDialog();
    void ForgetDialog();

    const GUID pageClassId_;
    ComPtr<IDispatch> factory_;
    ComPtr<IxHostSettingPage> page_;
    ComPtr<IxNode2> root_;
    ComPtr<IxWindow> dialog_;
};

// An HRESULT as the replies show it: 0x and eight upper-case hex digits.
std::wstring HresultText(HRESULT hr);
