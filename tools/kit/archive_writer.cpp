#include "tools/kit/archive_writer.h"

#include "tools/kit/byte_writer.h"

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace kit {

namespace {

constexpr size_t kNameField = 32;
constexpr size_t kEntrySize = 40;

bool WriteDirectory(ByteWriter& w, const std::vector<ArchiveMember>& members, uint32_t dataStart,
                    std::string* error) {
    w.U32(static_cast<uint32_t>(members.size()));
    w.U32(0);
    w.U32(0);  // becomes the entry table pointer when the game loads it
    uint32_t offset = dataStart;
    for (const ArchiveMember& m : members) {
        if (!w.FixedText(m.name, kNameField)) {
            if (error) *error = "member name longer than 31 characters: " + m.name;
            return false;
        }
        w.U32(static_cast<uint32_t>(m.data.size()));
        w.U32(offset);
        offset += static_cast<uint32_t>(m.data.size());
    }
    return true;
}

}  // namespace

std::vector<uint8_t> Gzip(const std::vector<uint8_t>& bytes) {
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(bytes.size())) + 64);
    z.next_in = const_cast<Bytef*>(bytes.data());
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

bool BuildArchive(const std::vector<ArchiveMember>& members, DirectoryForm form, std::vector<uint8_t>* out,
                  std::string* error) {
    ByteWriter directory;
    if (form == DirectoryForm::Plain) {
        uint32_t start = static_cast<uint32_t>(16 + kEntrySize * members.size());
        if (!WriteDirectory(directory, members, start, error)) return false;
        ByteWriter w;
        w.I32(-static_cast<int32_t>(start));
        w.Bytes(directory.Data());
        for (const ArchiveMember& m : members) w.Bytes(m.data);
        *out = w.Take();
        return true;
    }
    // The stream's length fixes where the data starts, and the entries hold
    // that start: two passes give the same stream length, since the
    // offsets only change the stream's content, so write until it settles.
    std::vector<uint8_t> stream;
    uint32_t start = 4;
    for (int pass = 0; pass < 8; ++pass) {
        ByteWriter d;
        if (!WriteDirectory(d, members, start, error)) return false;
        stream = Gzip(d.Data());
        uint32_t next = static_cast<uint32_t>(4 + stream.size());
        if (next == start) break;
        start = next;
    }
    ByteWriter w;
    w.I32(static_cast<int32_t>(4 + stream.size()));
    w.Bytes(stream);
    for (const ArchiveMember& m : members) w.Bytes(m.data);
    *out = w.Take();
    return true;
}

std::vector<uint8_t> AppendAsTrailer(const std::vector<uint8_t>& leading, const std::vector<uint8_t>& archive) {
    ByteWriter w;
    w.Bytes(leading);
    w.Bytes(archive);
    w.U32(static_cast<uint32_t>(archive.size() + 4));
    return w.Take();
}

std::string MemberName(const std::string& relativePath) {
    std::string name = relativePath;
    std::replace(name.begin(), name.end(), '/', '\\');
    if (name.rfind(".\\", 0) != 0) name = ".\\" + name;
    return name;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool ReadBytes(const std::string& path, std::vector<uint8_t>* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

}  // namespace kit
