// The codec module loader.
#include "media/qvf_codec.h"

#include "host/module.h"
#include "media/wq6_codec.h"

#include <cstdio>
#include <cstring>

namespace {

using InitFn = uintptr_t (*)(int depth, int height, int width, const uint8_t* header);
using DecodeFn = void (*)(const uint8_t* frame, const uint16_t* previous, uint16_t* current);
using Decode2Fn = void (*)(const uint8_t* frame, uint32_t size, const uint16_t* previous, uint16_t* current,
                           int pitch);
using CleanupFn = void (*)();

// The process's one module.
struct CodecModule {
    host::Module* module;
    uintptr_t codec;  // QVFPI_Init's handle; 0: none
    int depth;
    uint8_t header[kQVFHeaderSize];  // the stream it was initialised for
    InitFn init;
    DecodeFn decode;
    Decode2Fn decode2;  // optional: bounded by the payload's size
    CleanupFn cleanup;
};
CodecModule g_codec{};

void FreeModule() {
    if (g_codec.module) host::FreeLibrary(g_codec.module);
    g_codec = CodecModule{};
}

bool WidthHasModule(int width) {
    return width == 512 || width == 640 || width == 800 || width == 1024;
}

}  // namespace

void QVF_CodecModuleNames(int width, char first[32], char second[32]) {
    std::snprintf(first, 32, "WQ6_%dx16.DLL", width);
    std::snprintf(second, 32, "WQ6_%d.DLL", width);
}

int QVF_LoadCodec(const QVFHeader* header, int depth, bool initialise) {
    if (g_codec.codec) {
        if (g_codec.depth == depth) {
            if (std::memcmp(g_codec.header, header->raw, kQVFHeaderSize) == 0) return -20;
            // Another stream: the module stays, its state starts again.
            if (g_codec.cleanup) g_codec.cleanup();
            g_codec.codec = g_codec.init(depth, header->height, header->width, header->raw);
            std::memcpy(g_codec.header, header->raw, kQVFHeaderSize);
            return g_codec.codec ? 0 : -46;
        }
        QVF_UnloadCodec();
    }
    FreeModule();  // a module whose initialisation refused its stream
    if (!WidthHasModule(header->width)) return -14;
    char first[32], second[32];
    QVF_CodecModuleNames(header->width, first, second);
    g_codec.module = host::LoadLibrary(first);
    if (!g_codec.module) g_codec.module = host::LoadLibrary(second);
    if (!g_codec.module) return -19;
    g_codec.init = reinterpret_cast<InitFn>(host::GetProcAddress(g_codec.module, "QVFPI_Init"));
    g_codec.decode = reinterpret_cast<DecodeFn>(host::GetProcAddress(g_codec.module, "QVFPI_DecodeFrame"));
    g_codec.cleanup = reinterpret_cast<CleanupFn>(host::GetProcAddress(g_codec.module, "QVFPI_Cleanup"));
    if (!g_codec.init || !g_codec.decode || !g_codec.cleanup) {
        FreeModule();
        return -21;
    }
    g_codec.decode2 = reinterpret_cast<Decode2Fn>(host::GetProcAddress(g_codec.module, "QVFPI_DecodeFrame2"));
    g_codec.depth = depth;
    std::memcpy(g_codec.header, header->raw, kQVFHeaderSize);
    if (initialise) {
        g_codec.codec = g_codec.init(depth, header->height, header->width, header->raw);
        if (!g_codec.codec) return -46;
    }
    return 0;
}

int QVF_UnloadCodec() {
    if (!g_codec.codec) return -22;
    if (g_codec.cleanup) g_codec.cleanup();
    FreeModule();
    return 0;
}

bool QVF_DecodeVideoFrame(const uint8_t* payload, uint32_t size, const uint16_t* previous, uint16_t* current,
                          int pitch) {
    if (!g_codec.codec) return false;
    if (g_codec.decode2) g_codec.decode2(payload, size, previous, current, pitch);
    else g_codec.decode(payload, previous, current);
    return true;
}

void QVF_RegisterBuiltinCodecs() {
    const host::ModuleSymbol symbols[] = {
        {"QVFPI_Init", reinterpret_cast<void*>(&WQ6_Init)},
        {"QVFPI_DecodeFrame", reinterpret_cast<void*>(&WQ6_DecodeFrame)},
        {"QVFPI_DecodeFrame2", reinterpret_cast<void*>(&WQ6_DecodeFrame2)},
        {"QVFPI_Cleanup", reinterpret_cast<void*>(&WQ6_Cleanup)},
    };
    for (int width : {512, 640}) {
        char first[32], second[32];
        QVF_CodecModuleNames(width, first, second);
        host::RegisterBuiltinModule(first, symbols, sizeof symbols / sizeof symbols[0]);
    }
}
