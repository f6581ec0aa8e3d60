// The effects engine on the virtual clock: a scripted timeline of mixed
// effects (time-based frames for aimed and other sets, speed and delay, a
// forced frame, the sound at the frame after its record, texture cells,
// projectiles hitting within 260 units and missing, one pass, two passes,
// forever, freed), every change and every call to the game written to a
// log compared with tests/golden/effects_timeline.txt.
//
// MORVANEL_UPDATE_GOLDENS=1 writes the log over the golden file.
#include "fx_support.h"

#include "engine3d/dqx_obj.h"
#include "golden_files.h"

#include <cstdarg>
#include <cstdio>
#include <map>

namespace test {
namespace {

std::string g_Log;

void Line(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Line(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    g_Log += text;
    g_Log += "\n";
}

class Timeline : public EffectsTest {
protected:
    void SetUp() override {
        EffectsTest::SetUp();
        g_Log.clear();
        self_ = this;
        for (const kit::NamedFile& f : kit::DemoEffectFiles()) Put(f.name, f.data);
        kit::CgsRecordSpec sound;
        sound.soundFrame = 2;
        sound.sound = ".\\smp\\effets\\tir.wav";
        PutEffect(".\\fx\\plain", SimpleSet(8, Timing(15)), sound);
        kit::CgsRecordSpec late;
        late.startDelay = 2;
        PutEffect(".\\fx\\late", SimpleSet(8, Timing(15)), late);
        PutEffect(".\\fx\\aimed", SimpleSet(12, Timing(20)));
        PutEffect(".\\fx\\loop", SimpleSet(4, Timing(15)));
        PutEffect(".\\fx\\long", SimpleSet(26, Timing(15)));
        kit::ClsSpec bolt = Timing(15);
        bolt.projectile = 1;
        PutEffect(".\\fx\\bolt", SimpleSet(30, bolt));
        PutEffect(".\\fx\\short", SimpleSet(10, bolt));
        // Each call is logged as it is made (the owner named while it
        // exists), then handed to the routine the program installs.
        saved_ = EngineServices;
        EngineServices.PlaySound = [](int32_t owner, const char* name, int loop, int priority, int archive) {
            Line("        sound %s on %s loop %d priority %d archive %d", name, Get_ObjName(owner), loop, priority,
                 archive);
            saved_.PlaySound(owner, name, loop, priority, archive);
        };
        EngineServices.HitCharacter = [](const HitArgs* hit) {
            Line("        game HitCharacter %s damage %d hit value %d", self_->Who(hit->target.record), hit->damage,
                 hit->hitValue);
            saved_.HitCharacter(hit);
        };
        EngineServices.SetCharacterAnim = [](void* c, int32_t code) {
            Line("        game SetCharacterAnim %s %d", self_->Who(c), code);
            saved_.SetCharacterAnim(c, code);
        };
        EngineServices.SetLifeStanceAnim = [](void* c) {
            Line("        game SetLifeStanceAnim %s", self_->Who(c));
            saved_.SetLifeStanceAnim(c);
        };
        EngineServices.ImpactEnemy = [](void* c, const char* weapon) {
            Line("        enemy manager impact %s weapon %s", self_->Who(c), weapon);
            saved_.ImpactEnemy(c, weapon);
        };
    }
    const char* Who(const void* c) const {
        if (c == &characters_[0]) return "hero";
        if (c == &characters_[1]) return "guard";
        if (c == &characters_[2]) return "enemy";
        return "?";
    }
    int Start(const char* label, int instance) {
        Line("        start %s: effect %d slots %s", label, instance, SlotList(instance).c_str());
        labels_[instance] = label;
        for (int s : InstanceSlots(instance)) slotLabels_[s] = label;
        return instance;
    }
    std::string SlotList(int instance) {
        std::string out;
        for (int s : InstanceSlots(instance)) out.append(out.empty() ? "" : ",").append(std::to_string(s));
        return out;
    }
    // One frame: the update, then what changed.
    void Frame(uint32_t t) {
        size_t games = g_GameCalls.size(), impacts = g_ImpactCalls.size(), sounds = g_SfxPlayCalls.size();
        std::string before = g_Log;
        g_Log.clear();
        StepTo(t);
        std::string calls = g_Log;
        g_Log = before;
        std::string lines;
        for (int s = 0; s < kEffectSlots; ++s) {
            std::string state = SlotState(s);
            if (state == states_[s]) continue;
            if (!(state == "free" && states_[s].empty())) {
                char text[160];
                std::snprintf(text, sizeof text, "        slot %2d %-6s %s", s, slotLabels_[s].c_str(), state.c_str());
                lines += text;
                lines += "\n";
            }
            states_[s] = state;
        }
        // The routines the program installs saw the same calls.
        EXPECT_EQ(calls.empty(), g_GameCalls.size() == games && g_ImpactCalls.size() == impacts &&
                                     g_SfxPlayCalls.size() == sounds);
        for (auto& [instance, label] : labels_) {
            if (Get_EffectParam(instance) >= 0 || ended_[instance]) continue;
            ended_[instance] = true;
            calls += "        effect " + std::to_string(instance) + " (" + label + ") ends\n";
        }
        if (lines.empty() && calls.empty()) return;
        Line("t=%u", t);
        g_Log += lines + calls;
    }

    static Timeline* self_;
    static EngineServiceHooks saved_;
    std::string states_[kEffectSlots];
    std::string slotLabels_[kEffectSlots];
    std::map<int, std::string> labels_;
    std::map<int, bool> ended_;
};
Timeline* Timeline::self_ = nullptr;
EngineServiceHooks Timeline::saved_;

TEST_F(Timeline, MixedEffectsMatchTheirGoldenLog) {
    Vec3 source{0, 0, 0}, atEnemy{600, 0, 1200}, atGuard{0, 0, 1200}, atHero{0, 0, 0}, far{0, 0, 20000};
    Vec3 enemySource{600, 0, 1200};
    Line("starts");
    Start("plain", Q3D_FXInit(".\\fx\\plain.cgs", prop_, 1.0f, 1, 0, 0));
    Start("double", Q3D_FXInit(".\\fx\\plain.cgs", prop_, 2.0f, 1, 0, 0));
    Start("late", Q3D_FXInit(".\\fx\\late.cgs", prop_, 1.0f, 1, 0, 0));
    Start("aimed", Q3D_FXInit(".\\fx\\aimed.cgs", prop_, 1.0f, 1, 1, 0));
    Start("flash", Q3D_FXInit(".\\effects\\dezavivo.cgs", hero().model, 1.0f, 1, 0, 0));
    int forever = Start("ever", Q3D_FXInit(".\\fx\\loop.cgs", prop_, 1.0f, -1, 0, 0));
    Start("twice", Q3D_FXInit(".\\fx\\loop.cgs", prop_, 1.0f, 2, 0, 0));
    int longer = Start("forced", Q3D_FXInit(".\\fx\\long.cgs", prop_, 1.0f, 1, 0, 0));
    Start("bolt1", Q3D_FXInit2(".\\fx\\bolt.cgs", &atEnemy, &source, &hero(), AtCharacter(&enemy()), 4));
    Start("bolt2", Q3D_FXInit2(".\\fx\\bolt.cgs", &atGuard, &source, &hero(), AtCharacter(&guard()), 5));
    Start("bolt3", Q3D_FXInit2(".\\fx\\bolt.cgs", &atHero, &enemySource, &enemy(), AtCharacter(&hero()), 6));
    Start("miss", Q3D_FXInit2(".\\fx\\short.cgs", &far, &source, nullptr, kNoTarget, 7));
    int forcedSlot = InstanceSlots(longer)[0];
    for (uint32_t t = 0; t <= 1749; t += 33) {
        if (t == 330) {
            Line("t=%u force frame 20", t);
            Set_EffectSetParam(20, forcedSlot);
        } else if (t == 495) {
            Line("t=%u force frame 0", t);
            Set_EffectSetParam(0, forcedSlot);
        } else if (t == 594) {
            Line("t=%u frame back to time", t);
            Set_EffectSetParam(-1, forcedSlot);
        } else if (t == 924) {
            Line("t=%u free effect %d", t, forever);
            Free_Effect(forever);
        }
        Frame(t);
    }
    for (const EffectSlot& s : g_EffectSlots) EXPECT_FALSE(s.inUse);
    ExpectTextGolden("effects_timeline.txt", g_Log);
}

}  // namespace
}  // namespace test
