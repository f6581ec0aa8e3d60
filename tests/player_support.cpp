#include "player_support.h"

#include "host/headless/headless.h"
#include "media/apc.h"
#include "tools/kit/apc_writer.h"

#include <atomic>
#include <cstring>

namespace test {

namespace {

constexpr const char* kClientClass = "player test client";
ClientLog* g_log = nullptr;

// The painting codec: each decode writes its number into pixel 0 and the
// number found in the previous frame's pixel 0 into pixel 1.
std::atomic<int> g_decodes{0};
int g_width = 0, g_height = 0;

uintptr_t PaintInit(int depth, int height, int width, const uint8_t* header) {
    if ((depth != 15 && depth != 16) || !header) return 0;
    g_width = width;
    g_height = height;
    g_decodes = 0;
    return 1;
}

void PaintDecode2(const uint8_t*, uint32_t, const uint16_t* previous, uint16_t* current, int pitch) {
    int n = g_decodes++;
    current[0] = uint16_t(n + 1);
    current[1] = previous[0];
    (void)pitch;
}

void PaintDecode(const uint8_t* payload, const uint16_t* previous, uint16_t* current) {
    PaintDecode2(payload, 0, previous, current, g_width * 2);
}

void PaintCleanup() {}

intptr_t ClientProc(host::HWND window, uint32_t message, uintptr_t code, intptr_t lParam) {
    if (message != uint32_t(kClientMessage) || !g_log) return host::DefWindowProc(window, message, code, lParam);
    const auto* m = reinterpret_cast<const QVFMessage*>(lParam);
    int frame = -1, previous = -1;
    std::vector<uint16_t> picture;
    if (code == kQVFFrame && m && m->frame) {
        uint8_t* pixels = nullptr;
        int pitch = 0, width = 0, height = 0;
        host::SurfaceGetSize(m->frame, &width, &height, nullptr);
        if (host::SurfaceLock(m->frame, host::DDLOCK_WAIT, &pixels, &pitch) == host::DD_OK) {
            uint16_t p[2];
            std::memcpy(p, pixels, sizeof p);
            frame = int(p[0]) - 1;
            previous = int(p[1]) - 1;
            if (g_log->keepPictures) {
                picture.resize(size_t(width) * size_t(height));
                for (int y = 0; y < height; ++y)
                    std::memcpy(picture.data() + size_t(y) * size_t(width), pixels + size_t(y) * size_t(pitch),
                                size_t(width) * 2);
            }
            host::SurfaceUnlock(m->frame);
        }
    }
    bool hitTarget = false;
    {
        std::lock_guard<std::mutex> l(g_log->lock);
        g_log->codes.push_back(uint32_t(code));
        if (code == kQVFFrame) {
            g_log->frames.push_back(frame);
            g_log->previous.push_back(previous);
            if (g_log->keepPictures) g_log->pictures.push_back(std::move(picture));
            if (host::CurrentBackend() == host::BackendKind::Headless) {
                g_log->times.push_back(host::headless::ClockMicroseconds());
                if (int(g_log->frames.size()) - 1 == g_log->jumpAt) host::headless::AdvanceClock(g_log->jumpUs);
            }
            hitTarget = g_log->frameTarget && g_log->frames.size() == g_log->frameTarget;
        }
    }
    if (hitTarget && g_log->frameEvent) host::SetEvent(g_log->frameEvent);
    if (code == kQVFEnded && g_log->ended) host::SetEvent(g_log->ended);
    return 0;
}

}  // namespace

host::HWND MakeClientWindow(ClientLog* log) {
    g_log = log;
    host::WindowClass wc{};
    wc.proc = ClientProc;
    wc.className = kClientClass;
    host::RegisterClass(wc);
    return host::CreateWindowEx(0, kClientClass, "client", 0, 0, 0, 640, 480, nullptr);
}

void DestroyClientWindow(host::HWND window) {
    if (window) host::DestroyWindow(window);
    host::UnregisterClass(kClientClass);
    g_log = nullptr;
}

void RegisterPaintingCodec() {
    const host::ModuleSymbol symbols[] = {
        {"QVFPI_Init", reinterpret_cast<void*>(&PaintInit)},
        {"QVFPI_DecodeFrame", reinterpret_cast<void*>(&PaintDecode)},
        {"QVFPI_DecodeFrame2", reinterpret_cast<void*>(&PaintDecode2)},
        {"QVFPI_Cleanup", reinterpret_cast<void*>(&PaintCleanup)},
    };
    host::RegisterBuiltinModule("WQ6_640x16.DLL", symbols, 4);
    host::RegisterBuiltinModule("WQ6_512x16.DLL", symbols, 4);
}

int PaintingCodecDecodes() {
    return g_decodes.load();
}

QVFStartBlock ClientStart(host::HWND window, host::DDraw* dd, host::Surface* primary, host::Surface* back) {
    static int instance;
    QVFStartBlock s{};
    s.instance = &instance;
    s.windowLongIndex = host::GWL_USERDATA;
    s.clientWindow = window;
    s.messageId = kClientMessage;
    s.directDraw = dd;
    s.primary = primary;
    s.back = back;
    return s;
}

std::vector<int16_t> DecodedIntroSound(const kit::IntroOptions& options) {
    std::vector<uint8_t> image = kit::EncodeApc(kit::IntroSound(options), kit::kDemoIntroRate, options.channels == 2);
    int32_t bytes = 0, rate = 0, stereo = 0;
    Adpcm_Init(kAdpcmLibraryVersion);
    Adpcm_GetInfo(image.data(), &bytes, &rate, &stereo);
    std::vector<int16_t> pcm(size_t(bytes / 2));
    Adpcm_DecodeBuffer(image.data(), pcm.data());
    return pcm;
}

long FindSound(const std::vector<int16_t>& capture, const std::vector<int16_t>& pcm) {
    size_t frames = capture.size() / 2;
    for (size_t s = 0; s + pcm.size() <= frames; ++s) {
        size_t i = 0;
        while (i < pcm.size() && capture[(s + i) * 2] == pcm[i] && capture[(s + i) * 2 + 1] == pcm[i]) ++i;
        if (i == pcm.size()) return long(s);
    }
    return -1;
}

std::string CheckLog(const std::vector<uint32_t>& codes, bool aborted) {
    if (codes.size() < 3 || codes[0] != kQVFClear || codes[1] != kQVFShowPage) return "does not start with 1, 0";
    size_t ends = 0, at = 0;
    for (size_t i = 2; i < codes.size(); ++i) {
        if (codes[i] == kQVFEnded) {
            ++ends;
            at = i;
        } else if (codes[i] != kQVFFrame) {
            return "a code other than 2 after the start";
        }
    }
    if (ends != 1) return "not exactly one 3";
    if (!aborted && at != codes.size() - 1) return "frames after the 3";
    return "";
}

}  // namespace test
