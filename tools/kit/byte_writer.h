// Little-endian output for the data kit's writers: every field is written
// by width, never as a memory image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kit {

class ByteWriter {
public:
    void U8(uint8_t v) { bytes_.push_back(v); }
    void U16(uint16_t v) {
        U8(uint8_t(v));
        U8(uint8_t(v >> 8));
    }
    void U32(uint32_t v) {
        U16(uint16_t(v));
        U16(uint16_t(v >> 16));
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void Bytes(const std::vector<uint8_t>& b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }
    // A fixed-width text field, NUL-padded; false (nothing written) when the
    // text and its NUL do not fit.
    bool FixedText(const std::string& text, size_t width) {
        if (text.size() + 1 > width) return false;
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        bytes_.insert(bytes_.end(), width - text.size(), 0);
        return true;
    }
    // Overwrites a 32-bit field written earlier.
    void PatchU32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_[at + i] = uint8_t(v >> (8 * i));
    }
    size_t Size() const { return bytes_.size(); }
    const std::vector<uint8_t>& Data() const { return bytes_; }
    std::vector<uint8_t> Take() { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace kit
