// The model bank: 256 shared texture entries after the handle table.  An
// object file lists the textures ("models") its primitive groups name;
// loading registers or shares them, freeing drops their uses, and a texture
// nobody uses is freed.  A group's material is the pool offset of its
// entry's data word, so a texture moved by compaction stays found.
#pragma once

#include "engine3d/dqx_3d.h"

#include <cstdint>

extern int32_t g_ModelCount;  // entries in use or once used (the counted part)
// Set once the span-table hook has run before the first 555 conversion.
extern bool g_SpanTablesSwapped;

// Pool offset of entry n.
uint32_t Model_Entry(int n);
// Registers or shares the models of a type-1 block, loads and uploads new
// textures, then binds the materials of the whole block; -1 when a texture
// cannot be registered.  A model file that is not a texture block with all
// its texels is the fatal "Corrupt file %s : %d" (its block freed first).
int Load_ObjModels(uint32_t block);
void Release_ObjModels(uint32_t block);
// Sets each face group's material to the first entry in use of its texture
// name (exact comparison).
void Bind_ObjMaterials(uint32_t block);
// Converts the colour tables of the entries in use from 565 to 555, once.
void Convert_BankTo555();

// True when the entry in use whose data pointer is `texels` holds a frame
// table (a frame texture, flags bit 1); the span back end draws the frame
// types from their level's image only then.
bool Model_HoldsFrameTable(uint32_t texels);
uint32_t Find_ModelTexels(const char* name);
uint32_t Find_ModelMaterial(const char* name);
uint32_t Find_ModelBlock(const char* name);
int Get_ModelCount();
int Count_UsedModels();
const char* Get_ModelName(int n);
// Register one model without an upload; the entry index, or -1.
int Load_Model(const char* name, const char* file);
int Load_AlphaModel(const char* name, const char* file);
uint32_t Get_PartTable();
int Get_PartTableCount();

// A texture block moved by compaction, or freed.
void Model_TextureMoved(uint32_t oldBlock, uint32_t newBlock);
void Model_TextureFreed(uint32_t block);
