// Reading and writing throughput of the JSON document model on three standard
// documents (canada.json: numbers; citm_catalog.json: small objects, short
// strings, integers; twitter.json: non-ASCII text, escapes, large ids),
// measured side by side with a widely used header-only C++ JSON library built
// by the same compiler with the same flags. Prints figures; it is a
// measurement, not a test, and always exits with 0.
//
//   json_bench.exe [folder] [rounds]
//
// folder defaults to shared/bench-data beside the repository; a document that
// is not there is skipped. Each round times every operation of both libraries
// once, alternating which library goes first, and the figures are medians
// over the rounds, so that load from other processes on the machine falls on
// both alike.
//
// What is timed, for both libraries alike (the tree is destroyed outside the
// timer):
//   read    text in memory -> tree. Ours reads UTF-16 (the deliverables
//           convert at their edges), the other library reads the UTF-8 file.
//   read+cv ours only: the UTF-8 bytes converted to UTF-16 first, as the
//           deliverables do with every message.
//   write   tree -> compact text. Ours writes pure-ASCII UTF-16; the other
//           library is timed twice: pure ASCII (every non-ASCII character
//           \u-escaped, the form ours gives) and its default raw UTF-8.
// MB/s are 10^6 bytes of the UTF-8 document per second for every column, so
// that a ratio of two figures is the inverse ratio of their times.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "JsonValue.h"
#include "TextConv.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

bool ReadFileBytes(const std::string& path, std::string& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream all;
    all << in.rdbuf();
    bytes = all.str();
    return true;
}

// The timings of one document, one list of seconds per column.
struct Samples {
    std::vector<double> read, readConverted, theirRead, write, theirWriteAscii, theirWriteRaw;
};

template <typename Operation>
double Time(Operation&& operation)
{
    const Clock::time_point t0 = Clock::now();
    operation();
    return Seconds(Clock::now() - t0);
}

// Keeps the optimiser from dropping work whose result is otherwise unused.
volatile std::size_t g_sink;

void RunRound(const std::string& bytes, const std::wstring& wide, const JsonValue& tree, const nlohmann::json& theirs,
              bool oursFirst, Samples& s)
{
    auto oursRead = [&] {
        JsonValue::Ptr root;
        s.read.push_back(Time([&] { root = JsonValue::Parse(wide); }));
        g_sink = root ? 1 : 0;
    };
    auto oursReadConverted = [&] {
        JsonValue::Ptr root;
        s.readConverted.push_back(Time([&] { root = JsonValue::Parse(Utf8ToWide(bytes)); }));
        g_sink = root ? 1 : 0;
    };
    auto theirsRead = [&] {
        nlohmann::json root;
        s.theirRead.push_back(Time([&] { root = nlohmann::json::parse(bytes); }));
        g_sink = root.size();
    };
    auto oursWrite = [&] {
        std::wstring out;
        s.write.push_back(Time([&] { out = tree.Serialize(); }));
        g_sink = out.size();
    };
    auto theirsWriteAscii = [&] {
        std::string out;
        s.theirWriteAscii.push_back(Time([&] { out = theirs.dump(-1, ' ', true); }));
        g_sink = out.size();
    };
    auto theirsWriteRaw = [&] {
        std::string out;
        s.theirWriteRaw.push_back(Time([&] { out = theirs.dump(); }));
        g_sink = out.size();
    };
    if (oursFirst) {
        oursRead(); theirsRead(); oursReadConverted();
        oursWrite(); theirsWriteAscii(); theirsWriteRaw();
    } else {
        theirsRead(); oursReadConverted(); oursRead();
        theirsWriteRaw(); theirsWriteAscii(); oursWrite();
    }
}

std::string DefaultFolder()
{
#ifdef TESSARY_BENCH_DATA_DIR
    return TESSARY_BENCH_DATA_DIR;
#else
    return "../shared/bench-data";
#endif
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : DefaultFolder();
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 31;
    std::printf("documents from %s, %d interleaved rounds, medians; MB/s = 10^6 bytes of the UTF-8 document per second\n",
                folder.c_str(), rounds);
    std::printf("ratio = ours / theirs (above 1: ours is faster); write (ascii) compares like for like, write (raw) "
                "against their default UTF-8 output\n\n");
    std::printf("%-18s %8s | %-21s | %8s | %-21s | %-21s\n", "", "", "read MB/s", "read+cv", "write MB/s (ascii)",
                "write MB/s (raw)");
    std::printf("%-18s %8s | %6s %6s %7s | %8s | %6s %6s %7s | %6s %7s\n", "document", "bytes", "ours", "theirs",
                "ratio", "ours", "ours", "theirs", "ratio", "theirs", "ratio");

    const char* const documents[] = {"canada.json", "citm_catalog.json", "twitter.json"};
    int measured = 0;
    for (const char* name : documents) {
        std::string bytes;
        if (!ReadFileBytes(folder + "/" + name, bytes)) {
            std::printf("%-18s not found, skipped\n", name);
            continue;
        }
        const std::wstring wide = Utf8ToWide(bytes);
        const JsonValue::Ptr tree = JsonValue::Parse(wide);
        nlohmann::json theirs;
        try {
            theirs = nlohmann::json::parse(bytes);
        } catch (const std::exception& e) {
            std::printf("%-18s the other library refused it: %s\n", name, e.what());
            continue;
        }
        if (!tree) {
            std::printf("%-18s does not parse, skipped\n", name);
            continue;
        }
        // Writing is stable: what ours writes reads back and writes the same.
        const std::wstring written = tree->Serialize();
        const JsonValue::Ptr again = JsonValue::Parse(written);
        if (!again || again->Serialize() != written) {
            std::printf("%-18s written text does not read back to itself, skipped\n", name);
            continue;
        }

        Samples s;
        RunRound(bytes, wide, *tree, theirs, true, s);  // warm-up, not counted
        s = Samples();
        for (int r = 0; r < rounds; ++r) RunRound(bytes, wide, *tree, theirs, r % 2 == 0, s);

        const double mb = static_cast<double>(bytes.size()) / 1e6;
        const double read = mb / Median(s.read), theirRead = mb / Median(s.theirRead);
        const double readConverted = mb / Median(s.readConverted);
        const double write = mb / Median(s.write), theirAscii = mb / Median(s.theirWriteAscii);
        const double theirRaw = mb / Median(s.theirWriteRaw);
        std::printf("%-18s %8zu | %6.0f %6.0f %6.2fx | %8.0f | %6.0f %6.0f %6.2fx | %6.0f %6.2fx\n", name, bytes.size(),
                    read, theirRead, read / theirRead, readConverted, write, theirAscii, write / theirAscii, theirRaw,
                    write / theirRaw);
        ++measured;
    }
    if (measured == 0) std::printf("no document measured; pass the folder that holds them as the first argument\n");
    return 0;
}
