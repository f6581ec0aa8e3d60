// script.ana, the missions' scripted events, and the texts they speak:
// %c_dial.txt (one phrase a line, each behind a four-character prefix) and
// %c_mes%d.txt (the lines of one message).
//
// script.ana, little-endian: the event count, the version 521, then the
// events as 138-byte images set field by field at their offsets.  In a
// save game the same layout is followed by the 256 bytes of the dialogue
// state (who last spoke each phrase).
#pragma once

#include "tools/kit/archive_writer.h"
#include "tools/kit/shapes.h"

#include <array>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

namespace kit {

constexpr size_t kEventImageBytes = 138;
constexpr int32_t kScriptVersion = 521;
constexpr size_t kDialogueStateBytes = 256;

// Offsets of the event fields the demo and the fixtures set.
namespace ev {
constexpr int kRepeatTimer = 0;      // int32, ticks
constexpr int kPhraseCountdown = 4;  // int32, ticks
constexpr int kSpeakDistance = 8;    // int32, squared distance; 600 or more: any
constexpr int kContactTimer = 12;    // int32, ticks
constexpr int kMessageDelay = 16;    // int32, ticks
constexpr int kStartDelay = 20;      // int32, ticks
constexpr int kStartDelayPreset = 24;
constexpr int kCountUp = 45;
constexpr int kNewState = 53;
constexpr int kMessage = 56;
constexpr int kRoom = 60;
constexpr int kCharacter = 61;
constexpr int kPhrase = 62;
constexpr int kStep = 63;
constexpr int kState = 64;
constexpr int kPhraseA = 68;
constexpr int kPhraseB = 71;
constexpr int kSpecial = 72;
constexpr int kUseAdvanceA = 80;     // an object's use (object + 1) advances the step
constexpr int kUseAdvanceB = 81;
constexpr int kMoveRoom = 83;
constexpr int kFlagIndex = 89;
constexpr int kFlagKind = 90;
constexpr int kEventState = 108;
constexpr int kLink = 109;
constexpr int kCinematic = 120;  // cinematic number: 1 plays "cine\cine1" of the mission folder
constexpr int kStatusMessage = 125;  // dialogue line shown on the status line
constexpr int kMissionEnd = 126;
// The room test's flags for a room code of any room, the flag test and the
// group count.
constexpr int kSameRoom = 129;
constexpr int kAnywhere = 130;
constexpr int kFlagA = 131;
constexpr int kFlagB = 132;
constexpr int kFlagOperator = 133;
constexpr int kGroup = 134;
constexpr int kGroupState = 135;
}  // namespace ev

// Operators of the flag test over flags A and B.
enum FlagOperator : uint8_t {
    kFlagsBoth = 1,     // A and B
    kFlagsEither = 2,   // A or B
    kFlagsNeither = 3,  // neither
    kFlagsAOrNotB = 4,  // A or not B
    kFlagsANotB = 5,    // A and not B
    kFlagsNotBoth = 6,  // not both
};

// Codes of the conditions that accept anything.
constexpr uint8_t kAnyStepCode = 255, kAnyStateCode = 255, kAnyRoomCode = 255;

// One event's image, every byte not set 0.
struct EventSpec {
    std::array<uint8_t, kEventImageBytes> image{};
    EventSpec& Byte(int offset, uint8_t value);
    EventSpec& Word(int offset, int32_t value);
    // The flag test: flags a and b under the operator.
    EventSpec& FlagTest(uint8_t a, uint8_t b, FlagOperator op);
};
// An event of a character (slot) with its room, step and state conditions.
EventSpec Event(uint8_t character, uint8_t room, uint8_t step, uint8_t state);

// The count of the events given.
constexpr int32_t kOwnCount = INT32_MIN;
// The file: the count (the events' own unless given), the version, the
// images; `dialogueState`, when given, follows them as in a save game.
std::vector<uint8_t> ScriptFile(const std::vector<EventSpec>& events, int32_t count = kOwnCount,
                                int32_t version = kScriptVersion, const std::vector<uint8_t>* dialogueState = nullptr);

// The demo missions' events (22 and 7): the hero entering the second room
// sets a flag; putting the first object down advances the step (twice to
// reach step 2); at step 1 the guard speaks phrase 1 and starts message 1
// after 140 ticks; at step 2 the mission ends, 22 leading to 7 and 7 to 22.
// Mission 7 only: the guard's phrase sets flag 22 and counts its group (the
// phrase and the mission's end, group 1); then, last, the hero entering the
// third room (the vault) plays cinematic 1 once, and the hero in the vault
// once the nave's flag (21) is set is told phrase 2 on the status line,
// once (its own flag 23 ends its flag test).
// Nothing a run does without putting an object down reaches step 1.
std::vector<EventSpec> DemoEvents(int mission);
// The demo missions' dialogue lines (line 0 the placeholder line) and
// message 1's lines.
std::vector<std::string> DemoDialogue(int mission);
std::vector<std::string> DemoMessage(int mission, int n);
// The voice of phrase n (n > 0) or message n (n < 0 for message -n).
std::vector<uint8_t> DemoVoice(int mission, int n);

// The generated members of an archive folder: script.ana of missions 22
// and 7 in "game"; their f_dial.txt, f_mes1.txt and voices in "voice".
std::vector<ArchiveMember> DemoScriptMembers(const std::string& archiveFolder);

// Scripts the reader must refuse, or read, and the event fixtures with
// faults the event walk must survive.
struct ScriptVariant {
    std::string name;
    std::vector<uint8_t> bytes;
    bool readable;  // false: the reader refuses it (no events)
};
// Refused: cut in the header, a negative count, a count beyond the bytes, a
// record cut short.  Read: no events, a version other than 521, the
// events with bytes to spare.
std::vector<ScriptVariant> MalformedScriptFiles();
// Readable scripts whose events are faulty (all at any step, room and
// state): "back-link" (event 2 links to 1), "self-link" (event 1 to
// itself), "room-255" (a room move to a random other room, for a mission
// of one room), "phrase-no-dial" (phrase 3, for a mission without a dial
// file), "message-16" and "timer-200" (message numbers without a slot).
std::vector<ScriptVariant> FaultyEventScripts();

// Odd dialogue and message texts for the text readers: lines shorter than
// their prefix, lines far too long, too many lines, an early "@", no line
// feed at the end, carriage returns alone.
std::vector<std::pair<std::string, std::string>> OddDialogueTexts();

}  // namespace kit
