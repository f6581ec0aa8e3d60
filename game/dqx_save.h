// Save games: the whole state of the open mission in one file per slot,
// "<install directory>\savegame.%03d", an 80-byte header and eleven blocks
// in a fixed order (docs/save-format.md gives every byte).  Pointers are
// stored as 1-based indexes (0 none), every integer little-endian.
//
// A save is built in memory, written to a new file beside the slot's, put
// on the disk and then renamed over it, every write checked: when anything
// fails the slot keeps the file it had.  A load reads the header, then the
// whole file when it is no larger than a save can be, and checks every
// block against the others and against the install before the running
// mission is touched: a file that is cut short, of another version,
// holding an index past its own records or naming a mission or room file
// the install lacks is refused and the game goes on as it was.
#pragma once

#include "platform/resfile.h"

#include <cstddef>
#include <cstdint>
#include <string>

constexpr int32_t kSaveVersion = 1041;
// The version whose character records end before the second flags and
// collapse bytes; read with both 0.
constexpr int32_t kSaveVersionShortRecords = 1040;
constexpr int kSaveSlotsMax = 1000;       // "%03d"
constexpr size_t kSaveHeaderBytes = 80;
constexpr size_t kSaveNameBytes = 64;     // at most 63 characters and a NUL
constexpr int32_t kSaveMaxCharacters = 64;

// The blocks, numbered as in the file.
constexpr int kSaveBlockGameState = 1;
constexpr int kSaveBlockObjectSlots = 2;
constexpr int kSaveBlockPowers = 3;
constexpr int kSaveBlockCharacters = 4;
constexpr int kSaveBlockEvents = 5;
constexpr int kSaveBlockMission = 6;
constexpr int kSaveBlockDrains = 7;
constexpr int kSaveBlockCamera = 8;
constexpr int kSaveBlockJournal = 9;
constexpr int kSaveBlockWeapons = 10;
constexpr int kSaveBlockAllies = 11;
constexpr int kSaveBlocks = 11;

// Fixed sizes of the blocks of our own layout.
constexpr size_t kSaveGameStateBytes = 16825;
constexpr size_t kSaveObjectSlotBytes = 12;
constexpr size_t kSaveObjectSlotsBytes = 4 + 32 * kSaveObjectSlotBytes;
constexpr size_t kSavePowerRowBytes = 64;
constexpr size_t kSavePowersBytes = 22 * kSavePowerRowBytes + 8;
constexpr size_t kSaveCharacterBytes = 137;
constexpr size_t kSaveShortCharacterBytes = 135;  // version 1040
// Where the play clock word lies in the file (the first of the 17 words of
// statistics that end block 1): the only word that differs between two
// saves of the same state made at different times.
constexpr size_t kSaveClockOffset = kSaveHeaderBytes + kSaveGameStateBytes - 17 * 4;

// The largest file a save can be (every list of its mission records at the
// most the format's one-byte indexes can name): a larger file is refused
// unread, and a game that would need a larger one is not saved.
extern const uint64_t kSaveLargestBytes;

// Writes the open mission as slot n under the name (cut to 63 characters);
// 1 when the whole file was written and has replaced the slot's, 0 when
// not (no mission open, a slot outside 0..999, a write that failed): the
// slot's previous file is then left whole.
int WriteSaveGame(int slot, const char* name);
// Replaces the running mission with the one saved in slot n; 1 when it
// did.  A missing file does nothing (0).  A file that cannot be read
// whole or is refused by its checks leaves the game running as it was,
// with a status message (menu text kLoadFailedText), and answers 0.
int ReadSaveGame(int slot);
// The 64-byte name of slot n's header into `name` (kSaveNameBytes); 0 when
// read, 1 when the file is missing or its header is not one this game
// writes (`name` is then left as it was).  The camera does not move.
int ReadSaveHeader(char* name, int slot);
// Deletes slot n's file; 1 when a file was deleted.
int DeleteSaveGame(int slot);
// The file name of slot n ("<install directory>\savegame.%03d").
std::string SaveGamePath(int slot);

// Checks a whole save image as ReadSaveGame does before it ends the
// running mission: 1 when every block holds what a writer makes and fits
// the others, and the mission and room files it names are there through
// the current file table.  Touches nothing of the game.
int CheckSaveGame(const uint8_t* bytes, size_t size);

// While ReadSaveGame restarts the mission, a staged block of the save
// being restored read through `reader` from memory (the weapons' block
// once the mission's weapons are loaded); 0 when no save is being
// restored or the reader refused the block.
int ReadRestoringSaveBlock(int block, int (*reader)(FileHandle file));

// The menu texts of a save that failed and of a load that was refused.
constexpr int kSaveFailedText = 143;
constexpr int kLoadFailedText = 144;

// The name given to the last WriteSaveGame.
extern std::string g_LastSaveName;
