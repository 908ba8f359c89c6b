// Functions of a system DLL looked up when first needed instead of imported,
// so that a program that rarely needs the DLL does not load it at start
// (every DLL loaded is start-up time, under Wine most of all).
#pragma once

#include <windows.h>

// The named export of the module, as the given function pointer type; null
// when the module or the name is missing.
template <typename Function>
Function LoadedFunction(HMODULE module, const char* name)
{
    if (!module) return nullptr;
    // Through the generic function pointer type, which converts to and from
    // every other without a cast warning.
    using Generic = void (*)();
    return reinterpret_cast<Function>(reinterpret_cast<Generic>(GetProcAddress(module, name)));
}
