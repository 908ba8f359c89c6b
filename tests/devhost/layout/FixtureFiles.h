// The test fixtures beside the test program: bin/devhost-fixtures/ holds
// resource.zip (made by CMake from fixture/ and a few generated files) and
// a copy of fixture/frame.xml.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::wstring FixturePath(const wchar_t* name)
{
    wchar_t program[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring path(program, n);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"devhost-fixtures\\" + name;
}

inline std::vector<std::uint8_t> ReadFixture(const wchar_t* name)
{
    std::ifstream in(std::filesystem::path(FixturePath(name)), std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
