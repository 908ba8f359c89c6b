// The stand-in host's element tree, exported from tsyui.dll for the stand-in
// program, its services and the tests. The plug-in never calls it: it sees
// elements only through IxNode2 / IxElement and the two tsyui entry points.
//
// An element has an id, a display state (shown until SetVisible hides it),
// ordered children and one attached-object slot. Elements are reference
// counted; a parent holds a reference to each child, so releasing the root
// releases the tree. All of it runs on the host's main thread.
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

}  // namespace Ui
}  // namespace DevHost
