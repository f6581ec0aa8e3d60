// The briefing and credits texts: plain text files of lines (CR LF), read
// up to 64 lines (briefing) or 256 (credits).  A briefing lives in the
// directory of its briefing number, ".\ms<n>\<language>_brief.txt", with its
// voice ".\smp\ms<n>\<language>brief1.snp"; the credits are
// ".\menus\<language>_credits.txt" in the voice archive.
#pragma once

#include "tools/kit/archive_writer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kit {

// Mission 7's briefing number (20 + entry 7 of the briefing table).
constexpr int kDemoBriefingNumber = 29;

// The demo briefing's lines (line 0 is its title) and the credits' lines
// (a line starting with '#' is a heading).
std::vector<std::string> DemoBriefingLines();
std::vector<std::string> DemoCreditsLines();
// The briefing's voice: a tone of a second and a half.
std::vector<uint8_t> DemoBriefingVoice();

// The generated members of an archive folder: mission 7's briefing text in
// "game"; its voice and the credits text in "voice".  Mission 22 has no
// briefing.
std::vector<ArchiveMember> DemoBriefingMembers(const std::string& archiveFolder);

}  // namespace kit
