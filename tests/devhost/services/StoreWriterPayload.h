// The versions that devhost_store_writer writes into the settings store, and
// the check that a settings file holds one complete version.
//
// Version g sets "payload" to "<g>:" followed by a run of letters that
// depends on g, then "generation" to g, each with its own atomic file
// replacement. A complete file therefore holds a payload that matches its
// own number p exactly (length and every letter) and a generation of p - 1
// (killed between the two writes) or p.
#pragma once

#include <string>

namespace storewriter {

constexpr const wchar_t* kPayloadKey = L"payload";
constexpr const wchar_t* kGenerationKey = L"generation";

inline std::wstring Payload(long generation, std::size_t letters)
{
    std::wstring text = std::to_wstring(generation) + L":";
    text.reserve(text.size() + letters);
    for (std::size_t i = 0; i < letters; ++i)
        text.push_back(static_cast<wchar_t>(L'a' + (static_cast<std::size_t>(generation) * 7 + i) % 26));
    return text;
}

// The number of a payload that is exactly Payload(number, letters); -1
// otherwise.
inline long PayloadGeneration(const std::wstring& payload, std::size_t letters)
{
    const std::size_t colon = payload.find(L':');
    if (colon == std::wstring::npos || colon == 0 || colon > 9) return -1;
    long generation = 0;
    for (std::size_t i = 0; i < colon; ++i) {
        if (payload[i] < L'0' || payload[i] > L'9') return -1;
        generation = generation * 10 + (payload[i] - L'0');
    }
    return payload == Payload(generation, letters) ? generation : -1;
}

}  // namespace storewriter
