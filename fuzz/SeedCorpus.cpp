// Writes a fuzz target's seed corpus from its readable list of seeds.
//
//   fuzz_seeds units|bytes LIST DIR
//
// Each line of LIST that is neither empty nor begins with "#" becomes one
// file DIR/seed-NNN (files of that name already in DIR are removed first).
// A line is UTF-8 text in which \x{H} (one to four hexadecimal digits)
// stands for one character; every other backslash is itself, so JSON escapes
// are written as they are. In units mode the file holds the line's UTF-16
// code units, two bytes each, little-endian (what the text targets read),
// and \x{H} gives one unit. In bytes mode the file holds the bytes
// themselves; \x{H} gives one byte below 0x100, else the UTF-8 form of the
// character.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void PutUnit(std::string& out, unsigned unit)
{
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>((unit >> 8) & 0xFF));
}

void PutUtf8(std::string& out, unsigned cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// One UTF-8 character of the list as a code point; false when ill-formed.
bool ReadUtf8(const std::string& line, std::size_t& at, unsigned& cp)
{
    const unsigned char lead = static_cast<unsigned char>(line[at++]);
    int more = 0;
    if (lead < 0x80) cp = lead;
    else if ((lead & 0xE0) == 0xC0) cp = lead & 0x1F, more = 1;
    else if ((lead & 0xF0) == 0xE0) cp = lead & 0x0F, more = 2;
    else if ((lead & 0xF8) == 0xF0) cp = lead & 0x07, more = 3;
    else return false;
    for (; more > 0; --more, ++at) {
        if (at >= line.size() || (static_cast<unsigned char>(line[at]) & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (static_cast<unsigned char>(line[at]) & 0x3F);
    }
    return true;
}

bool Decode(const std::string& line, bool units, std::string& out)
{
    for (std::size_t at = 0; at < line.size();) {
        if (line.compare(at, 3, "\\x{") == 0) {
            // \x{H...}: one unit (units mode), or one byte below 0x100 and
            // the UTF-8 form of anything above (bytes mode).
            at += 3;
            unsigned value = 0;
            int digits = 0;
            for (; at < line.size() && HexDigit(line[at]) >= 0; ++at, ++digits)
                value = value * 16 + static_cast<unsigned>(HexDigit(line[at]));
            if (digits == 0 || digits > 4 || at >= line.size() || line[at] != '}') return false;
            ++at;
            if (units) PutUnit(out, value);
            else if (value < 0x100) out.push_back(static_cast<char>(value));
            else PutUtf8(out, value);
            continue;
        }
        if (!units) {
            out.push_back(line[at++]);
            continue;
        }
        unsigned cp = 0;
        if (!ReadUtf8(line, at, cp)) return false;
        if (cp >= 0x10000) {
            PutUnit(out, 0xD800 + ((cp - 0x10000) >> 10));
            PutUnit(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            PutUnit(out, cp);
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4 || (std::string(argv[1]) != "units" && std::string(argv[1]) != "bytes")) {
        std::cerr << "usage: fuzz_seeds units|bytes LIST DIR\n";
        return 2;
    }
    const bool units = std::string(argv[1]) == "units";
    namespace fs = std::filesystem;
    const fs::path dir = argv[3];
    fs::create_directories(dir);
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().rfind("seed-", 0) == 0) fs::remove(entry.path());

    std::ifstream list(argv[2]);
    if (!list) {
        std::cerr << "fuzz_seeds: cannot read " << argv[2] << "\n";
        return 1;
    }
    std::string line;
    int lineNumber = 0, written = 0;
    while (std::getline(list, line)) {
        ++lineNumber;
        if (line.empty() || line[0] == '#') continue;
        std::string bytes;
        if (!Decode(line, units, bytes)) {
            std::cerr << argv[2] << ":" << lineNumber << ": bad escape or UTF-8\n";
            return 1;
        }
        char name[32];
        std::snprintf(name, sizeof name, "seed-%03d", ++written);
        std::ofstream(dir / name, std::ios::binary) << bytes;
    }
    return 0;
}
