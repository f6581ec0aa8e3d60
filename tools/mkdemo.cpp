// Builds the demo game directory from data/: the settings files as they
// stand, and the four resource archives packed from data/game, data/audio,
// data/voice and data/music (an empty archive where a folder holds
// nothing).  With --corpus it writes seed inputs for the fuzz targets.
//
//   mkdemo <data folder> <game folder>
//   mkdemo --corpus <folder>
#include "tools/kit/archive_writer.h"
#include "tools/kit/ini_writer.h"
#include "tools/kit/qvs_writer.h"

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
    return 0;
}

int BuildCorpus(const fs::path& folder) {
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
    // Video streams: the kit's family of good and malformed streams.
    fs::create_directories(folder / "qvs");
    for (const kit::QvsFixture& f : kit::QvsFixtureFamily())
        kit::WriteBytes((folder / "qvs" / (f.name + ".qvs")).string(), f.bytes);
    return 0;
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
