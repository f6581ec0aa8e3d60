// Fuzz target: a video stream file played as the intro movie plays it.
//
// The file goes through QVF_PlayFile on a client window with the game's
// kind of display objects, so the player opens and checks it, loads the
// project's codec, prepares its sound and makes its rings as it always
// does.  Its threads start through the player's thread hooks; this target
// takes the part of the decoder, presentation and audio threads itself: it
// steps the decoder's own states, which walk the stream into the player's
// rings (the video ring, the sound chunk buffer, the decoded-sound ring),
// decodes each queued frame into the frame surfaces as the presentation
// does, and takes the decoded sound out of its ring as the audio thread
// does.  Draining the rings after every step keeps the decoder's waits from
// blocking and the run quick, with no frame pacing.  What a ring is handed
// is checked against what the stream delivered for it: a frame never holds
// more than the bytes read for it, decoded sound never more than four bytes
// per byte of codes read.
#include "fuzz_support.h"
#include "host/display.h"
#include "host/thread.h"
#include "media/qvf_codec.h"
#include "media/qvf_player.h"

#include <cstdlib>
#include <vector>

namespace {

constexpr uint32_t kClientMessage = 0x8000;
// Frames decoded through the codec in one run; the ring hands on the rest
// undecoded (the codec has a target of its own).
constexpr int kDecodedFrames = 8;
constexpr int kRows = 48;

// --- a sound device in memory ----------------------------------------------------

struct MemoryBuffer {
    std::vector<uint8_t> bytes;
};
int g_device;

const QVFSoundDriver kMemoryDriver = {
    .createDevice = [](void** device) {
        *device = &g_device;
        return 0;
    },
    .releaseDevice = [](void*) { return 0; },
    .getCaps = [](void*) { return 0; },
    .setCooperativeLevel = [](void*, host::HWND, uint32_t) { return 0; },
    .createBuffer = [](void*, uint32_t, uint32_t bytes, const QVFWaveFormat*, void** buffer) {
        *buffer = new MemoryBuffer{std::vector<uint8_t>(bytes)};
        return 0;
    },
    .setNotifications = [](void*, uint32_t, const QVFSoundNotify*) { return 0; },
    .play = [](void*, uint32_t) { return 0; },
    .stop = [](void*) { return 0; },
    .lock = [](void* buffer, uint32_t offset, uint32_t bytes, void** first, uint32_t* firstBytes, void** second,
               uint32_t* secondBytes) {
        auto* b = static_cast<MemoryBuffer*>(buffer);
        if (uint64_t(offset) + bytes > b->bytes.size()) return -1;
        *first = b->bytes.data() + offset;
        *firstBytes = bytes;
        *second = nullptr;
        *secondBytes = 0;
        return 0;
    },
    .unlock = [](void*, void*, uint32_t, void*, uint32_t) { return 0; },
    .getPosition = [](void*, uint32_t* play, uint32_t* write) {
        *play = *write = 0;
        return 0;
    },
    .releaseBuffer = [](void* buffer) {
        delete static_cast<MemoryBuffer*>(buffer);
        return 0;
    },
};

// --- the threads this target stands in for ----------------------------------------

QVFCreateThreadFn g_createThread = nullptr;

void StandIn(void*) {}

host::Thread* CreatePlayerThread(QVFThreadRoutine routine, size_t stackSize, void* argument) {
    bool takenHere = routine == QVF_DecoderThread || routine == QVF_PresentationThread || routine == QVF_AudioThread;
    return g_createThread(takenHere ? StandIn : routine, stackSize, argument);
}

// Their ends, as the player waits for them.
void EndStandIns(QVFPlayer* p) {
    p->audioDone = 1;
    p->presentationDone = 1;
    p->decoderEnded = 1;
    host::SetEvent(p->doneEvent);
}

// --- the game's side ----------------------------------------------------------------

struct Display {
    host::HWND window;
    host::DDraw* dd;
    host::Surface* primary;
    host::Surface* back;
};

intptr_t ClientProc(host::HWND window, uint32_t message, uintptr_t code, intptr_t lParam) {
    return message == kClientMessage ? 0 : host::DefWindowProc(window, message, code, lParam);
}

const Display& GameDisplay() {
    static const Display d = [] {
        host::Start(host::BackendKind::Headless, "qvs_fuzz");
        host::SetThreadModel(host::ThreadModel::Real);
        QVF_RegisterBuiltinCodecs();
        g_QVFSoundDriver = &kMemoryDriver;
        QVFCreateThreadFn create = CreatePlayerThread;
        QVF_SetThreadHooks(&create, nullptr, nullptr);
        g_createThread = create;
        host::WindowClass wc{};
        wc.proc = ClientProc;
        wc.className = "qvs fuzz client";
        host::RegisterClass(wc);
        // The game's full-screen pages, which the player leaves to its
        // client to clear; a small mode keeps them cheap.
        Display out{};
        out.window = host::CreateWindowEx(0, "qvs fuzz client", "client", 0, 0, 0, 320, 200, nullptr);
        out.dd = host::DDCreate(0);
        host::DDSetCooperativeLevel(out.dd, out.window, host::DDSCL_EXCLUSIVE | host::DDSCL_FULLSCREEN);
        host::DDSetDisplayMode(out.dd, 320, 200, 16);
        host::SurfaceDesc pd{};
        pd.caps = host::DDSCAPS_PRIMARYSURFACE | host::DDSCAPS_FLIP | host::DDSCAPS_COMPLEX;
        pd.backBufferCount = 1;
        host::DDCreateSurface(out.dd, pd, &out.primary);
        host::SurfaceGetAttachedBackBuffer(out.primary, &out.back);
        return out;
    }();
    return d;
}

// --- the run ---------------------------------------------------------------------------

bool Ready(const BufRing& ring) {
    return ring.count && host::EventIsSet(ring.elements[ring.readIndex.load()].readyWait[1]);
}

// The presentation's part: each queued frame decoded (the first few through
// the codec) and the frame ring moved on; the audio thread's part: the
// decoded sound taken out.
void Drain(QVFPlayer* p, int* decoded, std::vector<uint8_t>* sound) {
    while (Ready(p->videoRing)) {
        if (*decoded < kDecodedFrames) {
            QVF_DecodeQueuedFrame(p);
            p->frames.Advance();
        } else {
            p->videoRing.ReleaseRead();
        }
        ++*decoded;
    }
    while (Ready(p->audioRing)) {
        uint32_t n = p->audioRing.ReadRemaining();
        sound->resize(n);
        p->audioRing.CopyOut(n, sound->data());
        p->audioRing.ReleaseRead();
    }
}

// The element a ring's last step committed, if it committed one.
const BUFSTATE* Committed(const BufRing& ring, uint32_t writeBefore) {
    return ring.count && ring.writeIndex.load() != writeBefore ? &ring.elements[writeBefore] : nullptr;
}

void Walk(QVFPlayer* p, size_t size) {
    int decoded = 0;
    std::vector<uint8_t> sound;
    // Every two steps read at least one chunk header from the file.
    for (size_t step = 0; step < 2 * size + 16; ++step) {
        // The end state waits for the consumers this target plays.
        if (p->nextState == QVF_StateEnd) break;
        uint32_t video = p->videoRing.writeIndex.load(), audio = p->audioRing.writeIndex.load();
        int64_t before = p->stream.reader.consumerPosition;
        bool going = QVF_DecoderStep(p);
        uint64_t delivered = uint64_t(p->stream.reader.consumerPosition - before);
        if (const BUFSTATE* e = Committed(p->videoRing, video); e && e->count.load() > delivered) std::abort();
        if (const BUFSTATE* e = Committed(p->audioRing, audio); e && e->count.load() > 4 * delivered) std::abort();
        Drain(p, &decoded, &sound);
        if (!going) break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    const Display& display = GameDisplay();
    // Frames of at most 48 rows: a picture's height only scales the work of
    // the frame surfaces and the codec (which has a target of its own), and
    // full-height surfaces made afresh for every input would cost most of
    // the run.  Heights the player refuses stay refused.
    std::vector<uint8_t> input(data, data + size);
    if (size >= 12) {
        int height = int16_t(input[10] | input[11] << 8);
        if (height > kRows && height <= 480) input[10] = kRows, input[11] = 0;
    }
    fuzz::WriteInput("input.qvs", input.data(), input.size());
    QVFPlayer* p = QVF_CreatePlayer();
    QVFSettings s;
    QVF_GetDefaultSettings(&s);
    // A reader ring that holds any input whole: the reader thread reads
    // ahead to the end without waiting for this one.
    s.readerEntries = 64;
    s.readerEntryKB = 1;
    s.fullScreen = 1;
    s.audioRingElements = s.videoRingElements = 4;
    QVF_SetSettings(p, &s);
    {
        static int instance;
        QVFStartBlock start{};
        start.instance = &instance;
        start.windowLongIndex = host::GWL_USERDATA;
        start.clientWindow = display.window;
        start.messageId = int32_t(kClientMessage);
        start.directDraw = display.dd;
        start.primary = display.primary;
        start.back = display.back;
        if (QVF_PlayFile(p, "input.qvs", &start) == 0) {
            Walk(p, size);
            EndStandIns(p);
        }
    }
    QVF_Close(p);
    QVF_DeletePlayer(p);
    return 0;
}
