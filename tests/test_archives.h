// Archives for tests, written by the data kit.
#pragma once

#include "platform/resfile.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/byte_writer.h"

#include <string>
#include <vector>

namespace test {

inline std::vector<uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

inline std::vector<uint8_t> Archive(const std::vector<kit::ArchiveMember>& members,
                                    kit::DirectoryForm form = kit::DirectoryForm::Plain) {
    std::vector<uint8_t> out;
    std::string error;
    kit::BuildArchive(members, form, &out, &error);
    return out;
}

// Gives back every resource set the globals hold.
inline void FreeArchives() {
    ResArchive* sets[] = {CurrentResArchive, MainResArchive, AudioResArchive, VoiceResArchive, MusicResArchive};
    for (int i = 0; i < 5; ++i) {
        bool seen = false;
        for (int j = 0; j < i; ++j) seen = seen || sets[j] == sets[i];
        if (sets[i] && !seen) {
            CurrentResArchive = sets[i];
            ResFree(sets[i]);
        }
    }
    CurrentResArchive = MainResArchive = AudioResArchive = VoiceResArchive = MusicResArchive = nullptr;
    CurrentFileTable = &PlainFileTable;
}

}  // namespace test
