// Pictures: no picture format can be read yet, so every picture is missing.
#include "platform/display/picture.h"

#include "platform/memory.h"

Picture* LoadPicture(const char*, int) {
    return nullptr;
}

void FreePictureRecord(Picture* picture) {
    if (!picture) return;
    MemFree(picture->pixels);
    MemFree(picture);
}
