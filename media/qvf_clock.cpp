// The player's pausable clock and the timer classes.
#include "media/qvf_clock.h"

#include "host/host.h"

#include <mutex>

namespace {

// The clock is read by the presentation thread and paused from others.
std::mutex g_clockLock;
bool g_started = false;
uint32_t g_lastTick = 0;  // the tick reading the running time was last brought up to
double g_runningMs = 0;   // ms since the start, from tick differences
double g_baseMs = 0;      // accumulated pause time
double g_pausedAtMs = 0;  // running time at the outermost pause in force
int g_pauses = 0;         // pauses in force (a pause request and QVF_Pause may overlap)

// Brings the running time up to now.  The 32-bit difference is right across
// the counter's wrap.
double RunningMs() {
    uint32_t now = host::GetTickCount();
    if (!g_started) {
        g_started = true;
        g_lastTick = now;
    }
    g_runningMs += double(uint32_t(now - g_lastTick));
    g_lastTick = now;
    return g_runningMs;
}

}  // namespace

void QVF_ClockReset() {
    std::lock_guard<std::mutex> lock(g_clockLock);
    g_started = true;
    g_lastTick = host::GetTickCount();
    g_runningMs = g_baseMs = g_pausedAtMs = 0;
    g_pauses = 0;
}

// A pause in force stays in force: the clock then starts stopped at 0 and
// runs from the resume on.
void QVF_ClockStart() {
    std::lock_guard<std::mutex> lock(g_clockLock);
    g_started = true;
    g_lastTick = host::GetTickCount();
    g_runningMs = g_baseMs = g_pausedAtMs = 0;
}

// While paused the clock stands at the time of the pause.
double QVF_ClockNow() {
    std::lock_guard<std::mutex> lock(g_clockLock);
    return (g_pauses > 0 ? g_pausedAtMs : RunningMs()) - g_baseMs;
}

void QVF_ClockPause() {
    std::lock_guard<std::mutex> lock(g_clockLock);
    if (g_pauses++ == 0) g_pausedAtMs = RunningMs();
}

// Only the last of overlapping pauses lets the clock run again; the time
// spent paused joins the base.  A resume without a pause changes nothing.
void QVF_ClockResume() {
    std::lock_guard<std::mutex> lock(g_clockLock);
    if (g_pauses == 0 || --g_pauses > 0) return;
    g_baseMs += RunningMs() - g_pausedAtMs;
}

void CWinTimer::Start() {
    stopped = 0;
    time = int32_t(QVF_ClockNow());
}

void CWinTimer::Elapsed() {
    value = (stopped ? double(time) : QVF_ClockNow() - time) * 1000.0;
}

void CWinTimer::Stop() {
    time = int32_t(QVF_ClockNow()) - time;
    stopped = 1;
}

void CWinTimer::Resume() {
    time = int32_t(QVF_ClockNow()) - time;
    stopped = 0;
}
