// The archive packer: resource archives as the game reads them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kit {

struct ArchiveMember {
    std::string name;  // as the game forms it: ".\dir\name", at most 31 characters
    std::vector<uint8_t> data;
};

enum class DirectoryForm {
    Plain,  // first word negative, directory stored as it is
    Gzip,   // first word positive, header and entries as one gzip stream
};

// Builds an archive image; false with a message when a name does not fit.
bool BuildArchive(const std::vector<ArchiveMember>& members, DirectoryForm form, std::vector<uint8_t>* out,
                  std::string* error);
// Appends an archive to other data as its tail, followed by the distance
// from the end of the file back to the archive's start.
std::vector<uint8_t> AppendAsTrailer(const std::vector<uint8_t>& leading, const std::vector<uint8_t>& archive);
// "menus/logo.png" -> ".\menus\logo.png".
std::string MemberName(const std::string& relativePath);
// A gzip stream of the bytes, with no file time, so the same input always
// gives the same output.
std::vector<uint8_t> Gzip(const std::vector<uint8_t>& bytes);

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool ReadBytes(const std::string& path, std::vector<uint8_t>* bytes);

}  // namespace kit
