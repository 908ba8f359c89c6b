// An owned critical section (spin count 0), lockable with std::lock_guard.
// Initialised when constructed, deleted when destroyed.
#pragma once

#include <windows.h>

class CriticalSection {
public:
    CriticalSection() noexcept { InitializeCriticalSectionAndSpinCount(&section_, 0); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void lock() noexcept { EnterCriticalSection(&section_); }
    void unlock() noexcept { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};
