// The video player's clock: milliseconds since the player started, less
// the time spent paused, so that frame due times stay valid across a
// pause.  It is kept as a double from the differences of successive 32-bit
// tick readings, so neither the tick counter's wrap (every 49.7 days) nor a
// long uptime disturbs it.  Beside it, two small timer classes the player
// library offers: CTimer (operations that do nothing) and CWinTimer (the
// same operations on the clock).
#pragma once

#include <cstdint>

// A player starts playing: the clock counts from 0 again, with no pause in
// force.
void QVF_ClockReset();
// The clock counts from 0 again; a pause in force is kept (the clock then
// stands at 0 until the resume).
void QVF_ClockStart();
double QVF_ClockNow();
// Pauses nest: the clock runs again at the resume that matches the first.
void QVF_ClockPause();
void QVF_ClockResume();

class CTimer {
public:
    double value = 0;  // microseconds, after Elapsed
    CTimer() = default;
    virtual ~CTimer() = default;
    virtual void Start() {}
    virtual void Elapsed() {}
    virtual void Stop() {}
    virtual void Resume() {}
};

class CWinTimer : public CTimer {
public:
    int32_t time = 0;     // ms: the start time while running, the interval while stopped
    int32_t stopped = 0;
    void Start() override;
    void Elapsed() override;
    void Stop() override;
    void Resume() override;
};
