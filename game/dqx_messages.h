// Messages, dialogues and script.ana: the mission's dialogue lines and the
// state of who spoke each phrase, the event table read from and written to
// script.ana (and the save games), the ten message countdowns turned into
// subtitles, and the phrases of scripted events.
#pragma once

#include "game/dqx_subtitles.h"
#include "platform/resfile.h"
#include "platform/utils.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct ScriptEvent;

constexpr int kDialogueLines = 256;
constexpr int kDialogueStateBytes = 256;
constexpr int kMessageLines = 64;
// script.ana's version word as written (not tested when read).
constexpr int32_t kEventScriptVersion = 521;

// The voice of a spoken line still to be waited for, -1 when none.
extern int32_t PendingVoice;

// The mission's dialogue lines (%c_dial.txt, up to 256; nullptr when none)
// and the slot of the character that last spoke each phrase (256 bytes;
// nullptr while no mission is open).
extern StringList DialogueLines;
extern uint8_t* DialogueState;
// The last phrase number spoken.
extern int32_t LastPhrase;

// The mission's dialogues loaded; when not restoring, also DialogueState
// and the events of script.ana.
void LoadDialogues(int restoring);
// The event table, DialogueState and the dialogue lines freed.
void FreeMessages();

// The 138-byte image of an event decoded into its members (the image kept
// for the bytes no member names), and encoded back.
void DecodeScriptEvent(const uint8_t* image, ScriptEvent* event);
void EncodeScriptEvent(const ScriptEvent& event, uint8_t* image);
// script.ana's layout (count, version, records) read through the current
// file table into EventTable and EventCount; 1 when read, 0 when refused: a
// count below 0 or beyond the bytes left, or a short read (the table is
// left empty).
int ReadEventScript(FileHandle file);
// The count, the version 521, the records and the 256 bytes of
// DialogueState (zeros while there is none) through the current file
// table; 1 when every write succeeded.
int WriteEventScript(FileHandle file);
// The same layout from and to memory, for the save games.  DecodeEventScript
// reads count, version and records from `size` bytes into EventTable and
// EventCount and answers the bytes used (0 when refused: the table is left
// as it was); it does not read the DialogueState block after them.
// EncodeEventScript appends the whole layout with the DialogueState block.
size_t DecodeEventScript(const uint8_t* data, size_t size);
void EncodeEventScript(std::vector<uint8_t>* out);
// The event table freed: EventTable none, EventCount 0.
void FreeEventTable();

// Message n joined into its slot and started as a ticker subtitle; 1 when
// it started, else 0.
int LoadMessage(int n);
// One frame of the ten message countdowns.
void UpdateMessages();

// The event's phrase started as a block subtitle with its voice; 1 when it
// started, else 0 with the event's phrase and countdown as they were.
int SayPhrase(ScriptEvent* event, int mode, int force);
// The event's phrase armed: its timers set so the phrase is spoken.
void ShowEventMessage(ScriptEvent* event);
// The text of dialogue line n from its fifth character ("" when none).
const char* DialogueText(int n);
