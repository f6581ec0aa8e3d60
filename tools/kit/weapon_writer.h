// Weapon files (.cws) and the weapon table's save-game block, written
// field by field, little-endian; and the demo's weapons: the blaster with
// its model, fire animation and morph targets, the grenade and the
// barrier, with their effects.
#pragma once

#include "tools/kit/shapes.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kit {

// .cws: a word that is not read, then the 344-byte description: five
// names of 64 bytes ("*" = none), 12 bytes not interpreted, the explosion
// radius, the running time in ms and the charges (-1 = unlimited).
struct CwsSpec {
    uint32_t skipped = 0;
    std::string effect = "*";      // started when attached or put to work
    std::string shotEffect = "*";  // the shot; a grenade's explosion
    std::string part = "*";        // the hero's part it hangs on
    std::string anim = "*";        // base name of its .3da and .mor
    std::string model = "*";
    std::array<uint8_t, 12> reserved{};
    int32_t radius = 0;
    int32_t runningTime = 0;
    int32_t charges = -1;
};
constexpr size_t kCwsFileBytes = 4 + 344;
// The file; empty when a name and its NUL do not fit 64 bytes.
std::vector<uint8_t> CwsFile(const CwsSpec& spec);

struct WeaponVariant {
    std::string name;
    std::vector<uint8_t> bytes;
};
// Files the reader must refuse, made from a good one: cut in the skipped
// word, one byte short, each name without its NUL, an empty model name,
// radius -1, running time -1, charges -2.
std::vector<WeaponVariant> MalformedCwsFiles(const CwsSpec& spec);

// The demo's weapons, each a mission object of the same name: "PKBLASTER"
// (".\all\Pkbl.cws"), "GRENADE%d" (".\all\Gren.cws"), "BARRIEREH%d"
// (".\all\Barr.cws").
CwsSpec DemoBlaster();
CwsSpec DemoGrenade();
CwsSpec DemoBarrier();
// The blaster's model (".\all\pkbl.3dc": a grip "pkbl" with its barrel
// "canon"), also the blaster object's model in the hall.
ObjectSpec BlasterModel();
// The three .cws files; the grenade's and the barrier's object models
// (".\all\gren.3dc", ".\all\barr.3dc"); the blaster's model, its fire animation for the
// hero (".\all\pkbl.3da") and its barrel's morph (".\all\pkbl.mor"); the
// effects ".\effects\pkbl.cgs" (the glow on the hand), ".\effects\pkblshot.cgs"
// (the bolt), ".\effects\grfuse.cgs" (a grenade's fuse),
// ".\effects\grexp.cgs" (its explosion, which stays where it started) and
// ".\effects\barrier.cgs", with their sets beside them.  The sets take
// their texture from ".\effects\flare.3DM" (DemoEffectFiles).
std::vector<NamedFile> DemoWeaponFiles();

// One entry of the save block.
struct WeaponSaveEntry {
    int slot = 0;
    int32_t runningTime = 0, charges = 0;
    uint32_t lastUpdate = 0xFFFFFFFFu;
    int32_t timeLeft = 0, chargesAtLoad = 0;
    uint32_t flags = 4;  // bit 2: the name follows
    int32_t armed = 0;
    std::string name;    // at most 31 characters
};
// The 24-bit slot mask of the entries, then the 60-byte entries in the
// order given; `extraMask` bits are added to the mask without an entry.
std::vector<uint8_t> WeaponSaveBlock(const std::vector<WeaponSaveEntry>& entries, uint32_t extraMask = 0);
// Blocks the reader must refuse, made from good entries (at least one):
// cut in the mask and in the last entry, a mask bit without its entry,
// flags without bit 2 and with bit 3, armed 2, running time -1, a time
// left past the running time and below 0, charges -2, a name without its
// NUL.
std::vector<WeaponVariant> MalformedWeaponSaveBlocks(const std::vector<WeaponSaveEntry>& entries);

}  // namespace kit
