// The intro movie on the game's display.
#include "media/movie.h"

#include "platform/errors.h"

#include <cstring>
#include <new>

std::atomic<int32_t> g_MovieEnded{0};

namespace {

// The game's screen: what the clear covers and where frames are centred.
constexpr int kScreenWidth = 640, kScreenHeight = 480;

void Fill(host::Surface* s) {
    host::Rect r{0, 0, kScreenWidth, kScreenHeight};
    host::SurfaceBlt(s, &r, nullptr, nullptr, host::DDBLT_COLORFILL | host::DDBLT_WAIT, 0);
}

// Code 2: the frame onto the game's surfaces.
void ShowFrame(host::HWND window, const QVFMessage* m) {
    if (!m->primary || !m->frame) return;
    auto* player = reinterpret_cast<QVFPlayer*>(host::GetWindowLongPtr(window, host::GWL_USERDATA));
    int w = 0, h = 0;
    host::SurfaceGetSize(m->frame, &w, &h, nullptr);
    if (!m->back) {
        // In a window: straight onto the front surface at the client area.
        host::Rect at{0, 0, 0, 0};
        if (player) QVF_GetFrameRect(player, &at);
        DDM_BlitClipped(m->primary, at.left, at.top, m->frame, {0, 0, w, h});
        return;
    }
    host::Rect screen{0, 0, w, h};
    if (player) QVF_GetScreenRect(player, &screen);
    DDM_BlitClipped(m->back, (kScreenWidth - screen.right) >> 1, 0, m->frame, screen);
    host::SurfaceFlip(m->primary, host::DDFLIP_WAIT);
}

}  // namespace

int MOVIE_Open(const char* name, MovieParams* params) {
    if (!name || !params) return -7;
    auto* record = new (std::nothrow) MovieRecord{};
    if (!record) return -5;
    params->callback = MOVIE_Callback;
    if (std::strlen(name) >= sizeof record->fileName) {
        delete record;
        return -7;
    }
    std::strcpy(record->fileName, name);
    QVFStartBlock& start = record->start;
    start.instance = params->instance;
    start.windowLongIndex = host::GWL_USERDATA;
    start.clientWindow = params->window;
    start.directDraw = params->directDraw;
    start.directDraw2 = host::DDQueryInterface4(params->directDraw);
    if (!start.directDraw2) {
        delete record;
        return -1;
    }
    start.directSound = params->directSound;
    QVF_GetDefaultSettings(&record->settings);
    record->player = QVF_CreatePlayer();
    int r = record->player ? QVF_OpenFile(record->player, record->fileName, &record->settings, &params->width,
                                          &params->height)
                           : -5;
    if (r != 0) {
        QVF_DeletePlayer(record->player);
        host::DDRelease4(start.directDraw2);
        delete record;
        return r;
    }
    // The game's choices come after what the stream said of itself, so
    // that a stream with sound stays silent when the game's sound is off.
    QVFSettings& s = record->settings;
    if (!params->directSound) s.soundEnabled = 0;
    s.fullScreen = (params->flags & 1) ? 0 : 1;
    s.dropLateFrames = 0;
    s.audioFlag = 1;
    start.primary = params->front;
    start.back = (params->flags & 1) ? nullptr : params->back;
    start.messageId = int32_t(kMovieMessage);
    QVF_SetSettings(record->player, &s);
    params->record = record;
    RunTrace("MOVIE_Open");
    return 1;
}

int MOVIE_Play(MovieParams* params) {
    if (!params || !params->record) return 0;
    MovieRecord* record = params->record;
    g_MovieEnded = 0;
    RunTrace("MOVIE_Play");
    // No thread runs after a failed start, so no end message would come.
    if (QVF_PlayFile(record->player, record->fileName, &record->start) != 0) g_MovieEnded = 1;
    return 1;
}

int MOVIE_IsPlaying(MovieParams* params) {
    return params && params->record && !g_MovieEnded ? 1 : 0;
}

int MOVIE_Stop(MovieParams* params) {
    if (!params || !params->record) return 0;
    RunTrace("MOVIE_Stop");
    QVF_Stop(params->record->player);
    return 1;
}

int MOVIE_Close(MovieParams* params) {
    if (!params || !params->record) return 0;
    MovieRecord* record = params->record;
    RunTraceFigure("MOVIE decode us", QVF_GetDecodeTime(record->player));
    RunTrace("MOVIE_Close");
    QVF_Close(record->player);
    QVF_DeletePlayer(record->player);
    // The player let go of the display first.
    host::DDRelease4(record->start.directDraw2);
    delete record;
    params->record = nullptr;
    return 0;
}

intptr_t MOVIE_Callback(host::HWND window, uint32_t message, uintptr_t code, intptr_t lParam) {
    if (message == host::WM_CLOSE) {
        // The window closes and the program ends from its procedure: the
        // player's threads stop first, before the devices they use go.
        if (auto* player = reinterpret_cast<QVFPlayer*>(host::GetWindowLongPtr(window, host::GWL_USERDATA)))
            QVF_Stop(player);
        return 1;
    }
    if (message != kMovieMessage) return 1;
    const auto* m = reinterpret_cast<const QVFMessage*>(lParam);
    if (!m) return 0;
    switch (code) {
    case kQVFShowPage:
        if (m->back) host::SurfaceFlip(m->primary, host::DDFLIP_WAIT);
        break;
    case kQVFClear:
        if (m->back) {
            for (int i = 0; i < 2; ++i) {
                Fill(m->back);
                host::SurfaceFlip(m->primary, host::DDFLIP_WAIT);
            }
        }
        break;
    case kQVFFrame: ShowFrame(window, m); break;
    case kQVFEnded: g_MovieEnded = 1; break;
    default: break;
    }
    return 0;
}
