// The media control interface: every command answers success and is kept.
#include "host/mci.h"

#include <mutex>

namespace host {

namespace {

constexpr size_t kKeptCommands = 256;

std::mutex g_mciLock;
std::vector<std::string> g_commands;

}  // namespace

uint32_t MciSendString(const char* command, char* answer, uint32_t answerSize, HWND) {
    if (answer && answerSize) answer[0] = 0;
    std::lock_guard<std::mutex> lock(g_mciLock);
    if (g_commands.size() >= kKeptCommands) g_commands.erase(g_commands.begin());
    g_commands.emplace_back(command ? command : "");
    return 0;
}

uint32_t AuxSetVolume(uint32_t, uint32_t) {
    return 0;
}

const std::vector<std::string>& MciCommands() {
    return g_commands;
}

void ClearMciCommands() {
    std::lock_guard<std::mutex> lock(g_mciLock);
    g_commands.clear();
}

}  // namespace host
