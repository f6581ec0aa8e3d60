// F3DC object files: an 8-byte header ("F3DC", version 450) and a block
// image read verbatim into the R&D pool, made usable in place by turning its
// stored offsets into pool references (fix-up).  Every image is checked
// before any fix-up: each offset must land inside the block, aligned, on a
// record of the kind the field names, with no record shared or overlapping
// and no cycle in the links the engine walks.  A file that fails is the
// fatal "Corrupt file %s : %d".
//
// Offset bases (v is the stored value):
//   element tables, animation key arrays:   block + 20 + v
//   every other offset of a type-1 block:   element 0 + v - 1 (0 = null where
//                                           the field is fixed only when
//                                           non-zero)
//   collision blocks (type 5):              block + 19 + v
#pragma once

#include "engine3d/dqx_3d.h"

#include <cstdint>
#include <string>

constexpr uint32_t kF3DCMagic = 0x43443346;  // "F3DC"
constexpr int32_t kF3DCVersion = 450;
constexpr uint32_t kF3DCHeaderSize = 8;
// The smallest file: the header and the five block-header words.
constexpr uint32_t kF3DCMinimumFile = kF3DCHeaderSize + kBlockHeaderSize;

// The file name of the last object loaded (without its directory).
extern char g_LastObjectName[64];

int Check_ObjHeader(uint32_t magic, int32_t version);
// Checks a block image (the file without its 8-byte header) of a file of
// fileSize bytes; false with the reason when it must be refused.
bool Check_ObjImage(const uint8_t* image, uint32_t imageSize, uint32_t fileSize, std::string* reason);
// Whether the file reads as a 3D object when Load_ObjectFile opens it (in
// its own directory): the header and the block image pass the checks
// Read_ObjFile makes, whose failure is fatal.  False for a file that does
// not open.  The resource path is left as it was.
bool Check_ObjFile(const char* path);
// Reads one file to the pool offset destination; the whole file size.
int32_t Read_ObjFile(const char* path, uint32_t destination, int32_t room);
ObjHandle Add_ObjFile(const char* name);
ObjHandle Load_ObjectFile(const char* path);
ObjHandle Load_Object(const char* path);
// Loads an object into the scene (attached under the camera); -1 when the
// file does not exist.
ObjHandle Load_SceneObject(const char* path);
int Update_Header(uint32_t block, ObjHandle base, int32_t size);
int Update_Header2(uint32_t block, int64_t delta, ObjHandle slot, int32_t size);
int Scale_Object(ObjHandle h, float sx, float sy, float sz);
