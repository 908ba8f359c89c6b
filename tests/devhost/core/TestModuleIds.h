// Identifiers of the two test modules that register with the host while they
// load, the way a plug-in does. "Good" carries a valid type library resource,
// "garbage" a TYPELIB resource that is not a type library.
#pragma once

#include <windows.h>

// The library inside DevHostTestLib.idl.
// {F50FAFFB-4FC1-4178-AA05-947BAC21D6D7}
inline constexpr GUID kGoodLibraryId = {0xF50FAFFB, 0x4FC1, 0x4178, {0xAA, 0x05, 0x94, 0x7B, 0xAC, 0x21, 0xD6, 0xD7}};
// Its dual interface IDevHostProbe.
// {9C5B8FA3-5E80-4205-B5C9-A07984D1D894}
inline constexpr GUID kProbeInterfaceId = {0x9C5B8FA3, 0x5E80, 0x4205, {0xB5, 0xC9, 0xA0, 0x79, 0x84, 0xD1, 0xD8, 0x94}};
// The identifier the garbage module registers its resource under.
// {90DBB1D9-A589-4559-8134-3ADD40E25D33}
inline constexpr GUID kGarbageLibraryId = {0x90DBB1D9, 0xA589, 0x4559, {0x81, 0x34, 0x3A, 0xDD, 0x40, 0xE2, 0x5D, 0x33}};

// The class each module registers from its static initialisation.
// {9524117E-A121-4D2A-AEA7-414B0073280B}
inline constexpr GUID kGoodModuleClassId = {0x9524117E, 0xA121, 0x4D2A, {0xAE, 0xA7, 0x41, 0x4B, 0x00, 0x73, 0x28, 0x0B}};
// {FD1BA2B3-2BFC-47A2-89A2-425A0C0C1F50}
inline constexpr GUID kGarbageModuleClassId = {0xFD1BA2B3, 0x2BFC, 0x47A2, {0x89, 0xA2, 0x42, 0x5A, 0x0C, 0x0C, 0x1F, 0x50}};

inline constexpr wchar_t kGoodModuleName[] = L"devhost_testmodule_good.dll";
inline constexpr wchar_t kGarbageModuleName[] = L"devhost_testmodule_garbage.dll";
