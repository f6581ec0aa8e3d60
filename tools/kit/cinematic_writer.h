// In-engine cinematics: the camera track file (.cam), the actors'
// visibility files (.hid), mission 7's cinematic "cine\cine1" with its scene
// and actor models, and the malformed track files the tests use.
#pragma once

#include "tools/kit/shapes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kit {

struct CamPoint {
    int32_t frame;
    float x, y, z;
};
struct CamRotation {
    int32_t frame;
    float angle;
    float x, y, z;
};
struct CamValue {
    int32_t frame;
    float value;
};
struct CamMorphKey {
    int32_t frame;
    std::string name;  // at most 15 characters
};
struct CamActor {
    std::string name;  // at most 15 characters
    std::vector<CamMorphKey> keys;
};
struct CamSpec {
    int32_t mode = 1;
    bool hasOffset = false;
    float offset[3] = {0, 0, 0};
    bool hasRotation = false;
    std::vector<CamPoint> positions;
    std::vector<CamRotation> rotations;
    std::vector<CamPoint> eyes;
    std::vector<CamValue> lenses;
    std::vector<CamValue> rolls;
    std::vector<CamPoint> targets;
    // The optional tail: written when set (actors only after events).
    std::optional<std::vector<std::pair<int32_t, int32_t>>> events;
    std::optional<std::vector<CamActor>> actors;
    // Counts written instead of the true ones (-1: the true one), for the
    // malformed files: eye count, actor count.
    int32_t eyeCountWritten = -1;
};
// The file, field by field, little-endian.
std::vector<uint8_t> CamFileBytes(const CamSpec& spec);

struct HidSpec {
    int32_t fadeLength = 0;
    int32_t percent = 100;
    std::vector<int32_t> keys;
    int32_t countWritten = -1;  // -1: keys.size()
};
std::vector<uint8_t> HidFileBytes(const HidSpec& spec);

// Mission 7's cinematic ".\ms7\cine\cine1": its .cam holds every item, one
// morphed actor "flag" with keys on the scene parts "~flag1" and "flag2".
constexpr int32_t kCine1Frames = 30;
CamSpec DemoCine1Tracks();
// The scene: root "stage", a hidden helper "*", the morphed part "flag" and
// its key shapes "~flag1" (its own shape) and "flag2" (twice as tall).
ObjectSpec DemoCine1Scene();
// Actor 1: a cube that fades in at frame 5 and out at frame 20.
HidSpec DemoCine1Actor1Visibility();
// Every file of the cinematic (scene, animation, actor 1, its .hid) under
// its game name.
std::vector<NamedFile> DemoCinematicFiles();
// The cinematic's sound ".\smp\ms7\cine\cine1.snp" (a short tone).
std::vector<uint8_t> DemoCinematicSound();

// Malformed and partial track files: name, bytes, whether the reader loads
// it (1) or refuses it (-1).
struct CamVariant {
    std::string name;
    std::vector<uint8_t> bytes;
    int answer;
};
// "full", "tailless" (ends after item 13), "events-only", "zero-keys",
// "equal-frames", "negative-count", "huge-count", "cut-mandatory"
// (inside the eye keys), "cut-actor" (inside an actor's keys).
std::vector<CamVariant> CamVariants();

}  // namespace kit
