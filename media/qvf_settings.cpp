// The video player's settings block: defaults and the settings file.
#include "media/byte_reader.h"
#include "media/qvf_player.h"

#include <cstring>
#include <new>

namespace {

QVFSettings g_defaults = {64, 8, 0, 15.0f, 0.0f, 0, 0, 0, 1, 0, 0, 0, 1, 8, 2, 64, 64, 2};

// The words in the file's order: 0-6, 12-17, 7, 10, 8, 9 (11 is not stored).
constexpr int kFileOrder[17] = {0, 1, 2, 3, 4, 5, 6, 12, 13, 14, 15, 16, 17, 7, 10, 8, 9};

uint32_t* Word(QVFSettings* s, int i) {
    return reinterpret_cast<uint32_t*>(s) + i;
}

}  // namespace

void QVF_GetDefaultSettings(QVFSettings* s) {
    int32_t fullScreen = s->fullScreen;  // not one of the defaults: the block keeps it
    *s = g_defaults;
    s->fullScreen = fullScreen;
}

void QVF_InitSettings(QVFSettings* s) {
    QVF_GetDefaultSettings(s);
}

void QVF_SetDefaultSettings(const QVFSettings* s) {
    int32_t fullScreen = g_defaults.fullScreen;
    g_defaults = *s;
    g_defaults.fullScreen = fullScreen;
}

QVFSettings* QVF_NewSettings() {
    auto* s = new (std::nothrow) QVFSettings{};
    if (s) QVF_GetDefaultSettings(s);
    return s;
}

void QVF_FreeSettings(QVFSettings* s) {
    delete s;
}

int QVF_SaveSettings(const QVFSettings* s, const char* name) {
    if (!s || !name) return -7;
    uint8_t bytes[68];
    QVFSettings copy = *s;
    for (int i = 0; i < 17; ++i) {
        uint32_t v = *Word(&copy, kFileOrder[i]);
        for (int b = 0; b < 4; ++b) bytes[i * 4 + b] = uint8_t(v >> (8 * b));
    }
    host::File* f = host::FileOpen(name, "wb");
    if (!f) return -7;
    size_t n = host::FileWrite(bytes, 1, sizeof bytes, f);
    host::FileClose(f);
    return n == sizeof bytes ? 0 : -7;
}

int QVF_LoadSettings(QVFSettings* s, const char* name) {
    if (!s) return -7;
    host::File* f = name ? host::FileOpen(name, "rb") : nullptr;
    if (!f) {
        QVF_GetDefaultSettings(s);
        return -7;
    }
    uint8_t bytes[68];
    size_t n = host::FileRead(bytes, 1, sizeof bytes, f);
    host::FileClose(f);
    if (n != sizeof bytes) {
        QVF_GetDefaultSettings(s);
        return -7;
    }
    ByteReader r(bytes, n);
    for (int i = 0; i < 17; ++i) *Word(s, kFileOrder[i]) = r.U32();
    return 0;
}
