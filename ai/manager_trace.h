// The managers' call trace: an operation writes its name with "()" when it
// starts and "End Of " with it when it ends, each behind thirty asterisks,
// through DebugLog while its manager's trace flag is on.
#pragma once

// Writes "******************************<text>" when `on`.
void ManagerTrace(bool on, const char* text);

// The entry line at construction, the exit line at destruction; `on` is
// read once, at entry.  `exitName` replaces the name on the exit line where
// an operation ends under another name.  `runTrace` also names the
// operation in the run trace (the run body's own steps).
class TracedCall {
public:
    TracedCall(bool on, const char* name, bool runTrace = false, const char* exitName = nullptr);
    ~TracedCall();
    TracedCall(const TracedCall&) = delete;
    TracedCall& operator=(const TracedCall&) = delete;

private:
    bool on_;
    const char* exitName_;
};
