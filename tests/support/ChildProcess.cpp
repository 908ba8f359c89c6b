#include "ChildProcess.h"

#include <windows.h>

#include <map>
#include <thread>

#include "UniqueHandle.h"

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    std::wstring folder(path, n);
    const std::size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

namespace {

// Builds an environment block: the current variables with the overrides.
std::wstring EnvironmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& overrides)
{
    struct NoCase {
        bool operator()(const std::wstring& a, const std::wstring& b) const { return _wcsicmp(a.c_str(), b.c_str()) < 0; }
    };
    std::map<std::wstring, std::wstring, NoCase> vars;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* p = block; p && *p; p += wcslen(p) + 1) {
        const std::wstring entry(p);
        const std::size_t eq = entry.find(L'=', 1);  // "=C:=C:\" style entries start with '='
        if (eq == std::wstring::npos) continue;
        vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    if (block) FreeEnvironmentStringsW(block);
    for (const auto& kv : overrides) {
        if (kv.second.empty()) vars.erase(kv.first);
        else vars[kv.first] = kv.second;
    }
    std::wstring out;
    for (const auto& kv : vars) {
        out += kv.first + L"=" + kv.second;
        out.push_back(L'\0');
    }
    out.push_back(L'\0');
    return out;
}

void DrainInto(HANDLE pipe, std::string& sink)
{
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(pipe, buf, sizeof buf, &got, nullptr) && got > 0) sink.append(buf, got);
}

}  // namespace

ChildResult RunChild(const std::wstring& program, const std::string& input, const ChildOptions& options)
{
    ChildResult result;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueHandle inRead, inWrite, outRead, outWrite, errRead, errWrite;
    if (!CreatePipe(inRead.put(), inWrite.put(), &inherit, 0) || !CreatePipe(outRead.put(), outWrite.put(), &inherit, 0) ||
        !CreatePipe(errRead.put(), errWrite.put(), &inherit, 0))
        return result;
    // Our own ends must not leak into the child, or its pipes never close.
    SetHandleInformation(inWrite.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = inRead.get();
    si.hStdOutput = outWrite.get();
    si.hStdError = errWrite.get();
    PROCESS_INFORMATION pi{};
    std::wstring commandLine = L"\"" + program + L"\"";
    std::wstring environment = EnvironmentBlock(options.environment);
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                        &environment[0], nullptr, &si, &pi))
        return result;
    UniqueHandle process(pi.hProcess), thread(pi.hThread);
    result.started = true;
    inRead.reset();
    outWrite.reset();
    errWrite.reset();

    std::thread outReader(DrainInto, outRead.get(), std::ref(result.out));
    std::thread errReader(DrainInto, errRead.get(), std::ref(result.err));
    std::thread writer([&] {
        std::size_t at = 0;
        while (at < input.size()) {
            DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(input.size() - at, 1 << 20));
            DWORD put = 0;
            if (!WriteFile(inWrite.get(), input.data() + at, chunk, &put, nullptr)) break;
            at += put;
        }
        inWrite.reset();
    });

    if (WaitForSingleObject(process.get(), options.timeoutMs) != WAIT_OBJECT_0) {
        result.timedOut = true;
        TerminateProcess(process.get(), 259);
        WaitForSingleObject(process.get(), INFINITE);
    }
    writer.join();
    inWrite.reset();
    outReader.join();
    errReader.join();
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    result.exitCode = code;
    return result;
}
