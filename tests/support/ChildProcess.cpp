#include "ChildProcess.h"

#include <windows.h>

#include <map>
#include <mutex>
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

std::wstring DevHostProgram() { return ProgramFolder() + L"tessary-devhost.exe"; }

ChildResult SendToDevHost(const std::vector<std::wstring>& words)
{
    ChildOptions options;
    options.arguments = {L"--send"};
    options.arguments.insert(options.arguments.end(), words.begin(), words.end());
    options.timeoutMs = 30000;
    return RunChild(DevHostProgram(), "", options);
}

std::wstring FreshTempFolder(const std::wstring& prefix)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + prefix + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount());
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

std::wstring CommandLine(const std::wstring& program, const std::vector<std::wstring>& arguments)
{
    std::wstring line = L"\"" + program + L"\"";
    for (const auto& a : arguments) line += L" \"" + a + L"\"";
    return line;
}

struct Spawned {
    UniqueHandle process;
    UniqueHandle input;  // our end of the child's standard input
    UniqueHandle output;
    UniqueHandle error;
};

bool Spawn(const std::wstring& program, const ChildOptions& options, Spawned& spawned)
{
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueHandle inRead, outWrite, errWrite;
    if (!CreatePipe(inRead.put(), spawned.input.put(), &inherit, 0) ||
        !CreatePipe(spawned.output.put(), outWrite.put(), &inherit, 0) ||
        !CreatePipe(spawned.error.put(), errWrite.put(), &inherit, 0))
        return false;
    // Our own ends must not leak into the child, or its pipes never close.
    SetHandleInformation(spawned.input.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(spawned.output.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(spawned.error.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = inRead.get();
    si.hStdOutput = outWrite.get();
    si.hStdError = errWrite.get();
    PROCESS_INFORMATION pi{};
    std::wstring commandLine = CommandLine(program, options.arguments);
    std::wstring environment = EnvironmentBlock(options.environment);
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                        &environment[0], nullptr, &si, &pi))
        return false;
    spawned.process.reset(pi.hProcess);
    UniqueHandle thread(pi.hThread);
    return true;
}

// Appends what arrives on the pipe to the sink, and to the second sink too
// when there is one; under the lock when one is given.
void DrainInto(HANDLE pipe, std::string& sink, std::mutex* lock, std::string* alsoInto)
{
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(pipe, buf, sizeof buf, &got, nullptr) && got > 0) {
        std::unique_lock<std::mutex> hold;
        if (lock) hold = std::unique_lock<std::mutex>(*lock);
        sink.append(buf, got);
        if (alsoInto) alsoInto->append(buf, got);
    }
}

}  // namespace

ChildResult RunChild(const std::wstring& program, const std::string& input, const ChildOptions& options)
{
    ChildResult result;
    Spawned child;
    if (!Spawn(program, options, child)) return result;
    result.started = true;

    std::thread outReader(DrainInto, child.output.get(), std::ref(result.out), nullptr, nullptr);
    std::thread errReader(DrainInto, child.error.get(), std::ref(result.err), nullptr, nullptr);
    std::thread writer([&] {
        std::size_t at = 0;
        while (at < input.size()) {
            DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(input.size() - at, 1 << 20));
            DWORD put = 0;
            if (!WriteFile(child.input.get(), input.data() + at, chunk, &put, nullptr)) break;
            at += put;
        }
        child.input.reset();
    });

    if (WaitForSingleObject(child.process.get(), options.timeoutMs) != WAIT_OBJECT_0) {
        result.timedOut = true;
        TerminateProcess(child.process.get(), 259);
        WaitForSingleObject(child.process.get(), INFINITE);
    }
    writer.join();
    outReader.join();
    errReader.join();
    DWORD code = 0;
    GetExitCodeProcess(child.process.get(), &code);
    result.exitCode = code;
    return result;
}

struct RunningChild::State {
    Spawned child;
    mutable std::mutex lock;  // protects output and standardOutput
    std::string output;          // standard output and error as they arrive
    std::string standardOutput;  // standard output alone
    std::thread outReader;
    std::thread errReader;
};

RunningChild::RunningChild() : state_(new State()) {}

RunningChild::~RunningChild()
{
    End();
}

void RunningChild::End()
{
    Terminate();
    state_->child.input.reset();
    if (state_->outReader.joinable()) state_->outReader.join();
    if (state_->errReader.joinable()) state_->errReader.join();
}

bool RunningChild::Start(const std::wstring& program, const ChildOptions& options)
{
    // A child started before ends here; its output makes way for the new one's.
    End();
    state_.reset(new State());
    if (!Spawn(program, options, state_->child)) return false;
    state_->outReader = std::thread(DrainInto, state_->child.output.get(), std::ref(state_->output), &state_->lock,
                                    &state_->standardOutput);
    state_->errReader =
        std::thread(DrainInto, state_->child.error.get(), std::ref(state_->output), &state_->lock, nullptr);
    return true;
}

bool RunningChild::Write(const std::string& bytes)
{
    std::size_t at = 0;
    while (at < bytes.size()) {
        DWORD put = 0;
        if (!state_->child.input ||
            !WriteFile(state_->child.input.get(), bytes.data() + at, static_cast<DWORD>(bytes.size() - at), &put, nullptr))
            return false;
        at += put;
    }
    return true;
}

void RunningChild::CloseInput()
{
    state_->child.input.reset();
}

bool RunningChild::WaitForExit(unsigned long timeoutMs)
{
    return state_->child.process && WaitForSingleObject(state_->child.process.get(), timeoutMs) == WAIT_OBJECT_0;
}

unsigned long RunningChild::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (state_->child.process) GetExitCodeProcess(state_->child.process.get(), &code);
    return code;
}

std::string RunningChild::Output() const
{
    const std::lock_guard<std::mutex> hold(state_->lock);
    return state_->output;
}

std::string RunningChild::StandardOutput() const
{
    const std::lock_guard<std::mutex> hold(state_->lock);
    return state_->standardOutput;
}

unsigned long long RunningChild::CommittedBytes() const
{
    if (!state_->child.process) return 0;
    unsigned long long committed = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (const char* at = nullptr;
         VirtualQueryEx(state_->child.process.get(), at, &region, sizeof region) == sizeof region;
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT) committed += region.RegionSize;
    }
    return committed;
}

void RunningChild::Terminate()
{
    if (state_->child.process && WaitForSingleObject(state_->child.process.get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(state_->child.process.get(), 259);
        WaitForSingleObject(state_->child.process.get(), INFINITE);
    }
}
