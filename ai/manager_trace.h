// The managers' call trace: an operation writes its name with "()" when it
// starts and "End Of " with it when it ends, each behind thirty asterisks,
// through DebugLog while its manager's trace flag is on.
#pragma once

// Writes "******************************<text>" when `on`.
void ManagerTrace(bool on, const char* text);

// The entry line at construction, the exit line at destruction.  The
// manager's switch is asked at each end, so an operation that turns the
// trace on writes its exit line and one that turns it off does not.
// `exitName` replaces the name on the exit line where an operation ends
// under another name.  `runTrace` also names the operation in the run
// trace (the run body's own steps).
class TracedCall {
public:
    // Answers whether the manager's trace switch is on now.
    using Switch = bool (*)();

    TracedCall(Switch on, const char* name, bool runTrace = false, const char* exitName = nullptr)
        : on_(on), exitName_(exitName ? exitName : name) {
        if (runTrace) NameInRunTrace(name);
        if (on_()) WriteLine("", name);
    }
    ~TracedCall() {
        if (on_()) WriteLine("End Of ", exitName_);
    }
    TracedCall(const TracedCall&) = delete;
    TracedCall& operator=(const TracedCall&) = delete;

private:
    static void NameInRunTrace(const char* name);
    // "<prefix><name>()" through ManagerTrace.
    static void WriteLine(const char* prefix, const char* name);

    Switch on_;
    const char* exitName_;
};
