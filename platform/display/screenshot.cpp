// Screenshots: the drawing page written to "<prefix>NNNN.pcx" (8 bits per
// pixel) or ".tga" (other depths) in the current directory, 5-6-5 screens
// as 5-5-5 pixels.
#include "platform/display/ddraw.h"
#include "platform/display/picture.h"
#include "platform/display/screen.h"
#include "platform/display/toolkit.h"
#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/resfile.h"

#include <cstdio>
#include <cstring>

namespace {

// The highest number tried; when every name up to it exists, that one is
// written again.
constexpr unsigned kLastScreenshot = 98;

// Whether everything written to the plain file reached it.
bool Written(FileHandle file) {
    auto* f = static_cast<host::File*>(file);
    bool ok = host::FileFlush(f) == 0 && !std::ferror(host::FileNative(f));
    return PlainFileTable.Close(file) == 0 && ok;
}

}  // namespace

bool ScreenshotName(const char* prefix, char* name, size_t size) {
    const char* extension = ScreenState.bytesPerPixel == 1 ? "pcx" : "tga";
    for (unsigned n = 0;; ++n) {
        int length = std::snprintf(name, size, "%s%04u.%s", prefix ? prefix : "", n, extension);
        if (length < 0 || size_t(length) >= size) return false;
        // Existence is asked of the folder the file is written to, never of
        // a resource archive.
        if (n == kLastScreenshot || !PlainFileTable.Exists(name)) return true;
    }
}

bool SaveScreenshot(const char* prefix) {
    char name[kPathText];
    if (!ScreenshotName(prefix, name, sizeof name)) {
        DebugLog("Couldn't name a screenshot after %s", prefix ? prefix : "");
        return false;
    }
    const ScreenStateRecord& s = ScreenState;
    const size_t row = size_t(s.width) * s.bytesPerPixel;
    const size_t bytes = row * s.height;
    VideoDriver* driver = CurrentVideoDriver;
    auto* buffer = static_cast<uint8_t*>(bytes ? HeapHooks.allocate(bytes) : nullptr);
    if (!buffer) {
        DebugLog("Couldn't write the screenshot %s: no memory", name);
        return false;
    }
    const uint8_t* page = driver ? driver->Lock(driver) : nullptr;
    if (page)
        for (uint32_t y = 0; y < s.height; ++y) std::memcpy(buffer + y * row, page + size_t(y) * s.pitch, row);
    if (driver) driver->Unlock(driver);
    if (!page) {
        HeapHooks.free(buffer);
        DebugLog("Couldn't write the screenshot %s: the screen cannot be read", name);
        return false;
    }
    if (s.bytesPerPixel == 2 && s.greenSize == 6)
        Convert565To555(reinterpret_cast<uint16_t*>(buffer), uint32_t(s.width) * s.height);

    // Written under a temporary name and renamed when whole, so that a
    // failed write never leaves a broken file in place of an earlier one.
    char temporary[kPathText + 8];
    std::snprintf(temporary, sizeof temporary, "%s.part", name);
    bool ok = false;
    if (FileHandle file = PlainFileTable.Open(temporary, "wb")) {
        const FileTable* table = CurrentFileTable;
        CurrentFileTable = &PlainFileTable;
        Picture picture{int32_t(s.width), int32_t(s.height), buffer, nullptr};
        SavePicture(name, file, &picture, s.bitsPerPixel);
        CurrentFileTable = table;
        ok = Written(file) && host::MoveFile(temporary, name);
        if (!ok) host::DeleteFile(temporary);
    }
    HeapHooks.free(buffer);
    if (!ok) DebugLog("Couldn't write the screenshot %s", name);
    return ok;
}
