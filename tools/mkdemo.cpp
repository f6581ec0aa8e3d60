// Builds the demo game directory from data/: the settings files as they
// stand, and the four resource archives packed from data/game, data/audio,
// data/voice and data/music (an empty archive where a folder holds
// nothing), with the members the kit generates added: the missions' 3D
// files and mission.mpl files, the characters' animations and the hero's
// morph targets, the effect set and the weapons' files in game.res, the sound effects in audio.res, in
// game.res and voice.res the pictures the kit paints, and in game.res the menu sprite
// sheets and bitmap fonts; beside them, loose, the intro video
// video\fmorvanel.qvs.  The missions' script.ana go into game.res, their
// dialogues, messages and voices into voice.res.  With --corpus it writes seed inputs for the fuzz
// targets.  The menu texts go into voice.res and the missions' gameplay.ini
// files into game.res.
//
//   mkdemo <data folder> <game folder>
//   mkdemo --corpus <folder>
#include "tools/kit/archive_writer.h"
#include "tools/kit/briefing_writer.h"
#include "tools/kit/cinematic_writer.h"
#include "tools/kit/byte_writer.h"
#include "tools/kit/demo_effects.h"
#include "tools/kit/demo_pictures.h"
#include "tools/kit/demo_settings.h"
#include "tools/kit/demo_intro.h"
#include "tools/kit/demo_sprites.h"
#include "tools/kit/ally_writer.h"
#include "tools/kit/drain_writer.h"
#include "tools/kit/drill_writer.h"
#include "tools/kit/esc_writer.h"
#include "tools/kit/ini_writer.h"
#include "tools/kit/journal_writer.h"
#include "tools/kit/mission_writer.h"
#include "tools/kit/shapes.h"
#include "tools/kit/qvs_writer.h"
#include "tools/kit/script_writer.h"
#include "tools/kit/sound_writer.h"
#include "tools/kit/sprite_list_writer.h"
#include "tools/kit/translation_writer.h"
#include "tools/kit/weapon_writer.h"
#include "tools/kit/wq6_writer.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct ArchiveSpec {
    const char* file;
    const char* folder;
    kit::DirectoryForm form;
};

// The main and voice archives keep a compressed directory, the others a
// plain one: the game reads both.
const ArchiveSpec kArchives[] = {
    {"game.res", "game", kit::DirectoryForm::Gzip},
    {"audio.res", "audio", kit::DirectoryForm::Plain},
    {"voice.res", "voice", kit::DirectoryForm::Gzip},
    {"music.res", "music", kit::DirectoryForm::Plain},
};

bool Hidden(const fs::path& relative) {
    for (const auto& part : relative)
        if (!part.empty() && part.string()[0] == '.') return true;
    return false;
}

bool CollectMembers(const fs::path& folder, std::vector<kit::ArchiveMember>* members) {
    if (!fs::is_directory(folder)) return true;
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        fs::path relative = fs::relative(entry.path(), folder);
        if (!Hidden(relative)) files.push_back(relative);
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& relative : files) {
        kit::ArchiveMember m;
        m.name = kit::MemberName(relative.generic_string());
        if (!kit::ReadBytes((folder / relative).string(), &m.data)) {
            std::fprintf(stderr, "mkdemo: cannot read %s\n", (folder / relative).c_str());
            return false;
        }
        members->push_back(std::move(m));
    }
    return true;
}

// Members made by the kit rather than kept in data/.
void AddGeneratedMembers(const std::string& folder, std::vector<kit::ArchiveMember>* members) {
    if (folder == "audio")
        for (kit::DemoSound& s : kit::DemoEffects()) members->push_back({s.member, std::move(s.file)});
    if (folder == "music")
        for (kit::DemoSound& s : kit::DemoMusic()) members->push_back({s.member, std::move(s.file)});
}

int BuildGame(const fs::path& data, const fs::path& game) {
    fs::create_directories(game);
    for (const char* name : {"config.ini", "registry.ini"}) {
        std::error_code ec;
        fs::copy_file(data / name, game / name, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            std::fprintf(stderr, "mkdemo: cannot copy %s: %s\n", name, ec.message().c_str());
            return 1;
        }
    }
    for (const ArchiveSpec& spec : kArchives) {
        std::vector<kit::ArchiveMember> members;
        if (!CollectMembers(data / spec.folder, &members)) return 1;
        if (std::string(spec.folder) == "game") {
            for (kit::NamedFile& f : kit::Demo3DFiles()) members.push_back({f.name, std::move(f.data)});
            for (kit::NamedFile& f : kit::DemoAnimationFiles()) members.push_back({f.name, std::move(f.data)});
            for (kit::NamedFile& f : kit::DemoHeroMorphFiles()) members.push_back({f.name, std::move(f.data)});
            for (kit::NamedFile& f : kit::DemoDrainAnimationFiles()) members.push_back({f.name, std::move(f.data)});
            for (kit::NamedFile& f : kit::DemoEffectFiles()) members.push_back({f.name, std::move(f.data)});
            for (kit::NamedFile& f : kit::DemoWeaponFiles()) members.push_back({f.name, std::move(f.data)});
            for (kit::NamedFile& f : kit::DemoShotEffectFiles()) members.push_back({f.name, std::move(f.data)});
            for (kit::NamedFile& f : kit::DemoMissionFiles()) members.push_back({f.name, std::move(f.data)});
            for (kit::NamedFile& f : kit::DemoDrillFiles()) members.push_back({f.name, std::move(f.data)});
            for (kit::NamedFile& f : kit::DemoCinematicFiles()) members.push_back({f.name, std::move(f.data)});
        }
        if (std::string(spec.folder) == "voice")
            members.push_back({".\\smp\\ms7\\cine\\cine1.snp", kit::DemoCinematicSound()});
        AddGeneratedMembers(spec.folder, &members);
        // Pictures the kit paints join the members of their archive.
        for (kit::ArchiveMember& m : kit::DemoPictureMembers(spec.folder)) members.push_back(std::move(m));
        // So do the sprite sheets and bitmap fonts.
        for (kit::ArchiveMember& m : kit::DemoSpriteMembers(spec.folder)) members.push_back(std::move(m));
        // And the menu texts and the missions' gameplay settings.
        for (kit::ArchiveMember& m : kit::DemoSettingsMembers(spec.folder)) members.push_back(std::move(m));
        // And the missions' translation files.
        for (kit::ArchiveMember& m : kit::DemoTranslationMembers(spec.folder)) members.push_back(std::move(m));
        // And the missions' scripted events, dialogues, messages and voices.
        for (kit::ArchiveMember& m : kit::DemoScriptMembers(spec.folder)) members.push_back(std::move(m));
        // And mission 7's briefing with its voice, and the credits text.
        for (kit::ArchiveMember& m : kit::DemoBriefingMembers(spec.folder)) members.push_back(std::move(m));
        std::vector<uint8_t> image;
        std::string error;
        if (!kit::BuildArchive(members, spec.form, &image, &error)) {
            std::fprintf(stderr, "mkdemo: %s: %s\n", spec.file, error.c_str());
            return 1;
        }
        if (!kit::WriteBytes((game / spec.file).string(), image)) {
            std::fprintf(stderr, "mkdemo: cannot write %s\n", (game / spec.file).c_str());
            return 1;
        }
    }
    // The intro video is read as a loose file from the game folder.
    fs::create_directories(game / "video");
    if (!kit::WriteBytes((game / "video" / "fmorvanel.qvs").string(), kit::DemoIntroStream())) {
        std::fprintf(stderr, "mkdemo: cannot write the intro video\n");
        return 1;
    }
    return 0;
}

// Seeds of the stream target: a first byte that names the reader (0 .snp,
// 1 .trk, 2 .wav, 3 .voc, 4 .snx compressed by the target, 5 .snx as it
// stands; bit 7 loops), then the file.
void BuildStreamCorpus(const fs::path& folder, const std::vector<int16_t>& tone, const kit::PcmSound& mono16,
                       const kit::PcmSound& stereo8) {
    fs::create_directories(folder);
    auto put = [&](const char* name, uint8_t kind, std::vector<uint8_t> file) {
        file.insert(file.begin(), kind);
        kit::WriteBytes((folder / name).string(), file);
    };
    put("mono.snp", 0, kit::SnpFile(kit::SnpSound{11025, 0x41, 64, 0, 0, {tone}}));
    put("stereo-loop.snp", 0x80, kit::SnpFile(kit::SnpSound{11025, 0x43, 48, 0, 0, {kit::Concat({tone, tone})}}));
    // Header flags that claim a compressed file on a plain one.
    put("marked.snp", 0, kit::SnpFile(kit::SnpSound{11025, 0x49, 32, 0, 0, {tone}}));
    put("three.trk", 1, kit::SnpFile(kit::SnpSound{11025, 0x41, 16, 0, 0, {tone, tone, tone}}));
    // Raw data with the block from the stream setting (no block in the header).
    put("raw.snp", 0, kit::SnpFile(kit::SnpSound{11025, 0x01, 0, 0, 0, {tone}}));
    put("mono16.wav", 2, kit::WavFile(mono16));
    put("stereo8-loop.voc", 0x83, kit::VocFile(stereo8));
    kit::ByteWriter snx;
    snx.U32(11025);
    snx.U32(uint32_t(stereo8.data.size()));
    snx.U32(0);
    snx.U32(0);
    snx.U8(0);
    snx.U8(1);
    snx.U8(1);
    for (int i = 0; i < 6; ++i) snx.U8(0);
    snx.Bytes(stereo8.data);
    put("stereo8-raw.snx", 4, snx.Take());
    put("mono16.snx", 5, kit::SnxFile(mono16, 0, 0, 1));
}

// Seeds of the sample file readers: each kind as the kit writes it.
void BuildSoundCorpus(const fs::path& folder) {
    for (const char* kind : {"wav", "voc", "snx", "snp"}) fs::create_directories(folder / kind);
    std::vector<int16_t> tone = kit::Tone(11025, 0.05, 440, 880, 0.5);
    std::vector<uint8_t> bytes8;
    for (int16_t v : tone) bytes8.push_back(uint8_t((v >> 8) + 128));
    kit::PcmSound mono16 = kit::Pcm16(tone, 11025, 1), stereo8 = kit::Pcm8(bytes8, 11025, 2);
    kit::WriteBytes((folder / "wav" / "mono16.wav").string(), kit::WavFile(mono16));
    kit::WriteBytes((folder / "wav" / "stereo8-fmt18.wav").string(), kit::WavFile(stereo8, {18, 1, ""}));
    kit::WriteBytes((folder / "voc" / "mono16.voc").string(), kit::VocFile(mono16));
    kit::WriteBytes((folder / "voc" / "stereo8.voc").string(), kit::VocFile(stereo8));
    // The snx target gzips its input after a first byte of 1, or takes the
    // rest as a finished file after a 0.
    std::vector<uint8_t> snx = kit::SnxFile(mono16, 0, 100, 4);
    snx.insert(snx.begin(), 0);
    kit::WriteBytes((folder / "snx" / "mono16.snx").string(), snx);
    kit::ByteWriter raw;
    raw.U8(1);
    raw.U32(11025);
    raw.U32(uint32_t(stereo8.data.size()));
    raw.U32(0);
    raw.U32(0);
    raw.U8(0);
    raw.U8(1);
    raw.U8(1);
    for (int i = 0; i < 6; ++i) raw.U8(0);
    raw.Bytes(stereo8.data);
    kit::WriteBytes((folder / "snx" / "stereo8-raw.snx").string(), raw.Take());
    kit::SnpSound mono{11025, 0x41, 64, 0, 0, {tone}};
    kit::SnpSound stereo{11025, 0x43, 32, 0, 0, {kit::Concat({tone, tone})}};
    kit::SnpSound three{11025, 0x41, 16, 0, 0, {tone, tone, tone}};
    kit::WriteBytes((folder / "snp" / "mono.snp").string(), kit::SnpFile(mono));
    kit::WriteBytes((folder / "snp" / "stereo.snp").string(), kit::SnpFile(stereo));
    kit::WriteBytes((folder / "snp" / "three.trk").string(), kit::SnpFile(three));
    BuildStreamCorpus(folder / "strm", tone, mono16, stereo8);
}

// F3DC seeds: the demo's 3D files and one block of every other type.
int BuildObjectCorpus(const fs::path& folder) {
    fs::create_directories(folder);
    int n = 0;
    auto put = [&](const std::vector<uint8_t>& bytes) {
        kit::WriteBytes((folder / ("seed" + std::to_string(n++) + ".3dc")).string(), bytes);
    };
    for (const kit::NamedFile& f : kit::Demo3DFiles())
        if (f.data.size() < 65536) put(f.data);
    // The drills' models and sway animations.
    for (const kit::NamedFile& f : kit::DemoDrillFiles())
        if (f.name.rfind(".\\all\\", 0) == 0 && f.name.compare(f.name.size() - 4, 4, ".mor") != 0) put(f.data);
    kit::TrackSpec track{30, {{0, {0, 0, 0, 32768}}, {30, {0, 23170, 0, 23170}}}, {{0, {0, 0, 0}}, {30, {100, 0, 0}}}};
    put(kit::BuildAnimation({track, track}, false, nullptr));
    put(kit::BuildAnimation({track}, true, nullptr));
    put(kit::BuildElements({{1, 2, 3, 4}, {5, 6, 7, 8}}, nullptr));
    put(kit::BuildRaw({9, 8, 7, 6, 5}));
    kit::ObjectSpec typed = kit::Cube("typed", 10, 0x1234);
    typed.nodes[0].groups.push_back({22, "", 0, {}});
    kit::AddQuad(&typed.nodes[0], 1, {{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}}}, {0, 0, -50});
    typed.nodes[0].groups.push_back({5, "", 0, {}});
    put(kit::BuildObject(typed, nullptr));
    // Models whose files are no textures: the fuzz target's raw block, and
    // the input itself.
    for (const char* file : {"raw", "input"}) {
        kit::ObjectSpec skinned = kit::Cube("skinned", 10, 0x1234);
        skinned.nodes[0].groups.push_back({2, "skin", 0, {}});
        kit::AddQuad(&skinned.nodes[0], 1, {{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}}}, {0, 0, -50});
        skinned.models = {{"skin", file}};
        put(kit::BuildObject(skinned, nullptr));
    }
    // An object whose element 0 is a camera node (second flags bit 2), with
    // parts under it.
    kit::ObjectSpec eye = kit::Character("eye", 0x1F);
    eye.nodes[0].flags2 = 0x04;
    put(kit::BuildObject(eye, nullptr));
    return 0;
}

// Seeds of the sound-levels reader: a full set and an odd one.
void BuildSoundLevelsCorpus(const fs::path& folder) {
    fs::create_directories(folder);
    std::string full = kit::IniText(
        {{"default", {{"NormalSoundTrack", ".\\smp\\music\\m22n.snp"}, {"Open", ".\\a.wav"}, {"Walksound", ".\\b.wav"}}},
         {"Hall", {{"Walksound", "none"}, {"Runsound", "default"}, {"Preset", "HALL"}}},
         {"Hall:door12", {{"Open", ".\\a.wav"}, {"Locked", "default"}}},
         {"Crypt", {{"Ambiant", ".\\c.wav"}}},
         {"guard", {{"Shot", ".\\a.wav"}, {"Wait", "NONE"}}}},
        true);
    std::string odd = "[default]\nOpen=\n[Hall:]\nOpen = none \n[:door12]\n[guard]\nDeath=default\n";
    kit::WriteBytes((folder / "full.txt").string(), {full.begin(), full.end()});
    kit::WriteBytes((folder / "odd.txt").string(), {odd.begin(), odd.end()});
}

// Collision seeds: the demo rooms' collision files and the kit's fixtures.
int BuildCollisionCorpus(const fs::path& folder) {
    fs::create_directories(folder);
    int n = 0;
    auto put = [&](const kit::CollisionSpec& spec) {
        kit::WriteBytes((folder / ("seed" + std::to_string(n++) + ".3dc")).string(), kit::BuildCollision(spec, nullptr));
    };
    kit::RoomShape room;
    put(kit::RoomCollision(room));
    put(kit::SolidBoxCollision({-100, 0, -100}, {100, 1218, 100}));
    put(kit::FanCollision(12, {0, 600, 0}, 400));
    kit::CollisionSpec line;
    line.parts = {"line"};
    line.vertices = {{0, 0, 0}, {500, 0, 0}, {1000, 0, 0}};
    line.faces = {{{0, 1, 2}, 0, 0}};
    put(line);
    return 0;
}

// Seeds of the effect and morph readers: the demo set's files and the
// forms the readers must take (no morph tracks, version 3, a short table,
// a morph without groups).
void BuildEffectCorpus(const fs::path& folder) {
    for (const char* kind : {"cgs", "eff", "cls", "mor"}) fs::create_directories(folder / kind);
    auto put = [&](const char* kind, const std::string& name, const std::vector<uint8_t>& bytes) {
        kit::WriteBytes((folder / kind / name).string(), bytes);
    };
    for (const kit::NamedFile& f : kit::DemoEffectFiles()) {
        std::string ext = f.name.substr(f.name.rfind('.') + 1);
        if (ext == "cgs" || ext == "eff" || ext == "cls") put(ext.c_str(), "demo." + ext, f.data);
    }
    // The shots: the bolt's projectile timing, the burst's scale track.
    int shot = 0;
    for (const kit::NamedFile& f : kit::DemoShotEffectFiles()) {
        std::string ext = f.name.substr(f.name.rfind('.') + 1);
        if (ext == "cgs" || ext == "eff" || ext == "cls")
            put(ext.c_str(), "shot" + std::to_string(shot++) + "." + ext, f.data);
    }
    kit::CgsRecordSpec two = {3, 4, "*", ".\\effects\\dezavivo", "*", "tete"};
    put("cgs", "two.cgs", kit::CgsFile({two, two}, 7));
    put("cgs", "header.cgs", kit::CgsFile({}, 1));
    kit::EffSpec eff = kit::FlashSet().eff;
    eff.withMorphs = false;
    put("eff", "nomorph.eff", kit::EffFile(eff));
    kit::ClsSpec cls = kit::FlashSet().cls;
    cls.version = 3;
    put("cls", "v3.cls", kit::ClsFile(cls));
    cls.version = 4;
    cls.table.resize(5);
    put("cls", "short.cls", kit::ClsFile(cls));
    kit::MorSpec mor;
    mor.targets = {{"~hand", {{0, 0, 0}, {24, 0, 0}, {24, 24, 0}, {0, 24, 0}}}, {"open", {{-8, -8, 0}, {32, -8, 0}, {32, 32, 0}, {-8, 32, 0}}}};
    mor.groups = {{"repere", {{1, "~hand"}, {10, "open"}, {20, "~hand"}}}};
    put("mor", "hand.mor", kit::MorFile(mor));
    put("mor", "drill.mor", kit::MorFile(kit::DrillMorph()));
    put("mor", "herorun.mor", kit::MorFile(kit::HeroRunMorph()));
    mor.withGroups = false;
    put("mor", "targets.mor", kit::MorFile(mor));
}

// Seeds of the mission target: the demo missions, the same missions in
// layout versions 2 and 3, and the malformed variants.
void BuildMissionCorpus(const fs::path& folder) {
    fs::create_directories(folder);
    for (const auto& [name, spec] : {std::pair{"ms22", kit::DemoMission22()}, std::pair{"ms7", kit::DemoMission7()}}) {
        for (uint8_t version : {2, 3, 4}) {
            kit::MissionSpec s = spec;
            s.version = version;
            kit::WriteBytes((folder / (std::string(name) + "-v" + std::to_string(version) + ".mpl")).string(),
                            kit::MissionFile(s));
        }
        for (const kit::MplVariant& v : kit::MalformedMissionFiles(spec))
            kit::WriteBytes((folder / (std::string(name) + "-" + v.name + ".mpl")).string(), v.bytes);
    }
}

// Seeds of the drain table's save block, read for a mission of three rooms:
// a drain of each state, and the malformed variants.
void BuildDrainCorpus(const fs::path& folder) {
    fs::create_directories(folder);
    const std::vector<kit::DrainSpec> records = {
        {0, 0, 20, 0, {0, 0, 0}, 0},
        {0, 40, 40, 1, {300, 1210, -500}, 1},
        {12000, 60, 80, 2, {-700, 1210, 250}, 1},
    };
    kit::WriteBytes((folder / "three-rooms.bin").string(), kit::DrainBlock(3, records));
    for (const kit::DrainVariant& v : kit::MalformedDrainBlocks(records))
        kit::WriteBytes((folder / (v.name + ".bin")).string(), v.bytes);
}

// Seeds of the strategy script target: the demo missions' scripts and the
// malformed variants.
void BuildEscCorpus(const fs::path& folder) {
    fs::create_directories(folder);
    for (int mission : {22, 7})
        kit::WriteBytes((folder / ("ms" + std::to_string(mission) + ".esc")).string(),
                        kit::EscFile(kit::DemoScript(mission)));
    // The scripts as the missions ship them, with the summoned allies'
    // entries: ".\ms7\ENEMIES.ESC" as "ms7-game.esc".
    for (const kit::NamedFile& f : kit::DemoScriptFiles()) {
        const std::string mission = f.name.substr(2, f.name.find('\\', 2) - 2);
        kit::WriteBytes((folder / (mission + "-game.esc")).string(), f.data);
    }
    for (const kit::EscVariant& v : kit::MalformedEscFiles())
        kit::WriteBytes((folder / (v.name + ".esc")).string(), v.bytes);
}

// Seeds of the summoned allies' save block: none called, one called with
// its time left, both called; the short and the odd blocks.
void BuildAllyCorpus(const fs::path& folder) {
    fs::create_directories(folder);
    kit::WriteBytes((folder / "created.bin").string(), kit::AllyBlock({{1, 0}, {1, 0}}));
    kit::WriteBytes((folder / "spirit-called.bin").string(), kit::AllyBlock({{1, 0}, {3, 1400}}));
    kit::WriteBytes((folder / "both-called.bin").string(), kit::AllyBlock({{3, 2100}, {3, 70}}));
    for (const kit::AllyVariant& v : kit::ShortAllyBlocks({{3, 2100}, {3, 70}}))
        kit::WriteBytes((folder / (v.name + ".bin")).string(), v.bytes);
    for (const kit::AllyVariant& v : kit::OddAllyBlocks()) kit::WriteBytes((folder / (v.name + ".bin")).string(), v.bytes);
}

// Seeds of the weapon file reader (the demo's three and the malformed
// variants of the blaster's) and of the weapon save block (read for a
// mission with a blaster, a grenade and a barrier).
void BuildWeaponCorpus(const fs::path& cws, const fs::path& block) {
    fs::create_directories(cws);
    fs::create_directories(block);
    kit::WriteBytes((cws / "pkbl.cws").string(), kit::CwsFile(kit::DemoBlaster()));
    kit::WriteBytes((cws / "gren.cws").string(), kit::CwsFile(kit::DemoGrenade()));
    kit::WriteBytes((cws / "barr.cws").string(), kit::CwsFile(kit::DemoBarrier()));
    for (const kit::WeaponVariant& v : kit::MalformedCwsFiles(kit::DemoBlaster()))
        kit::WriteBytes((cws / (v.name + ".cws")).string(), v.bytes);
    const std::vector<kit::WeaponSaveEntry> entries = {
        {0, 0, 7, 0xFFFFFFFFu, 0, 12, 5, 0, "Pulse blaster"},
        {4, 3000, 1, 1000, 1200, 1, 4, 1, "GRENADE0"},
        {14, 10000, 1, 0xFFFFFFFFu, 10000, 1, 4, 0, "BARRIEREH0"},
    };
    kit::WriteBytes((block / "three.bin").string(), kit::WeaponSaveBlock(entries));
    kit::WriteBytes((block / "empty.bin").string(), kit::WeaponSaveBlock({}));
    for (const kit::WeaponVariant& v : kit::MalformedWeaponSaveBlocks(entries))
        kit::WriteBytes((block / (v.name + ".bin")).string(), v.bytes);
}

// Seeds of the player.ini, gameplay.ini and menu text readers: the files
// the program writes and ships, and the kit's odd ones.
void BuildSettingsCorpus(const fs::path& folder) {
    fs::create_directories(folder / "playerini");
    fs::create_directories(folder / "gameplay");
    auto put = [](const fs::path& path, const std::string& text) {
        kit::WriteBytes(path.string(), std::vector<uint8_t>(text.begin(), text.end()));
    };
    put(folder / "playerini" / "written.ini",
        "[Keys]\nk=c8 d0 cd cb 4e 4a 10 1e 2a 1c 39 3f 12 17 3e 3d 13  f 38 2c 1f \nqs=820100 0 0 0\n"
        "[Options]\nMusicVol=40\nSoundVol=32\nVoiceVol=12\nSubTitles=yes\nFastScroll=no\nEntityPts=yes\n"
        "[Shortcut]\nSpell0= 1  0  0  0  0  0  0 \nSpell1= 0  2  0  0  0  0  0  0  0  0  0  0  0  0 \n");
    for (const kit::NamedText& f : kit::PlayerIniFixtures()) put(folder / "playerini" / f.name, f.text);
    for (int mission : {22, 7})
        put(folder / "gameplay" / ("ms" + std::to_string(mission) + ".ini"), kit::DemoGameplayIni(mission));
    for (const kit::NamedText& f : kit::GameplayIniFixtures()) put(folder / "gameplay" / f.name, f.text);
    // The menu texts: the demo's file, and lines that are too many, too
    // long, end the file early or hold conversions no caller fills.
    fs::create_directories(folder / "menutext");
    put(folder / "menutext" / "f_text.txt", kit::TextFileBytes(kit::DemoMenuTexts()));
    std::vector<std::string> odd(300, "%s %d %n %*d %%");
    odd[2] = std::string(700, 'x');
    odd[93] = "%s%s%s%s";
    odd[132] = "%d %d %d %d %5.2f";
    odd[260] = "@ the end";
    put(folder / "menutext" / "odd.txt", kit::TextFileBytes(odd));
    // The translation files: the demo's, and lines that are too long, too
    // many, empty, end the file early or end without a line feed.
    fs::create_directories(folder / "strings");
    for (int mission : {22, 7})
        put(folder / "strings" / ("ms" + std::to_string(mission) + ".txt"),
            kit::TextFileBytes(kit::DemoTranslations(mission)));
    std::vector<std::string> many(80, "name");
    many[0] = std::string(300, 'y');
    many[1] = "";
    many[3] = "%s%n";
    many[60] = "@";
    put(folder / "strings" / "odd.txt", kit::TextFileBytes(many));
    put(folder / "strings" / "bare.txt", "Hall\rCrypt\n\nkey");
}

// Seeds of the event script reader (the demo missions' scripts, the
// malformed and the faulty ones) and of the dialogue and message texts.
void BuildScriptCorpus(const fs::path& scripts, const fs::path& texts) {
    fs::create_directories(scripts);
    fs::create_directories(texts);
    for (int mission : {22, 7}) {
        const std::string name = "ms" + std::to_string(mission);
        kit::WriteBytes((scripts / (name + ".ana")).string(), kit::ScriptFile(kit::DemoEvents(mission)));
        std::string dial = kit::TextFileBytes(kit::DemoDialogue(mission));
        std::string message = kit::TextFileBytes(kit::DemoMessage(mission, 1));
        kit::WriteBytes((texts / (name + "-dial.txt")).string(), {dial.begin(), dial.end()});
        kit::WriteBytes((texts / (name + "-mes1.txt")).string(), {message.begin(), message.end()});
    }
    for (const auto& list : {kit::MalformedScriptFiles(), kit::FaultyEventScripts()})
        for (const kit::ScriptVariant& v : list) kit::WriteBytes((scripts / (v.name + ".ana")).string(), v.bytes);
    for (const auto& [name, text] : kit::OddDialogueTexts())
        kit::WriteBytes((texts / name).string(), {text.begin(), text.end()});
}

int BuildCorpus(const fs::path& folder) {
    BuildSettingsCorpus(folder);
    BuildScriptCorpus(folder / "script", folder / "dialtext");
    BuildSoundCorpus(folder);
    BuildMissionCorpus(folder / "mpl");
    fs::create_directories(folder / "journal");
    for (const kit::JournalFixture& f : kit::JournalFixtures())
        kit::WriteBytes((folder / "journal" / (std::string(f.name) + ".jnl")).string(), f.bytes);
    BuildDrainCorpus(folder / "drains");
    fs::create_directories(folder / "cam");
    fs::create_directories(folder / "hid");
    for (const kit::CamVariant& v : kit::CamVariants())
        kit::WriteBytes((folder / "cam" / (v.name + ".cam")).string(), v.bytes);
    kit::WriteBytes((folder / "hid" / "cine11.hid").string(), kit::HidFileBytes(kit::DemoCine1Actor1Visibility()));
    kit::WriteBytes((folder / "hid" / "negative.hid").string(), kit::HidFileBytes({4, 80, {5}, -3}));
    BuildEscCorpus(folder / "esc");
    BuildAllyCorpus(folder / "allies");
    BuildWeaponCorpus(folder / "cws", folder / "weapons");
    BuildEffectCorpus(folder);
    BuildSoundLevelsCorpus(folder / "sndlev");
    fs::create_directories(folder / "archive");
    fs::create_directories(folder / "ini");
    std::vector<kit::ArchiveMember> members = {
        {".\\ms22\\mission.mpl", std::vector<uint8_t>(64, 7)},
        {".\\menus\\f_text.txt", {'o', 'n', 'e', '\r', '\n', 't', 'w', 'o', '\n'}},
        {".\\empty", {}},
    };
    std::vector<uint8_t> plain, gz, none;
    kit::BuildArchive(members, kit::DirectoryForm::Plain, &plain, nullptr);
    kit::BuildArchive(members, kit::DirectoryForm::Gzip, &gz, nullptr);
    kit::BuildArchive({}, kit::DirectoryForm::Plain, &none, nullptr);
    kit::WriteBytes((folder / "archive" / "plain.res").string(), plain);
    kit::WriteBytes((folder / "archive" / "gzip.res").string(), gz);
    kit::WriteBytes((folder / "archive" / "empty.res").string(), none);
    std::string config = kit::IniText({{"Game", {{"Option", "4"}, {"Mission", "0x10"}, {"Langue", "english"}}},
                                       {"Sound", {{"Disable", "Yes"}, {"Device", "010"}}},
                                       {"Video", {{"Windowed", "1"}}}},
                                      true);
    std::string odd = "; comment\n[Game\nA = 1\n[]\nxy\n[S]\nk=v@w\n";
    kit::WriteBytes((folder / "ini" / "config.ini").string(), {config.begin(), config.end()});
    kit::WriteBytes((folder / "ini" / "odd.ini").string(), {odd.begin(), odd.end()});
    // Video streams: the kit's family of good and malformed streams, and
    // small intros in the project's codec with sound, whole and damaged.
    fs::create_directories(folder / "qvs");
    for (const kit::QvsFixture& f : kit::QvsFixtureFamily())
        kit::WriteBytes((folder / "qvs" / (f.name + ".qvs")).string(), f.bytes);
    const kit::IntroOptions strip{512, 16, 36, 1};
    kit::WriteBytes((folder / "qvs" / "intro-strip.qvs").string(), kit::IntroStream(strip));
    for (const kit::DamagedIntro& d : kit::DamagedIntroStreams(strip, 5))
        kit::WriteBytes((folder / "qvs" / ("intro-" + d.name + ".qvs")).string(), d.bytes);
    // Video frames of the project's codec: a key frame and a delta frame of
    // a small intro, each behind the width and height less 1 (16 bits each)
    // the target decodes at.
    fs::create_directories(folder / "wq6");
    kit::IntroOptions small{64, 48, 2, 0};
    std::vector<uint16_t> first = kit::IntroFrame(small, 0), second = kit::IntroFrame(small, 1);
    std::vector<uint8_t> key = kit::EncodeWq6Frame(first.data(), nullptr, 64, 48);
    std::vector<uint8_t> delta = kit::EncodeWq6Frame(second.data(), first.data(), 64, 48);
    for (auto* frame : {&key, &delta}) frame->insert(frame->begin(), {63, 0, 47, 0});
    kit::WriteBytes((folder / "wq6" / "key.wq6").string(), key);
    kit::WriteBytes((folder / "wq6" / "delta.wq6").string(), delta);
    // Cut lists: the demo sheets' own, and one that reaches outside its sheet.
    fs::create_directories(folder / "spc");
    for (const kit::ArchiveMember& m : kit::DemoSpriteMembers("game"))
        if (m.name.size() > 4 && m.name.compare(m.name.size() - 4, 4, ".spc") == 0)
            kit::WriteBytes((folder / "spc" / m.name.substr(8)).string(), m.data);
    kit::WriteBytes((folder / "spc" / "outside.spc").string(),
                    kit::SpriteListBytes({{-5, -5, 3, 3}, {30, 20, 60, 40}, {9, 9, 2, 2}, {0, 0, 0, 0}}));
    if (!kit::WritePictureCorpus((folder / "picture").string())) {
        std::fprintf(stderr, "mkdemo: cannot write the picture seeds\n");
        return 1;
    }
    if (BuildCollisionCorpus(folder / "collision") != 0) return 1;
    return BuildObjectCorpus(folder / "f3dc");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--corpus") return BuildCorpus(argv[2]);
    if (argc != 3) {
        std::fprintf(stderr, "usage: mkdemo <data folder> <game folder>\n       mkdemo --corpus <folder>\n");
        return 2;
    }
    return BuildGame(argv[1], argv[2]);
}
