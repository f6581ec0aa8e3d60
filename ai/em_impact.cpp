// The enemy manager's hit report.
#include "ai/em_impact.h"

std::vector<ImpactCall> g_ImpactCalls;

int EM_ImpactEnemy(void* character, const char* weaponName) {
    if (g_ImpactCalls.size() >= 1024) g_ImpactCalls.erase(g_ImpactCalls.begin(), g_ImpactCalls.begin() + 512);
    g_ImpactCalls.push_back({character, weaponName ? weaponName : ""});
    return -1;
}
