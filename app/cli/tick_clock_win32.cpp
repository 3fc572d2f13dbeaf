#include <windows.h>
// timeBeginPeriod needs windows.h first.
#include <timeapi.h>

#include "tick_clock.h"

namespace kestrova::cli {
namespace {

constexpr UINT TimerPeriodMs = 1;
// CREATE_WAITABLE_TIMER_HIGH_RESOLUTION (Windows 10 1803), newer than mingw-w64's headers.
constexpr DWORD HighResolutionTimer = 0x2;
constexpr std::int64_t NsPerSecond = 1'000'000'000;
constexpr std::int64_t NsPerTimerUnit = 100;  // waitable timers count in 100 ns

std::int64_t CounterFrequency() {
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

}  // namespace

TickClock::TickClock() {
    // Without it the system's timer runs at 15.6 ms and a 1 ms tick cannot be kept.
    ::timeBeginPeriod(TimerPeriodMs);
    // A high-resolution timer where the system has one (Windows 10 1803 on), else a plain one.
    timer_ = ::CreateWaitableTimerExW(nullptr, nullptr, HighResolutionTimer, TIMER_ALL_ACCESS);
    if (timer_ == nullptr) timer_ = ::CreateWaitableTimerW(nullptr, TRUE, nullptr);
}

TickClock::~TickClock() {
    if (timer_ != nullptr) ::CloseHandle(static_cast<HANDLE>(timer_));
    ::timeEndPeriod(TimerPeriodMs);
}

std::int64_t TickClock::NowNs() {
    static const std::int64_t frequency = CounterFrequency();
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    const std::int64_t seconds = counter.QuadPart / frequency;
    const std::int64_t rest = counter.QuadPart % frequency;
    return seconds * NsPerSecond + rest * NsPerSecond / frequency;
}

void TickClock::SleepUntil(std::int64_t ns) {
    const std::int64_t wait = ns - NowNs();
    if (wait <= 0) return;
    LARGE_INTEGER due{};
    due.QuadPart = -((wait + NsPerTimerUnit - 1) / NsPerTimerUnit);  // negative: relative
    if (timer_ != nullptr &&
        ::SetWaitableTimer(static_cast<HANDLE>(timer_), &due, 0, nullptr, nullptr, FALSE)) {
        ::WaitForSingleObject(static_cast<HANDLE>(timer_), INFINITE);
        return;
    }
    ::Sleep(static_cast<DWORD>((wait + 999'999) / 1'000'000));
}

}  // namespace kestrova::cli
