// Fuzz target: a .snx file read whole by the sample reader.  After a first
// byte of 0 the rest is the file; after any other the rest is compressed
// first, so the header and data behind the gzip layer are reached too.
#include "sample_fuzz.h"

#include <zlib.h>

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    if (size < 1) return 0;
    if (data[0] == 0) {
        fuzz::WriteInput("input.snx", data + 1, size - 1);
    } else {
        z_stream z{};
        if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 16 + 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 0;
        std::vector<uint8_t> out(deflateBound(&z, uLong(size)) + 32);
        z.next_in = const_cast<Bytef*>(data + 1);
        z.avail_in = uInt(size - 1);
        z.next_out = out.data();
        z.avail_out = uInt(out.size());
        deflate(&z, Z_FINISH);
        out.resize(z.total_out);
        deflateEnd(&z);
        fuzz::WriteInput("input.snx", out.data(), out.size());
    }
    fuzz::LoadWhole("input.snx");
    return 0;
}
