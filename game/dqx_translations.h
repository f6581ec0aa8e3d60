// Translations of the mission's names: room, character definition and
// object names as the mission file stores them, each translated by the line
// of the same place in ".\ms%d\%c_string.txt".  A name is identified by the
// address of its text inside the mission records, not by the text, so two
// objects named alike are translated apart.
//
// Both lists (the names and their translated lines) have one capacity: the
// names of the mission plus 32 places for names bound at run time.  Every
// scan stops at it.
#pragma once

#include <cstdint>

// Places beyond the mission's names, for names bound at run time.
constexpr int32_t kTranslationSpare = 32;
// Bytes of a translated line, its ending zero included.
constexpr int32_t kTranslationBytes = 64;

// The name list (pointers into the mission records; null = free place), the
// translated lines (64-byte buffers; null or empty = no translation) and
// their common capacity; all null and 0 while no translation file is
// loaded.
extern const char** TranslationNames;
extern char** TranslationLines;
extern int32_t TranslationCount;

// Builds the name list of the open mission, with an empty list of
// translated lines beside it: every room's name, every definition's name,
// every object's name.  Restoring a save game, whose
// definitions carry the two summoned allies at their end, the objects start
// two places earlier, over those two, so that each name keeps the place it
// has in a fresh mission (never before the rooms' and definitions' own).
void CollectNames(int restoring);
// Frees the previous lists, then reads the mission's translation file from
// the voice archive, at the root: at most count + 32 lines, each cut to 63
// characters.  A missing file is only logged: every name then shows as
// stored.
void LoadTranslations(int mission, int restoring);
// Frees both lists.
void FreeTranslations();
// The text to show for a name: "#" for a null or empty name, the name's
// translated line when it has one, else the name itself.
const char* TranslateName(const char* name);
// A 64-byte translation buffer bound to the name, emptied: the name's own
// place when it has one, else the first free place (its buffer kept or a
// new one).  Null when no place is free or no list is loaded.
char* AddTranslationSlot(const char* name);
// Binds the text (cut to 63 characters) to the name as AddTranslationSlot
// places it; 1 done, 0 full.
int BindTranslation(const char* name, const char* text);
// "%d:%s = %s" (place, name, translation) to the debug log for every bound
// pair.
void DumpTranslations();
// Writes the names of the open mission, in the order the translation file
// takes them (as a fresh mission lists them), to e_string.txt in the
// current directory, each ended by CR LF; an existing file is kept as it
// is.  A file that cannot be created is fatal ("can't open %s for write").
// Answers 1 when it wrote the file.
int WriteTranslationKit();
