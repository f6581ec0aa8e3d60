// script.ana and the dialogue and message texts of the demo missions.
#include "tools/kit/script_writer.h"

#include "tools/kit/byte_writer.h"
#include "tools/kit/demo_settings.h"
#include "tools/kit/sound_writer.h"

namespace kit {

namespace {

// Squared distances of 600 or more speak at any distance.
constexpr int32_t kAnyDistance = 600;
constexpr int32_t kDemoMessageDelay = 140;  // ticks: 2 s
constexpr uint32_t kVoiceRate = 22050;

std::string MissionFolder(int mission) {
    return ".\\ms" + std::to_string(mission) + "\\";
}

}  // namespace

EventSpec& EventSpec::Byte(int offset, uint8_t value) {
    image.at(size_t(offset)) = value;
    return *this;
}

EventSpec& EventSpec::Word(int offset, int32_t value) {
    for (int i = 0; i < 4; ++i) image.at(size_t(offset + i)) = uint8_t(uint32_t(value) >> (8 * i));
    return *this;
}

EventSpec& EventSpec::FlagTest(uint8_t a, uint8_t b, FlagOperator op) {
    return Byte(ev::kFlagA, a).Byte(ev::kFlagB, b).Byte(ev::kFlagOperator, op);
}

EventSpec Event(uint8_t character, uint8_t room, uint8_t step, uint8_t state) {
    EventSpec e;
    e.Byte(ev::kCharacter, character).Byte(ev::kRoom, room).Byte(ev::kStep, step).Byte(ev::kState, state);
    return e;
}

std::vector<uint8_t> ScriptFile(const std::vector<EventSpec>& events, int32_t count, int32_t version,
                                const std::vector<uint8_t>* dialogueState) {
    ByteWriter w;
    w.I32(count == kOwnCount ? int32_t(events.size()) : count);
    w.I32(version);
    for (const EventSpec& e : events)
        for (uint8_t b : e.image) w.U8(b);
    if (dialogueState) w.Bytes(*dialogueState);
    return w.Take();
}

std::vector<EventSpec> DemoEvents(int mission) {
    // Mission 22: rooms Hall and Crypt, the hero and the guard, the key
    // first.  Mission 7: rooms Gate, Nave and Vault, the hero, the guard
    // and the drifter, the grenade first.
    const uint8_t guard = 1, nextRoom = 1, object = 1;
    const uint8_t next = uint8_t(mission == 7 ? 22 : 7);
    const uint8_t flag = uint8_t(mission == 7 ? 21 : 20);
    std::vector<EventSpec> events = {
        // The hero entering the second room sets the flag.
        Event(0, nextRoom, kAnyStepCode, kAnyStateCode).Byte(ev::kFlagKind, 1).Byte(ev::kFlagIndex, flag),
        // Putting the object down at step 1 advances to 2; at step 0, to
        // 1 (in this order, so that one use advances once).
        Event(0, kAnyRoomCode, 1, kAnyStateCode).Byte(ev::kUseAdvanceB, object),
        Event(0, kAnyRoomCode, 0, kAnyStateCode).Byte(ev::kUseAdvanceA, object),
        // At step 1 the guard in state 0 speaks phrase 1 (at any distance),
        // counts its state up, and starts message 1.
        Event(guard, kAnyRoomCode, 1, 0)
            .Byte(ev::kPhrase, 1)
            .Byte(ev::kCountUp, 1)
            .Word(ev::kSpeakDistance, kAnyDistance)
            .Byte(ev::kMessage, 1)
            .Word(ev::kMessageDelay, kDemoMessageDelay),
        // At step 2 the mission ends.
        Event(0, kAnyRoomCode, 2, kAnyStateCode).Byte(ev::kMissionEnd, next),
    };
    if (mission != 7) return events;
    // Mission 7: the guard's phrase sets the flag "the guard has spoken"
    // (kind 7, set as the event fires) and, counting the guard's state up
    // with a flag named, counts its group: the phrase and the mission's
    // end, group 1.
    const uint8_t spoken = 22, group = 1;
    events[3].Byte(ev::kFlagKind, 7).Byte(ev::kFlagIndex, spoken).Byte(ev::kGroup, group);
    events[4].Byte(ev::kGroup, group);
    // The hero in the vault plays the cinematic; the action clears the
    // event's number, so it plays once.
    const uint8_t vault = 2, cinematic = 1;
    events.push_back(Event(0, vault, kAnyStepCode, kAnyStateCode).Byte(ev::kCinematic, cinematic));
    // The hero in the vault once it has been in the nave (the first
    // event's flag) is told to keep to the light (phrase 2 on the status
    // line), once: the event sets its own flag as it fires, and its test
    // asks for the nave's flag without its own.
    const uint8_t told = 23, keepToTheLight = 2;
    events.push_back(Event(0, vault, kAnyStepCode, kAnyStateCode)
                         .FlagTest(flag, told, kFlagsANotB)
                         .Byte(ev::kFlagKind, 7)
                         .Byte(ev::kFlagIndex, told)
                         .Byte(ev::kStatusMessage, keepToTheLight));
    return events;
}

std::vector<std::string> DemoDialogue(int mission) {
    if (mission == 7) return {"0000", "0001The nave is cold tonight.", "0002Keep to the light."};
    return {"0000", "0001Halt! Who goes there?", "0002The crypt is sealed."};
}

std::vector<std::string> DemoMessage(int mission, int n) {
    if (n != 1) return {};
    if (mission == 7) return {"A storm gathers over the gate.", "Hurry on."};
    return {"The bells of the hall ring out.", "Someone is coming."};
}

std::vector<uint8_t> DemoVoice(int mission, int n) {
    // A short falling or rising tone: a third of a second.
    const double from = n > 0 ? 400 + 40 * n : 300, to = n > 0 ? 300 : 500 + mission;
    SnpSound voice{kVoiceRate, 0x41, 0, 0, 0, {Tone(kVoiceRate, 0.33, from, to, 0.4)}};
    return SnpFile(voice);
}

std::vector<ArchiveMember> DemoScriptMembers(const std::string& archiveFolder) {
    std::vector<ArchiveMember> members;
    for (int mission : {22, 7}) {
        const std::string folder = MissionFolder(mission);
        if (archiveFolder == "game") members.push_back({folder + "script.ana", ScriptFile(DemoEvents(mission))});
        if (archiveFolder != "voice") continue;
        std::string dial = TextFileBytes(DemoDialogue(mission));
        std::string message = TextFileBytes(DemoMessage(mission, 1));
        members.push_back({folder + "f_dial.txt", {dial.begin(), dial.end()}});
        members.push_back({folder + "f_mes1.txt", {message.begin(), message.end()}});
        const std::string voices = ".\\smp\\ms" + std::to_string(mission) + "\\voix\\";
        members.push_back({voices + "1.snp", DemoVoice(mission, 1)});
        members.push_back({voices + "l1.snp", DemoVoice(mission, -1)});
    }
    return members;
}

std::vector<ScriptVariant> MalformedScriptFiles() {
    const std::vector<EventSpec> events = DemoEvents(22);
    const std::vector<uint8_t> whole = ScriptFile(events);
    std::vector<ScriptVariant> out;
    out.push_back({"header-cut", std::vector<uint8_t>(whole.begin(), whole.begin() + 6), false});
    out.push_back({"count-negative", ScriptFile(events, -2), false});
    out.push_back({"count-beyond", ScriptFile(events, int32_t(events.size()) + 1), false});
    out.push_back({"count-huge", ScriptFile(events, 0x7FFFFFFF), false});
    out.push_back({"record-cut", std::vector<uint8_t>(whole.begin(), whole.end() - 1), false});
    out.push_back({"none", ScriptFile({}), true});
    out.push_back({"version-520", ScriptFile(events, kOwnCount, 520), true});
    std::vector<uint8_t> spare = whole;
    spare.insert(spare.end(), kEventImageBytes - 1, 0xEE);
    out.push_back({"spare-bytes", spare, true});
    return out;
}

std::vector<ScriptVariant> FaultyEventScripts() {
    auto any = [](uint8_t character) { return Event(character, kAnyRoomCode, kAnyStepCode, kAnyStateCode); };
    std::vector<ScriptVariant> out;
    out.push_back({"back-link", ScriptFile({any(0), any(0), any(0).Byte(ev::kLink, 1), any(0)}), true});
    out.push_back({"self-link", ScriptFile({any(0), any(0).Byte(ev::kLink, 1), any(0)}), true});
    out.push_back({"room-255", ScriptFile({any(1).Byte(ev::kMoveRoom, 255)}), true});
    out.push_back({"phrase-no-dial", ScriptFile({any(1).Byte(ev::kPhrase, 3).Word(ev::kSpeakDistance, 600)}), true});
    out.push_back({"message-16", ScriptFile({any(0).Byte(ev::kMessage, 16).Word(ev::kMessageDelay, 1)}), true});
    out.push_back({"timer-200", ScriptFile({any(0).Byte(ev::kMessage, 200).Word(ev::kMessageDelay, 1)}), true});
    return out;
}

std::vector<std::pair<std::string, std::string>> OddDialogueTexts() {
    std::vector<std::string> many(300, "0000a phrase");
    many[0] = "";
    many[1] = "00";
    many[2] = std::string(2000, 'w');
    many[5] = "0005%s%n%d";
    std::vector<std::string> early = {"0000", "0001one", "@ the end", "0003never"};
    return {
        {"many.txt", TextFileBytes(many)},
        {"early.txt", TextFileBytes(early)},
        {"bare.txt", "0000\r0001one\n\n0003three"},
        {"cr.txt", std::string(40, '\r') + "0001x"},
    };
}

}  // namespace kit
