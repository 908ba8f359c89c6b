// Runs programs of this build as child processes. RunChild gives a program
// the given bytes on its standard input and collects its standard output,
// standard error and exit code. RunningChild starts a long-running program
// (a stand-in calendar, say) and keeps it until it is told to end or the
// owner goes away. Output is read on separate threads, so inputs and outputs
// of any size cannot deadlock on full pipe buffers.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

struct ChildResult {
    bool started = false;
    bool timedOut = false;
    unsigned long exitCode = 0;
    std::string out;
    std::string err;
};

struct ChildOptions {
    // Variables set (or, with an empty value, removed) in the child's
    // environment; everything else is inherited.
    std::vector<std::pair<std::wstring, std::wstring>> environment;
    unsigned long timeoutMs = 60000;
    // Command-line arguments after the program's own name, each quoted.
    std::vector<std::wstring> arguments;
};

// The folder of the running test program, with a trailing backslash. Every
// program of the build lands in the same folder.
std::wstring ProgramFolder();

ChildResult RunChild(const std::wstring& program, const std::string& input, const ChildOptions& options = {});

// The stand-in calendar program of this build.
std::wstring DevHostProgram();

// Sends one command to the running stand-in calendar through a second
// invocation of the program ("--send" followed by the words).
ChildResult SendToDevHost(const std::vector<std::wstring>& words);

// A folder path under the temporary folder that no other run uses:
// "<prefix>-<process id>-<tick count>". The folder is not created.
std::wstring FreshTempFolder(const std::wstring& prefix);

class RunningChild {
public:
    RunningChild();
    ~RunningChild();  // ends the child if it still runs
    RunningChild(const RunningChild&) = delete;
    RunningChild& operator=(const RunningChild&) = delete;

    // Starts the program with its standard input left open. A child this
    // object started before is ended first.
    bool Start(const std::wstring& program, const ChildOptions& options = {});
    // Writes the bytes to the child's standard input; false once it is
    // closed or the child has gone.
    bool Write(const std::string& bytes);
    // Closes the child's standard input.
    void CloseInput();
    // Waits for the child to end; false on time-out.
    bool WaitForExit(unsigned long timeoutMs);
    unsigned long ExitCode() const;
    // Standard output and standard error, as far as they have arrived.
    std::string Output() const;
    // Standard output alone, as far as it has arrived.
    std::string StandardOutput() const;
    // The memory the running child has committed now, in bytes, counted
    // region by region over its address space (so memory committed but
    // never touched counts too); 0 when it cannot be read.
    unsigned long long CommittedBytes() const;
    void Terminate();

private:
    void End();

    struct State;
    std::unique_ptr<State> state_;
};
