// The video codec modules: one module, chosen by the frame width, loaded
// for the whole process at a time and bound by its entry points.  The
// player loads it when playback starts and unloads it when it closes.
//
// Results: 0; -20 a codec is initialised already for this depth and
// stream; -14 a width other than 512, 640, 800 or 1024; -19 no module file
// loads; -21 an entry point is missing; -46 the module's initialisation
// refused the stream; -22 (unload) no codec initialised.
#pragma once

#include "media/qvf_format.h"

#include <cstdint>

int QVF_LoadCodec(const QVFHeader* header, int depth, bool initialise);
int QVF_UnloadCodec();
// Decodes one video chunk's payload into `current` from `previous` (frame
// surfaces of the stream's size, rows of `pitch` bytes) through the loaded
// module; false when none is loaded.
bool QVF_DecodeVideoFrame(const uint8_t* payload, uint32_t size, const uint16_t* previous, uint16_t* current,
                          int pitch);
// The module name tried first and second for a width.
void QVF_CodecModuleNames(int width, char first[32], char second[32]);
// Puts the project's codec module into the host's built-in modules under
// its names for the widths streams can have.
void QVF_RegisterBuiltinCodecs();
