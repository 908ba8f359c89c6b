// The language service: the user-visible texts of the application and its
// plug-ins, looked up by resource key, and the language folders those texts
// come from.
//
// Lifecycle. The service is obtained with Util::Service::GetService for each
// use and released at once. Its language-folder interface is asked for with
// QueryInterface on the service object and released with it. Out strings are
// freed by the caller.
//
// Threads. Main thread only.
//
// Failure. Without the service, or when it returns nothing, a text reads as
// empty (callers substitute their own fallback where they have one). A
// missing language-folder interface skips adding the folder.
#pragma once

#include "HostCommon.h"

// {6C6A0B02-D05D-4C16-A400-2C476ACEDEB1}
inline constexpr GUID SID_LanguageService = {0x6C6A0B02, 0xD05D, 0x4C16, {0xA4, 0x00, 0x2C, 0x47, 0x6A, 0xCE, 0xDE, 0xB1}};
inline constexpr GUID IID_IxLanguageService = SID_LanguageService;
struct IxLanguageService : public IUnknown {
    // The text for a resource key ("IDS_..."), in the user's language.
    virtual HRESULT STDMETHODCALLTYPE GetText(BSTR key, BSTR* text) = 0;
};

// Offered by the language service object.
// {D2E60B88-98BA-4B00-9B78-9A41F15DA38F}
inline constexpr GUID IID_IxLanguageFolder = {0xD2E60B88, 0x98BA, 0x4B00, {0x9B, 0x78, 0x9A, 0x41, 0xF1, 0x5D, 0xA3, 0x8F}};
struct IxLanguageFolder : public IUnknown {
    // Adds a folder of language files, given as a host path such as
    // "app:\<module>\language\".
    virtual HRESULT STDMETHODCALLTYPE AddFolder(BSTR folder) = 0;
};
