// Texts nested to a given depth, for the tests of the depth check and of the
// parser's own bound.
#pragma once

#include <string>

// [[...]]: depth opening brackets, then as many closing ones.
inline std::wstring NestedArrays(int depth) { return std::wstring(depth, L'[') + std::wstring(depth, L']'); }

// {"a":{"a":...1...}}: depth objects, each the only member of the one outside.
inline std::wstring NestedObjects(int depth)
{
    std::wstring text;
    for (int i = 0; i < depth; ++i) text += LR"({"a":)";
    text += L"1";
    text.append(depth, L'}');
    return text;
}
