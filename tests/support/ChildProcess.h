// Runs a program of this build as a child process with the given bytes on its
// standard input, and collects its standard output, standard error and exit
// code. Input is written and output read on separate threads, so inputs and
// outputs of any size cannot deadlock on full pipe buffers.
#pragma once

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
};

// The folder of the running test program, with a trailing backslash. Every
// program of the build lands in the same folder.
std::wstring ProgramFolder();

ChildResult RunChild(const std::wstring& program, const std::string& input, const ChildOptions& options = {});
