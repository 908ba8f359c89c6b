// Parse and Serialize throughput of the JSON document model on a document of
// several MiB: an array of records holding strings (ASCII, raw non-ASCII and
// \u escapes), integers, fractions, exponents, literals and nested arrays.
// Prints figures; it is a measurement, not a test, and always exits with 0.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "JsonValue.h"

namespace {

using Clock = std::chrono::steady_clock;

// The input text as a client would send it: some whitespace, raw non-ASCII
// text and a few escapes, members not in name order.
std::wstring BuildDocument(std::size_t minUnits)
{
    static const wchar_t* const kWords[] = {
        L"alpha", L"Gr\u00FC\u00DFe", L"caf\u00E9 cr\u00E8me", L"\u65E5\u672C\u8A9E\u306E\u30C6\u30AD\u30B9\u30C8",
        L"\u041F\u0440\u0438\u0432\u0435\u0442", L"line\\nbreak \\\"quoted\\\" \\u00e9", L"path\\/to\\/file",
        L"\xD83D\xDE00 emoji",
    };
    const std::size_t wordCount = sizeof kWords / sizeof kWords[0];
    std::wstring text = L"[\n";
    unsigned seed = 12345;
    for (std::size_t i = 0; text.size() < minUnits; ++i) {
        seed = seed * 1103515245u + 12345u;
        if (i) text += L",\n";
        text += L"  {\"title\": \"";
        text += kWords[i % wordCount];
        text += L" #" + std::to_wstring(i);
        text += L"\", \"id\": " + std::to_wstring(i);
        text += L", \"score\": " + std::to_wstring(seed % 100000) + L"." + std::to_wstring(seed % 997);
        text += L", \"scale\": " + std::to_wstring(seed % 9 + 1) + L"e-" + std::to_wstring(seed % 12);
        text += L", \"active\": ";
        text += (seed & 1) ? L"true" : L"false";
        text += L", \"parent\": null, \"tags\": [\"";
        text += kWords[(i + 3) % wordCount];
        text += L"\", \"";
        text += kWords[(i + 5) % wordCount];
        text += L"\"], \"matrix\": [[1, 2.5, -3], [4e2, 0, -0.125]], \"note\": {\"by\": \"";
        text += kWords[(i + 1) % wordCount];
        text += L"\", \"at\": " + std::to_wstring(1700000000 + i) + L"}}";
    }
    text += L"\n]\n";
    return text;
}

double MiB(std::size_t units) { return static_cast<double>(units) * sizeof(wchar_t) / (1024.0 * 1024.0); }

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct Figures {
    double best = 0, median = 0;
};

Figures Summarise(std::vector<double> seconds, std::size_t units)
{
    std::sort(seconds.begin(), seconds.end());
    Figures f;
    f.best = MiB(units) / seconds.front();
    f.median = MiB(units) / seconds[seconds.size() / 2];
    return f;
}

}  // namespace

int main()
{
    const int repetitions = 7;
    const std::wstring input = BuildDocument(8u * 1024 * 1024 / sizeof(wchar_t));  // about 8 MiB of UTF-16
    std::printf("input: %.2f MiB of UTF-16 (%zu code units), %d repetitions\n", MiB(input.size()), input.size(),
                repetitions);

    std::vector<double> parseTimes, serializeTimes;
    std::size_t outputUnits = 0, records = 0;
    for (int r = 0; r < repetitions; ++r) {
        const Clock::time_point t0 = Clock::now();
        JsonValue::Ptr root = JsonValue::Parse(input);
        const Clock::time_point t1 = Clock::now();
        if (!root) {
            std::printf("the generated document did not parse; no figures\n");
            return 0;
        }
        records = root->Items().size();
        parseTimes.push_back(Seconds(t1 - t0));

        const Clock::time_point t2 = Clock::now();
        const std::wstring output = root->Serialize();
        const Clock::time_point t3 = Clock::now();
        outputUnits = output.size();
        serializeTimes.push_back(Seconds(t3 - t2));
    }

    const Figures parse = Summarise(parseTimes, input.size());
    const Figures write = Summarise(serializeTimes, outputUnits);
    std::printf("records: %zu, compact output: %.2f MiB (%zu code units)\n", records, MiB(outputUnits), outputUnits);
    std::printf("Parse:     best %8.1f MiB/s, median %8.1f MiB/s (of input)\n", parse.best, parse.median);
    std::printf("Serialize: best %8.1f MiB/s, median %8.1f MiB/s (of output)\n", write.best, write.median);
    return 0;
}
