#include "tools/kit/sprite_list_writer.h"

#include "tools/kit/byte_writer.h"

namespace kit {

std::vector<uint8_t> SpriteListBytes(const std::vector<SpriteRect>& rects) {
    ByteWriter w;
    w.U32(0);
    w.U16(static_cast<uint16_t>(rects.size()));
    for (const SpriteRect& r : rects) {
        w.U16(static_cast<uint16_t>(r.left));
        w.U16(static_cast<uint16_t>(r.top));
        w.U16(static_cast<uint16_t>(r.right));
        w.U16(static_cast<uint16_t>(r.bottom));
    }
    return w.Take();
}

}  // namespace kit
