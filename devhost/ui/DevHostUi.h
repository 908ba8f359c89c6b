// The stand-in host's element tree and windows, exported from tsyui.dll for
// the stand-in program, its services and the tests. The plug-in never calls
// it: it sees elements only through IxNode2 / IxElement and the further
// interfaces of Ui.h, and the two tsyui entry points.
//
// An element has an id, a kind (see the element builder: panel, text,
// check box, button, window; a plain node when made with CreateElement), a
// display state (shown until SetVisible hides it), ordered children and one
// attached-object slot. Elements are reference counted; a parent holds a
// reference to each child, so releasing the root releases the tree.
//
// Windows. Elements exist without windows until their tree is attached to a
// host window (AttachToWindow, or a window made by the window factory), or
// added to a panel that is already realised: then each makes its Win32
// control (see Element.h in this folder). Util::UI::GetElementById searches
// a window's trees as well as an element's.
//
// All of it runs on the host's main thread.
#pragma once

#include "HostCore.h"

namespace DevHost {
namespace Ui {

// A new element with the given id (null reads as empty), shown, without
// children or attached object. *element receives it with one reference.
TSYUI_API HRESULT CreateElement(const wchar_t* id, IxElement** element);

// Appends child as the last child of parent; the parent keeps a reference.
// E_INVALIDARG when either is not an element of this library, when the child
// already has a parent, or when the child is the parent or one of its
// ancestors (the tree would become a cycle).
TSYUI_API HRESULT AppendChild(IxElement* parent, IxElement* child);

// The element's display state; 0 for null or a foreign object.
TSYUI_API ExDisplay GetDisplay(IxElement* element);

// Puts an object into the element's attached-object slot (null empties it);
// the element keeps its own reference. IxElement::GetAttachedObject hands it
// out with a reference (S_OK), or null with S_FALSE while the slot is empty.
// E_INVALIDARG for null or a foreign element.
TSYUI_API HRESULT SetAttachedObject(IxElement* element, IUnknown* object);

// Copies the element's id like the tsycore Copy functions: cut to
// capacity - 1 units, always terminated; returns the units copied, 0 for a
// foreign element.
TSYUI_API int CopyElementId(IxElement* element, wchar_t* buffer, int capacity);

// A new element builder service object (IxElementBuilderService), for the
// host to install under SID_ElementBuilderService. *builder receives it with
// one reference.
TSYUI_API HRESULT CreateElementBuilder(IxElementBuilderService** builder);

// A new window factory wrapping parent (the calendar's main window): an
// object answering IDispatch, IxWindowFactory and IxNode2, as the plug-in's
// ShowSettingWindow takes it. Its windows are made through the layout
// loader and element builder services installed in the host core.
TSYUI_API HRESULT CreateWindowFactory(HWND parent, IDispatch** factory);

// The index-th window (oldest first) that the factory made and that is
// still open; S_FALSE and null past the last. E_INVALIDARG for a foreign
// factory.
TSYUI_API HRESULT GetFactoryWindow(IUnknown* factory, int index, IxWindow** window);

// A new hidden top-level host window (WS_OVERLAPPEDWINDOW) whose client area
// is clientWidth x clientHeight. It stays open until it is closed (its close
// box, CloseWindow) even when every reference is released.
TSYUI_API HRESULT CreateHostWindow(const wchar_t* caption, int clientWidth, int clientHeight, IxWindow** window);

// Attaches the tree of root (an element of ours) to the window and realises
// it in the client area, root at its own position.
TSYUI_API HRESULT AttachToWindow(IxWindow* window, IUnknown* root);

// Destroys a host window (its elements keep their state, without controls).
TSYUI_API void CloseWindow(IxWindow* window);

// The HWND of a host window, of a window factory's parent, or of an
// element's control; null when there is none (not realised, closed,
// foreign).
TSYUI_API HWND GetWindowHandle(IUnknown* object);

// An element's position and size as built (x, y, x + width, y + height),
// relative to its parent element. E_INVALIDARG for a foreign element.
TSYUI_API HRESULT GetElementBounds(IUnknown* element, RECT* bounds);

// A real click on a realised element's control: WM_LBUTTONDOWN and
// WM_LBUTTONUP posted at the centre of its client area to the control
// itself, then that control's messages pumped until none is left, so that
// its own window procedure produces the click (and its parent's
// WM_COMMAND). E_INVALIDARG for a foreign element,
// HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE) when it is not realised,
// E_ACCESSDENIED when the control is disabled (a mouse click would not reach
// it).
TSYUI_API HRESULT ClickElement(IxElement* element);

// The state of a tree (an element of ours, or every tree of a host window),
// one line per element in depth-first order:
//     ID KIND text="..." visible=0|1 disabled=0|1[ checked=0|1]
// ID is "-" when empty; KIND is panel, text, checkbox, button, window or
// element; checked only for check boxes. Realised elements are read from
// their controls (text, the WS_VISIBLE style, IsWindowEnabled, BM_GETCHECK).
// In the text, \, " , CR and LF are written as \\, \", \r and \n. Lines end
// with LF. Copies up to capacity - 1 units, always terminated, and returns
// the length of the whole text (so a caller can ask again with more room);
// 0 for a foreign object.
TSYUI_API int CopyTreeState(IUnknown* root, wchar_t* buffer, int capacity);

}  // namespace Ui
}  // namespace DevHost
