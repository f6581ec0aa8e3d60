#include "tools/kit/demo_settings.h"

#include "tools/kit/ini_writer.h"

#include <string>
#include <utility>
#include <vector>

namespace kit {

namespace {

struct Slot {
    int number;
    const char* text;
};

// The menu texts by slot.  Lines used as formats carry exactly the
// conversions their callers fill: a name is "%s", a number "%d".
const Slot kMenuTexts[] = {
    // Room jump list (developer page): title, then the rooms.
    {0, "Jump to a room"}, {1, "Entrance"}, {2, "Second room"}, {3, "Third room"}, {4, "Fourth room"},
    {5, "Fifth room"},
    // Mission list: title, then the ten numbered missions.
    {6, "Missions"}, {7, "The Quarry"}, {8, "The Marsh"}, {9, "The Lighthouse"}, {10, "The Archives"},
    {11, "The Foundry"}, {12, "The Orchard"}, {13, "The Citadel"}, {14, "The Harbour"}, {15, "The Observatory"},
    {16, "The Last Door"},
    // Mission choice entries (the current mission from its start, then
    // mission 21), then the titles of the main menu and the mission choice.
    {18, "This mission from its start"}, {19, "Vantilers"}, {26, "Main menu"}, {27, "Choose a mission"},
    // Main menu entries (with 92 and 138 below): entry 4 starts the credits,
    // entry 5 opens the options.
    {28, "New game"}, {29, "Save the game"}, {30, "Credits"}, {31, "Options"}, {33, "Quit"},
    // Shop: title and the labels of the two tables.
    {41, "Shop"}, {42, "Spells"}, {43, "Weapons"},
    // Quick save refused.
    {45, "No quick save in this place"}, {46, "Quick save is not possible now"},
    {48, "objects carried"},
    // Power labels: spells 0-6, weapons 0-13.
    {50, "Spark"}, {51, "Ward"}, {52, "Frost"}, {53, "Veil"}, {54, "Quake"}, {55, "Mend"}, {56, "Lantern"},
    {57, "Sling"}, {58, "Crossbow"}, {59, "Spear"}, {60, "Axe"}, {61, "Staff"}, {62, "Dagger"}, {63, "Shield"},
    {64, "Longbow"}, {65, "Hammer"}, {66, "Whip"}, {67, "Mace"}, {68, "Grenade"}, {69, "Trident"}, {70, "Torch"},
    // Power descriptions, the shop's third caption line.
    {71, "A spark that stings a single foe"}, {72, "A ward that turns blows aside"},
    {73, "Frost that slows whatever it touches"}, {74, "A veil that hides you for a while"},
    {75, "The ground shakes around you"}, {76, "Mends your wounds"}, {77, "Lights the way ahead"},
    {78, "Stones thrown from afar"}, {79, "Bolts that fly straight and far"}, {80, "A long reach at close range"},
    {81, "Heavy blows that break guards"}, {82, "A staff that strikes twice"}, {83, "Quick cuts up close"},
    {84, "Holds off what comes at you"}, {85, "Arrows that find their mark"}, {86, "Blows that stun"},
    {87, "Reaches foes out of range"}, {88, "Crushes what stands in the way"}, {89, "Bursts where it lands"},
    {90, "Three points at once"}, {91, "Burns and lights the dark"},
    {92, "Load a game"},
    {93, "You take %s."},
    {94, "You cannot take that."},
    {95, "The door is locked."},
    {96, "This door will not move."},
    {103, "Nothing happens."},
    {104, "Not from here."},
    {105, "%s gives you %s."},
    // Journal sentences: the room, then the object or character.
    {106, "%s: somebody spoke to you."},
    {107, "%s: you took %s."},
    {108, "%s: you put down %s."},
    {109, "%s: %s was taken from you."},
    {110, "%s: a drain was destroyed."},
    {111, "%s: %s was defeated."},
    {112, "The drain is filling: %d seconds."},
    {113, "A drain is full in %s."},
    {119, "Energy gathered in %s."},
    {120, "There is no door here."},
    // Options: tab labels and items.
    {121, "Sound"}, {122, "Music volume %d%%"}, {123, "Effects volume %d%%"}, {124, "Display"},
    // Journal tabs and the sub-tabs of the third.
    {125, "Story"}, {126, "Log"}, {127, "Record"}, {128, "Events"}, {129, "Objects"}, {130, "Totals"},
    {132, "Room %d  zoom x%d  step %d"},
    {133, "Who said what"},
    {134, "Keys"},
    // The face name of the menu's GDI text.
    {135, "DejaVu Sans"},
    {136, "Game saved."},
    {137, "Game loaded."},
    {138, "Delete a game"},
    {139, "Slot %d: empty"},
    {140, "Beyond the map"},
    {141, "Voice volume %d%%"},
    {142, "Subtitles: %s"},
    // A save that could not be written, a saved game refused.
    {143, "The game could not be saved."}, {144, "The saved game could not be read."},
    // The journal's statistics: the play time, the energy lost and gained.
    {145, "Play time"}, {146, "Energy lost"}, {147, "Energy gained"},
    {149, "Enter buys the next level"},
    // Full-screen text pages, one per mission from 21 on.
    {150, "The road goes on"}, {151, "Well done: the gate is open"}, {152, "A new land lies ahead"},
    {153, "The night is over"}, {154, "The last step awaits"}, {155, "The story goes on"},
    {156, "Further still"}, {157, "Almost there"}, {158, "One more door"}, {159, "The end of the road"},
    {161, "Delete a game"},
    {162, "Run lock: %s"},
    {165, "Nobody has spoken yet."},
    {167, "Leave the game? (Y/N)"},
    {168, "Choose the game to load"},
    {169, "Choose a slot"},
    {170, "Left and Right: table, Up and Down: power"},
    {171, "Enter uses the object"},
    {172, "Enter, then a key: the new key"},
    {173, "Up and Down: page, Right: enter"},
    {175, "+ and -: zoom, Tab: close"},
    // The prompt under the briefing and the short credits page.
    {148, "Space or Enter to go on"},
    // Powers: the energy and its reserve could not pay; a spell took no
    // effect here.
    {176, "Not enough energy."},
    {177, "The spell has no effect here."},
    {199, "%s has gone elsewhere."},
    {200, "Texture filtering: %s"}, {201, "Dithering: %s"}, {202, "Entity points: %s"},
    {203, "Fast scroll: %s"},
    // Key labels of the 21 bindings.
    {204, "Forward"}, {205, "Back"}, {206, "Turn right"}, {207, "Turn left"}, {208, "Power up"},
    {209, "Power down"}, {210, "Fire"}, {211, "Use once"}, {212, "Run"}, {213, "Action"}, {214, "Jump"},
    {215, "Quick save"}, {216, "Shop"}, {217, "Inventory"}, {218, "Quick load"}, {219, "Camera"},
    {220, "Journal"}, {221, "Map"}, {222, "Side-step"}, {223, "Next weapon"}, {224, "Next spell"},
};

struct PowerValues {
    int cost, highest, price;
};

IniSectionText PowerSection(const std::string& name, PowerValues v) {
    return {name,
            {{"utilisation", std::to_string(v.cost)},
             {"potentio", std::to_string(v.highest)},
             {"achatupgrade", std::to_string(v.price)}}};
}

const char* const kLevelNames[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "a", "b", "c", "d", "e"};

}  // namespace

std::vector<std::string> DemoMenuTexts() {
    int last = 0;
    for (const Slot& s : kMenuTexts) last = s.number > last ? s.number : last;
    std::vector<std::string> lines(size_t(last) + 1);
    for (const Slot& s : kMenuTexts) lines[size_t(s.number)] = s.text;
    return lines;
}

std::string TextFileBytes(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

std::string DemoGameplayIni(int mission) {
    const bool demo = mission == 22;
    std::vector<IniSectionText> sections = {{"GamePlay",
                                             {{"TendrilsDamage", demo ? "5" : "8"},
                                              {"DefaultShootFrequency", demo ? "2" : "3"},
                                              {"PowerEraseTendrils", demo ? "10" : "24"},
                                              {"TendrilsShootFrequency", demo ? "3" : "20"},
                                              {"TendrilsHealthMax", demo ? "30" : "45"},
                                              {"PowerDeathGhost", demo ? "2" : "3"},
                                              {"DrainBaseTime", demo ? "20" : "15"},
                                              {"StartEnergy", demo ? "200" : "120"},
                                              {"BonusEnergy", demo ? "50" : "80"},
                                              {"RecupMonster", demo ? "25" : "40"},
                                              {"RecupEntity", demo ? "10" : "20"}}}};
    // Costs grow with the row, prices fall with it; the demo mission's
    // powers are cheaper than mission 7's.
    for (int i = 0; i < 14; ++i)
        sections.push_back(PowerSection(std::string("w") + kLevelNames[i],
                                        {4 + i + (demo ? 0 : 2), i % 3 == 2 ? 8 : 12, (demo ? 120 : 150) - 5 * i}));
    for (int i = 0; i < 6; ++i)
        sections.push_back(PowerSection(std::string("m").append(std::to_string(i + 1)),
                                        {10 + 5 * i + (demo ? 0 : 5), i < 3 ? 12 : 1, (demo ? 70 : 90) + 10 * i}));
    return IniText(sections, true);
}

std::vector<NamedText> PlayerIniFixtures() {
    return {
        {"short-k.ini", "[Keys]\nk=11 1f\nqs=0 0 0 0\n"},
        {"qs-ff.ini", "[Keys]\nqs=ffffffff ff ff00 ff0000\n"},
        {"loud.ini", "[Options]\nMusicVol=1000\nSoundVol=-5\nVoiceVol=63\nSubTitles=no\n"},
        {"shortcuts.ini", "[Shortcut]\nSpell0= 1 ff  0 10  b  a  2 \nSpell1=zz  3\n"},
        {"blanks.ini", "[Keys]\nk= f  0 cd\nqs=  300 0 0 0\n[Shortcut]\nSpell1=  4\n"},
    };
}

std::vector<NamedText> GameplayIniFixtures() {
    return {
        {"no-gameplay.ini", "[w1]\nutilisation=3\n"},
        {"frequencies-0.ini",
         "[GamePlay]\nDefaultShootFrequency=0\nTendrilsShootFrequency=0\nDrainBaseTime=0\nRecupMonster=0\n"},
        {"missing-keys.ini", "[GamePlay]\nStartEnergy=40\n[m7]\nutilisation=99\n[wE]\npotentio=3\n"},
        {"negative.ini", "[GamePlay]\nStartEnergy=-2147483648\nTendrilsShootFrequency=-4\n[m1]\nutilisation=-9\n"},
    };
}

std::vector<ArchiveMember> DemoSettingsMembers(const std::string& archiveFolder) {
    std::vector<ArchiveMember> members;
    auto add = [&](const std::string& name, const std::string& text) {
        members.push_back({name, std::vector<uint8_t>(text.begin(), text.end())});
    };
    if (archiveFolder == "voice") add(".\\menus\\f_text.txt", TextFileBytes(DemoMenuTexts()));
    if (archiveFolder == "game")
        for (int mission : {22, 7}) add(".\\ms" + std::to_string(mission) + "\\gameplay.ini", DemoGameplayIni(mission));
    return members;
}

}  // namespace kit
