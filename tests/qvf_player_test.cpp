// The video player on the baton scheduler: every stop, pause and
// malformed-stream scenario runs under 200 seeds, each an interleaving of
// its own, and must end with the player's threads gone, no deadlock, and a
// well-formed message log.  The streams are the data kit's family; frames go
// through a codec that paints their decode number, sound through the
// headless sound device on the virtual clock.  Then damaged intro streams
// through the project's own codec: what is shown and heard of them.
#include "host/headless/headless.h"
#include "host/headless/headless_sound.h"
#include "host/headless/scheduler.h"
#include "media/qvf_clock.h"
#include "media/qvf_codec.h"
#include "media/qvf_player.h"
#include "player_support.h"
#include "test_support.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/demo_intro.h"
#include "tools/kit/qvs_writer.h"

#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kSeeds = 200;
constexpr uint32_t kPatienceMs = 120000;  // virtual: a run that has not ended by then has hung

std::vector<std::string> g_deadlocks;
void KeepDeadlock(const std::string& report) {
    g_deadlocks.push_back(report);
}

enum class Action {
    PlayOut,          // to the end, then close
    StopAtOnce,       // stop right after the start
    StopAfterFrames,  // stop once a few frames were shown
    StopInDrain,      // stop once the decoder has reached the end of the stream
    StopAfterEnd,     // stop after the end message
    CloseAtOnce,      // close without a stop, right after the start
    PauseResume,      // suspend and resume part way, then to the end
    PauseThenStop,    // suspend part way, then stop
    RequestResume,    // a pause request taken and released, then to the end
    RequestThenStop,  // a pause request and a stop at once (the request may never be taken)
    PauseAtOnce,      // suspend right after the start (before any sound is played), resume, to the end
    PauseInDrain,     // suspend once the decoder has reached the end of the stream, resume, to the end
    PauseAfterEnd,    // suspend and resume after the end message, then close
};

struct Scenario {
    const char* stream;
    Action action;
    int videoRing = 64;  // elements of the undecoded-frame ring
};

std::string Name(const Scenario& s) {
    static const char* const actions[] = {"PlayOut",      "StopAtOnce",   "StopAfterFrames", "StopInDrain",
                                          "StopAfterEnd", "CloseAtOnce",  "PauseResume",     "PauseThenStop",
                                          "RequestResume", "RequestThenStop", "PauseAtOnce",
                                          "PauseInDrain",  "PauseAfterEnd"};
    std::string n = std::string(s.stream) + "_" + actions[int(s.action)] + (s.videoRing != 64 ? "_SmallRing" : "");
    for (char& c : n)
        if (c == '-') c = '_';
    return n;
}

void PrintTo(const Scenario& s, std::ostream* out) {
    *out << Name(s);
}

const std::map<std::string, std::vector<uint8_t>>& Family() {
    static const std::map<std::string, std::vector<uint8_t>> family = [] {
        std::map<std::string, std::vector<uint8_t>> m;
        for (const kit::QvsFixture& f : kit::QvsFixtureFamily()) m[f.name] = f.bytes;
        return m;
    }();
    return family;
}

// One QVF_Pause and its QVF_Resume on the virtual clock: the pause is in
// force from within the first call to within the second, so from `from`
// (the return of QVF_Pause) to `to` (the call of QVF_Resume) at least, and
// from `begun` (its call) to `ended` (the return of QVF_Resume) at most.
struct PauseSpan {
    uint64_t begun = 0, from = 0, to = 0, ended = 0;
    size_t framesAtFrom = 0, framesAtTo = 0;
};

// Every stream of the family whose frames are checked plays at 15 frames a
// second: good-mono derives it from its first sound chunk (32 frames' worth
// of codes, 23520 bytes: 22050 x 2 / (735 x 4)); good-stereo's chunk gives
// a rate above the paced range and video-first's presentation starts
// before any sound has come, so both take the fallback of 15; the silent
// ones keep the 15 the open sets.
constexpr double kFrameMs = 1000.0 / 15.0;

// Streams the decoder gives up on: their end message may come while frames
// are still shown.
bool Aborts(const std::string& stream) {
    return stream == "bad-tag" || stream == "huge-chunk-size" || stream == "chunk-size-under-header" ||
           stream == "first-sound-chunk-under-32";
}

class PlayerScenarioTest : public test::HeadlessTest, public ::testing::WithParamInterface<Scenario> {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        test::RegisterPaintingCodec();
        g_deadlocks.clear();
        host::headless::SetDeadlockHandler(KeepDeadlock);
    }

    // One run under a seed; a failure is described, "" when all held.
    std::string RunOnce(const Scenario& sc, uint64_t seed) {
        host::headless::SetSchedulerSeed(seed);
        test::ClientLog log;
        log.ended = host::CreateEvent(false, "test ended");
        log.frameEvent = host::CreateEvent(false, "test frames");
        log.frameTarget = 1 + seed % 5;
        host::HWND window = test::MakeClientWindow(&log);
        host::DDraw* dd = host::DDCreate(0);
        host::SurfaceDesc pd{};
        pd.caps = host::DDSCAPS_PRIMARYSURFACE;
        host::Surface* primary = nullptr;
        host::DDCreateSurface(dd, pd, &primary);
        std::string failure = Play(sc, seed, window, dd, primary, &log);
        if (failure.empty() && host::LiveThreadCount() != 0) failure = "threads left after the close";
        if (failure.empty() && !g_deadlocks.empty()) failure = "deadlock: " + g_deadlocks[0];
        host::SurfaceRelease(primary);
        host::DDRelease(dd);
        test::DestroyClientWindow(window);
        host::CloseEvent(log.ended);
        host::CloseEvent(log.frameEvent);
        return failure;
    }

    std::string Play(const Scenario& sc, uint64_t seed, host::HWND window, host::DDraw* dd, host::Surface* primary,
                     test::ClientLog* log) {
        QVFPlayer* p = QVF_CreatePlayer();
        QVFSettings s;
        QVF_GetDefaultSettings(&s);
        s.fullScreen = 0;
        s.dropLateFrames = 0;
        s.videoRingElements = sc.videoRing;
        int w = 0, h = 0;
        int opened = QVF_OpenFile(p, "movie.qvs", &s, &w, &h);
        std::string stream = sc.stream;
        if (opened != 0) {
            QVF_DeletePlayer(p);
            bool refused = stream == "word-28-zero" || stream == "bad-magic" || stream == "short-header";
            return refused ? "" : "open refused with " + std::to_string(opened);
        }
        QVF_SetSettings(p, &s);
        QVFStartBlock start = test::ClientStart(window, dd, primary, nullptr);
        int played = QVF_PlayFile(p, "movie.qvs", &start);
        if (played != 0) {
            QVF_Close(p);
            QVF_DeletePlayer(p);
            if (stream == "good-version-5" && played == -4) return "";
            return "play refused with " + std::to_string(played);
        }
        pauses_.clear();
        std::string failure = Drive(sc, seed, p, log);
        QVF_Close(p);
        QVF_DeletePlayer(p);
        if (!failure.empty()) return failure;
        std::string problem = test::CheckLog(log->Codes(), Aborts(stream) && sc.action != Action::StopAtOnce);
        if (!problem.empty()) return "message log " + problem;
        if (!(problem = CheckPauses()).empty()) return problem;
        if (!(problem = CheckFrameTimes(sc, *log)).empty()) return problem;
        return CheckFrames(sc, *log);
    }

    // QVF_Pause, a wait of `ms` on the virtual clock, then QVF_Resume
    // unless `stop`, in which case QVF_Stop.
    void PauseFor(QVFPlayer* p, test::ClientLog* log, uint32_t ms, bool stop = false) {
        PauseSpan span;
        span.begun = host::headless::ClockMicroseconds();
        QVF_Pause(p);
        span.from = host::headless::ClockMicroseconds();
        span.framesAtFrom = log->FramesShown();
        host::Sleep(ms);
        span.to = host::headless::ClockMicroseconds();
        span.framesAtTo = log->FramesShown();
        if (stop) QVF_Stop(p);
        else QVF_Resume(p);
        span.ended = host::headless::ClockMicroseconds();
        pauses_.push_back(span);
    }

    // No frame reaches the client while a pause is in force.
    std::string CheckPauses() const {
        for (const PauseSpan& s : pauses_)
            if (s.framesAtTo != s.framesAtFrom)
                return std::to_string(s.framesAtTo - s.framesAtFrom) + " frames shown during a pause";
        return "";
    }

    // Frame i is shown i frame times after frame 0 on the player's clock,
    // which stands still while paused: on the virtual clock that is i x
    // 66.67 ms plus the pauses in between.  The player reads its clock in
    // whole ticks (at the start, at each end of a pause, at the due time):
    // up to a millisecond early for the start, up to four late in all.
    std::string CheckFrameTimes(const Scenario& sc, const test::ClientLog& log) const {
        std::string stream = sc.stream;
        bool timed = stream == "good-mono" || stream == "good-stereo" || stream == "good-no-sound" ||
                     stream == "video-first" || stream == "good-512-wide";
        if (!timed || sc.action == Action::RequestResume || sc.action == Action::RequestThenStop) return "";
        const std::vector<uint64_t>& t = log.times;
        for (size_t i = 1; i < t.size(); ++i) {
            double least = 0, most = 0;  // the pauses between frame 0 and frame i
            for (const PauseSpan& s : pauses_) {
                if (t[0] <= s.from && s.to <= t[i]) {
                    least += double(s.to - s.from) / 1000.0;
                    most += double(s.ended - s.begun) / 1000.0;
                }
            }
            double at = double(t[i] - t[0]) / 1000.0, due = double(i) * kFrameMs;
            if (at - least < due - 1.0 || at - most > due + 4.0)
                return "frame " + std::to_string(i) + " shown at " + std::to_string(at) + " ms, due at " +
                       std::to_string(due) + " ms with " + std::to_string(least) + " to " + std::to_string(most) +
                       " ms paused";
        }
        return "";
    }

    // The action, and the waits for the end it leads to.
    std::string Drive(const Scenario& sc, uint64_t seed, QVFPlayer* p, test::ClientLog* log) {
        auto awaitEnd = [&]() -> std::string {
            return host::WaitForSingleObject(log->ended, kPatienceMs) == host::WAIT_OBJECT_0 ? "" : "no end message";
        };
        auto awaitFrames = [&]() {
            // Streams that show fewer frames end first: either will do.
            host::Event* list[2] = {log->frameEvent, log->ended};
            return host::WaitForMultipleObjects(2, list, false, kPatienceMs) != host::WAIT_TIMEOUT;
        };
        host::Sleep(uint32_t(seed % 3));
        switch (sc.action) {
        case Action::PlayOut: return awaitEnd();
        case Action::StopAtOnce: QVF_Stop(p); return "";
        case Action::CloseAtOnce: return "";
        case Action::StopAfterFrames:
            if (!awaitFrames()) return "no frames";
            QVF_Stop(p);
            return "";
        case Action::StopInDrain:
        case Action::PauseInDrain:
            for (uint32_t t = 0; p->stateCode.load() == kQVFRunning && !p->decoderEnded; ++t) {
                if (t > kPatienceMs) return "never drained";
                host::Sleep(1);
            }
            if (sc.action == Action::StopInDrain) {
                QVF_Stop(p);
                return "";
            }
            PauseFor(p, log, 200);
            return awaitEnd();
        case Action::PauseAtOnce:
            PauseFor(p, log, 200);
            return awaitEnd();
        case Action::PauseAfterEnd: {
            std::string e = awaitEnd();
            PauseFor(p, log, 50);
            return e;
        }
        case Action::StopAfterEnd: {
            std::string e = awaitEnd();
            QVF_Stop(p);
            return e;
        }
        case Action::PauseResume:
        case Action::PauseThenStop:
            if (!awaitFrames()) return "no frames";
            PauseFor(p, log, 200, sc.action == Action::PauseThenStop);
            if (sc.action == Action::PauseThenStop) return "";
            return awaitEnd();
        case Action::RequestResume:
            if (!awaitFrames()) return "no frames";
            QVF_SetPauseFlag(p, 1);
            host::Sleep(150);
            QVF_SetPauseFlag(p, 0);
            if (QVF_GetPauseFlag(p)) return "the request stayed";
            return awaitEnd();
        case Action::RequestThenStop:
            QVF_SetPauseFlag(p, 1);
            QVF_Stop(p);
            return "";
        }
        return "";
    }

    // The frames shown: decoded in order, each from the one before.
    std::string CheckFrames(const Scenario& sc, test::ClientLog& log) {
        std::lock_guard<std::mutex> l(log.lock);
        for (size_t i = 0; i < log.frames.size(); ++i) {
            if (log.frames[i] != int(i)) return "frame " + std::to_string(i) + " was decode " + std::to_string(log.frames[i]);
            if (log.previous[i] != int(i) - 1) return "frame " + std::to_string(i) + " not decoded from the one before";
        }
        std::string stream = sc.stream;
        bool whole = sc.action == Action::PlayOut || sc.action == Action::StopAfterEnd ||
                     sc.action == Action::PauseResume || sc.action == Action::RequestResume ||
                     sc.action == Action::PauseAtOnce || sc.action == Action::PauseInDrain ||
                     sc.action == Action::PauseAfterEnd;
        if (!whole || Aborts(stream)) return "";
        static const std::map<std::string, size_t> expected = {
            {"good-mono", 48},  {"good-stereo", 20}, {"good-no-sound", 24}, {"good-512-wide", 24},
            {"video-first", 24}, {"fewer-frames-than-header", 24}, {"more-frames-than-header", 10},
            {"rate-bits-0", 24}, {"good-odd-payloads", 8}, {"good-trailing-bytes", 8},
            {"total-before-file-end", 1}, {"header-across-total", 7}};
        auto it = expected.find(stream);
        if (it != expected.end() && log.frames.size() != it->second)
            return std::to_string(log.frames.size()) + " frames shown of " + std::to_string(it->second);
        return "";
    }

    std::vector<PauseSpan> pauses_;
};

TEST_P(PlayerScenarioTest, EndsUnderEverySeed) {
    const Scenario& sc = GetParam();
    const std::vector<uint8_t>& bytes = Family().at(sc.stream);
    WriteFile("movie.qvs", std::string(bytes.begin(), bytes.end()));
    int failures = 0;
    for (uint64_t seed = 1; seed <= kSeeds && failures < 3; ++seed) {
        std::string failure = RunOnce(sc, seed);
        if (!failure.empty()) {
            ADD_FAILURE() << "seed " << seed << ": " << failure;
            ++failures;
        }
    }
}

const Scenario kScenarios[] = {
    {"good-mono", Action::PlayOut},
    {"good-mono", Action::StopAtOnce},
    {"good-mono", Action::StopAfterFrames},
    {"good-mono", Action::StopInDrain},
    {"good-mono", Action::StopAfterEnd},
    {"good-mono", Action::CloseAtOnce},
    {"good-mono", Action::PauseResume},
    {"good-mono", Action::PauseThenStop},
    {"good-mono", Action::RequestResume},
    {"good-mono", Action::RequestThenStop},
    {"good-mono", Action::PauseAtOnce},
    {"good-mono", Action::PauseInDrain},
    {"good-mono", Action::PauseAfterEnd},
    {"good-stereo", Action::PlayOut},
    {"good-no-sound", Action::PlayOut},
    {"good-no-sound", Action::PauseThenStop},
    {"good-no-sound", Action::RequestResume},
    {"good-512-wide", Action::PlayOut},
    {"good-odd-payloads", Action::PlayOut},
    {"good-trailing-bytes", Action::PlayOut},
    {"video-first", Action::PlayOut, 4},
    {"video-first", Action::StopAtOnce, 4},
    {"video-first", Action::PauseAtOnce, 4},
    {"video-first", Action::PauseResume, 4},
    {"video-first", Action::PauseThenStop, 4},
    {"good-stereo", Action::PauseAtOnce},
    {"video-first", Action::StopAfterFrames, 4},
    {"fewer-frames-than-header", Action::PlayOut},
    {"more-frames-than-header", Action::PlayOut, 4},
    {"bad-tag", Action::PlayOut},
    {"huge-chunk-size", Action::PlayOut},
    {"header-across-total", Action::PlayOut},
    {"chunk-size-under-header", Action::PlayOut},
    {"truncated", Action::PlayOut},
    {"total-before-file-end", Action::PlayOut},
    {"first-sound-chunk-under-32", Action::PlayOut},
    {"rate-bits-0", Action::PlayOut},
    {"good-version-5", Action::PlayOut},
    {"word-28-zero", Action::PlayOut},
};

INSTANTIATE_TEST_SUITE_P(Scenarios, PlayerScenarioTest, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) { return Name(info.param); });

// --- damaged streams through the project's codec --------------------------------------

class DamagedStreamTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        QVF_RegisterBuiltinCodecs();
        g_deadlocks.clear();
        host::headless::SetDeadlockHandler(KeepDeadlock);
        host::headless::SetSchedulerSeed(11);
    }
    // Plays the file to its end message on a client that keeps each picture.
    void PlayOut(test::ClientLog* log) {
        log->ended = host::CreateEvent(false, "test ended");
        log->keepPictures = true;
        host::HWND window = test::MakeClientWindow(log);
        host::DDraw* dd = host::DDCreate(0);
        host::SurfaceDesc pd{};
        pd.caps = host::DDSCAPS_PRIMARYSURFACE;
        host::Surface* primary = nullptr;
        host::DDCreateSurface(dd, pd, &primary);
        QVFPlayer* p = QVF_CreatePlayer();
        QVFSettings s;
        QVF_GetDefaultSettings(&s);
        s.fullScreen = 0;
        s.dropLateFrames = 0;
        EXPECT_EQ(QVF_OpenFile(p, "movie.qvs", &s, nullptr, nullptr), 0);
        QVF_SetSettings(p, &s);
        QVFStartBlock start = test::ClientStart(window, dd, primary, nullptr);
        EXPECT_EQ(QVF_PlayFile(p, "movie.qvs", &start), 0);
        EXPECT_EQ(host::WaitForSingleObject(log->ended, kPatienceMs), host::WAIT_OBJECT_0);
        QVF_Close(p);
        QVF_DeletePlayer(p);
        host::SurfaceRelease(primary);
        host::DDRelease(dd);
        test::DestroyClientWindow(window);
        host::CloseEvent(log->ended);
    }
};

TEST_F(DamagedStreamTest, OnlyWhatCameWholeBeforeTheDamageIsShownAndHeard) {
    const kit::IntroOptions options{512, 64, 12, 1};
    for (const kit::DamagedIntro& d : kit::DamagedIntroStreams(options, 5)) {
        SCOPED_TRACE(d.name);
        WriteFile("movie.qvs", std::string(d.bytes.begin(), d.bytes.end()));
        host::headless::ClearCapturedAudio();
        test::ClientLog log;
        PlayOut(&log);
        EXPECT_EQ(test::CheckLog(log.Codes(), false), "");
        // Every frame shown is the encoder's input, and none past the damage.
        EXPECT_EQ(log.pictures.size(), size_t(d.wholeFrames));
        for (size_t i = 0; i < log.pictures.size(); ++i)
            EXPECT_TRUE(log.pictures[i] == kit::IntroFrame(d.options, int(i))) << "frame " << i;
        // The sound of the whole chunks, and silence around it.
        const std::vector<int16_t>& capture = host::headless::CapturedAudio();
        size_t start = 0, length = 0;
        if (d.wholeSoundChunks) {
            // The kit's first sound chunk holds 32 frames of sound (1470
            // samples a frame at 22050 Hz and 15 frames a second), and the
            // decoder's state runs on from sample to sample: that chunk
            // whole plays this much of the track's decode.
            std::vector<int16_t> heard = test::DecodedIntroSound(d.options);
            heard.resize(32 * 1470);
            long at = test::FindSound(capture, heard);
            EXPECT_GE(at, 0);
            start = at < 0 ? 0 : size_t(at) * 2;
            length = at < 0 ? 0 : heard.size() * 2;
        }
        size_t noise = 0;
        for (size_t i = 0; i < capture.size(); ++i) noise += (i < start || i >= start + length) && capture[i] != 0;
        EXPECT_EQ(noise, 0u);
        EXPECT_TRUE(g_deadlocks.empty());
    }
}

}  // namespace
