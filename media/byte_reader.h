// A bounded little-endian reader over bytes already in memory (a file
// header): each read past the end answers 0 and marks the reader failed.
#pragma once

#include <cstddef>
#include <cstdint>

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t U8() { return Fits(1) ? data_[at_++] : 0; }
    uint16_t U16() {
        if (!Fits(2)) return 0;
        uint16_t v = uint16_t(data_[at_] | (data_[at_ + 1] << 8));
        at_ += 2;
        return v;
    }
    uint32_t U24() {
        if (!Fits(3)) return 0;
        uint32_t v = uint32_t(data_[at_]) | uint32_t(data_[at_ + 1]) << 8 | uint32_t(data_[at_ + 2]) << 16;
        at_ += 3;
        return v;
    }
    uint32_t U32() {
        if (!Fits(4)) return 0;
        uint32_t v = uint32_t(data_[at_]) | uint32_t(data_[at_ + 1]) << 8 | uint32_t(data_[at_ + 2]) << 16 |
                     uint32_t(data_[at_ + 3]) << 24;
        at_ += 4;
        return v;
    }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    void Skip(size_t n) {
        if (Fits(n)) at_ += n;
    }
    void Seek(size_t at) {
        if (at <= size_) at_ = at;
        else failed_ = true;
    }
    size_t Position() const { return at_; }
    bool Failed() const { return failed_; }

private:
    bool Fits(size_t n) {
        if (n <= size_ - at_) return true;
        failed_ = true;
        return false;
    }
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    bool failed_ = false;
};
