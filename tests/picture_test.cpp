// Pictures: the image-format table, every reader and writer, round trips
// through the data kit's writers at every depth, the conversion to the
// screen's format, and pictures that cannot be read safely.
#include "platform/display/palette.h"
#include "platform/display/picfile.h"
#include "platform/display/picture.h"
#include "platform/errors.h"
#include "platform/memory.h"
#include "screen_formats.h"
#include "test_archives.h"
#include "test_support.h"
#include "tools/kit/picture_writer.h"

#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
// After cstdio: the library's header needs FILE.
#include <jpeglib.h>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A picture as it came back from a reader.
struct Loaded {
    bool ok = false;
    int bits = 0;
    int width = 0, height = 0;
    Bytes pixels;
};

class PictureTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        ErrorHook = EngineErrorHook;
        FatalText[0] = 0;
        CurrentFileTable = &PlainFileTable;
        PictureByteLimit = kPictureMaxBytes;
        test::SetScreenLayout(test::ScreenLayout::Rgb565);
        std::memset(ScreenState.palette, 0, 768);
    }
    void TearDown() override {
        test::FreeArchives();
        PictureByteLimit = kPictureMaxBytes;
        FatalText[0] = 0;
        HeadlessTest::TearDown();
    }
    void Put(const std::string& name, const Bytes& bytes) { WriteFile(name, std::string(bytes.begin(), bytes.end())); }
    Bytes Get(const std::string& name) {
        std::string s = ReadFile(name);
        return {s.begin(), s.end()};
    }
    // The file through LoadPictureStream with a picture (keep), copied out.
    Loaded Read(const std::string& name, const Bytes& bytes) {
        Put(name, bytes);
        Loaded out;
        FileHandle file = CurrentFileTable->Open(name.c_str(), "rb");
        if (!file) return out;
        Picture picture{};
        try {
            out.bits = LoadPictureStream(name.c_str(), file, &picture);
        } catch (const FatalReturn&) {
            CurrentFileTable->Close(file);
            throw;
        }
        CurrentFileTable->Close(file);
        if (!picture.pixels) return out;
        out.ok = true;
        out.width = picture.width;
        out.height = picture.height;
        size_t size = size_t(picture.width) * picture.height * PictureBytesPerPixel(out.bits);
        out.pixels.assign(picture.pixels, picture.pixels + size);
        MemFree(picture.pixels);
        return out;
    }
    // A reader's fatal refusal: its text, empty when none came.
    std::string FatalFrom(const std::string& name, const Bytes& bytes) {
        FatalText[0] = 0;
        try {
            Read(name, bytes);
        } catch (const FatalReturn&) {
            return FatalText;
        }
        return "";
    }
    Bytes ScreenPalette() const { return Bytes(ScreenState.palette, ScreenState.palette + 768); }
    test::ScreenStateGuard guard_;
};

Bytes Palette() {
    Bytes p(768);
    for (int i = 0; i < 256; ++i) {
        p[size_t(i * 3)] = uint8_t(i * 5);
        p[size_t(i * 3 + 1)] = uint8_t(255 - i);
        p[size_t(i * 3 + 2)] = uint8_t(i * 11 + 3);
    }
    return p;
}

// An 8-bit picture whose indices stay below `colours`.
kit::Image Indexed(int width, int height, int colours = 256) {
    kit::Image image = kit::MakeImage(width, height, 8);
    image.palette = Palette();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.pixels[size_t(y) * width + x] = uint8_t(x < width / 3 ? 7 % colours : (x * 7 + y * 13) % colours);
    return image;
}

// A picture of 16 (1-5-5-5), 24 or 32 bits with varied channels.
kit::Image Coloured(int width, int height, int bits) {
    kit::Image image = kit::MakeImage(width, height, bits);
    int bpp = (bits + 1) / 8;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = image.pixels.data() + (size_t(y) * width + x) * bpp;
            if (bits == 16) {
                uint16_t v = uint16_t(((x * 3) & 31) << 10 | ((y * 5) & 31) << 5 | ((x + y) & 31));
                p[0] = uint8_t(v);
                p[1] = uint8_t(v >> 8);
            } else {
                for (int c = 0; c < bpp; ++c) p[c] = uint8_t(x * 17 + y * 29 + c * 70);
            }
        }
    }
    return image;
}

// 1-5-5-5 values as the screen packs them.
Bytes Screen16From555(const kit::Image& image) {
    Bytes out(image.pixels.size());
    for (size_t i = 0; i + 1 < image.pixels.size(); i += 2) {
        uint32_t v = image.pixels[i] | image.pixels[i + 1] << 8;
        uint8_t rgb[3] = {uint8_t(((v >> 10) & 31) << 3), uint8_t(((v >> 5) & 31) << 3), uint8_t((v & 31) << 3)};
        uint32_t p = PackScreenPixel(rgb);
        out[i] = uint8_t(p);
        out[i + 1] = uint8_t(p >> 8);
    }
    return out;
}

// Colour bytes swapped to blue first, as a 32-bit screen keeps them.
Bytes BlueFirst(Bytes pixels, int bpp) {
    for (size_t i = 0; i + 2 < pixels.size(); i += size_t(bpp)) std::swap(pixels[i], pixels[i + 2]);
    return pixels;
}

}  // namespace

TEST_F(PictureTest, TheExtensionEndingTheNameChoosesTheFormatWhateverItsCase) {
    EXPECT_EQ(FindImageFormat("LOGO.JPG")->reader, ReadJpeg);
    EXPECT_EQ(FindImageFormat("a.gif.png")->reader, ReadPng);
    EXPECT_EQ(FindImageFormat(".\\menus\\Map.Lbm")->reader, ReadIff);
    EXPECT_EQ(FindImageFormat("x.gif.txt"), nullptr);
    EXPECT_EQ(FindImageFormat("gif"), nullptr);
    EXPECT_EQ(FindImageFormat(".bmp")->writer, WritePng);  // BMP pictures are saved as PNG
    // A PNG named in capitals and one whose name holds ".gif" load as PNG.
    kit::Image image = Indexed(5, 4);
    Put("LOGO.PNG", kit::EncodePng(image));
    Put("a.gif.png", kit::EncodePng(image));
    for (const char* name : {"LOGO.PNG", "a.gif.png"}) {
        Picture* p = LoadPicture(name, 0);
        ASSERT_NE(p, nullptr) << name;
        EXPECT_EQ(p->width, 5);
        FreePictureRecord(p);
    }
    // No row: nothing read; a missing file: nothing left allocated.
    Put("picture.txt", kit::EncodePng(image));
    FileHandle file = CurrentFileTable->Open("picture.txt", "rb");
    Picture picture{};
    EXPECT_EQ(LoadPictureStream("picture.txt", file, &picture), 0);
    EXPECT_EQ(picture.pixels, nullptr);
    CurrentFileTable->Close(file);
    EXPECT_EQ(LoadPicture("picture.txt", 1), nullptr);
    EXPECT_EQ(LoadPicture("missing.png", 1), nullptr);
}

TEST_F(PictureTest, EightBitPicturesRoundTripThroughEveryFormat) {
    // Odd sizes: PBM pad bytes, BMP row padding, interlace passes.
    kit::Image image = Indexed(23, 13), sixteen = Indexed(23, 13, 16), four = Indexed(23, 13, 4),
               two = Indexed(23, 13, 2);
    struct Case {
        std::string name;
        Bytes file;
        const kit::Image* image;
    };
    std::vector<Case> cases = {
        {"plain.gif", kit::EncodeGif(image), &image},
        {"interlaced.gif", kit::EncodeGif(image, {256, true, false, false}), &image},
        {"local.gif", kit::EncodeGif(image, {256, false, true, true}), &image},
        {"plain.pcx", kit::EncodePcx(image), &image},
        {"bottom-up.bmp", kit::EncodeBmp(image), &image},
        {"top-down.bmp", kit::EncodeBmp(image, true), &image},
        {"four-bit.bmp", kit::EncodeBmp(sixteen, false, 4), &sixteen},
        {"two-bit.bmp", kit::EncodeBmp(four, false, 2), &four},
        {"one-bit.bmp", kit::EncodeBmp(two, true, 1), &two},
        {"mapped.tga", kit::EncodeTga(image, {1, 24, "an id"}), &image},
        {"mapped32.tga", kit::EncodeTga(image, {1, 32, ""}), &image},
        {"mapped-rle.tga", kit::EncodeTga(image, {9, 24, ""}), &image},
        {"packed.lbm", kit::EncodeIff(image), &image},
        {"plain.bbm", kit::EncodeIff(image, {false, false, 8}), &image},
        {"planes.iff", kit::EncodeIff(image, {true, true, 8}), &image},
        {"four-planes.iff", kit::EncodeIff(sixteen, {true, false, 4}), &sixteen},
        {"palette.png", kit::EncodePng(image), &image},
        {"interlaced.png", kit::EncodePng(image, true), &image},
    };
    for (const Case& c : cases) {
        std::memset(ScreenState.palette, 0, 768);
        Loaded l = Read(c.name, c.file);
        ASSERT_TRUE(l.ok) << c.name;
        EXPECT_EQ(l.bits, 8) << c.name;
        EXPECT_EQ(l.width, 23) << c.name;
        EXPECT_EQ(l.height, 13) << c.name;
        EXPECT_EQ(l.pixels, c.image->pixels) << c.name;
        size_t entries = c.name.find("four-planes") != std::string::npos ? 16 : 256;
        if (c.name.find("bit.bmp") != std::string::npos) entries = 2;
        EXPECT_TRUE(std::equal(c.image->palette.begin(), c.image->palette.begin() + long(entries * 3),
                               ScreenState.palette))
            << c.name;
    }
}

TEST_F(PictureTest, TextureAndPaletteFilesOfAFixedLayout) {
    kit::Image texture = Indexed(256, 256);
    Loaded l = Read("wall.3DM", kit::Encode3dm(texture));
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.width, 256);
    EXPECT_EQ(l.pixels, texture.pixels);
    // Palette bytes of 5, 6 and 5 bits.
    EXPECT_EQ(ScreenState.palette[3 * 9], texture.palette[3 * 9] & 0xF8);
    EXPECT_EQ(ScreenState.palette[3 * 9 + 1], texture.palette[3 * 9 + 1] & 0xFC);
    EXPECT_EQ(ScreenState.palette[3 * 9 + 2], texture.palette[3 * 9 + 2] & 0xF8);
    l = Read("colours.act", kit::EncodeAct(texture.palette));
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.width, 256);
    EXPECT_EQ(l.height, 1);
    EXPECT_EQ(l.pixels[200], 200);
    EXPECT_EQ(ScreenPalette(), texture.palette);
    // Cut short: refused.
    Bytes shortTexture = kit::Encode3dm(texture);
    shortTexture.resize(20000);
    EXPECT_FALSE(Read("short.3dm", shortTexture).ok);
    EXPECT_FALSE(Read("short.act", Bytes(700, 1)).ok);
}

TEST_F(PictureTest, FifteenAndSixteenBitPicturesBecomeScreenPixels) {
    kit::Image image = Coloured(11, 7, 16);
    for (auto layout : {test::ScreenLayout::Rgb555, test::ScreenLayout::Rgb565}) {
        test::SetScreenLayout(layout);
        for (const auto& [name, file] :
             std::vector<std::pair<std::string, Bytes>>{{"high.tga", kit::EncodeTga(image)},
                                                        {"high-rle.tga", kit::EncodeTga(image, {10, 24, ""})},
                                                        {"high.bmp", kit::EncodeBmp(image)}}) {
            Loaded l = Read(name, file);
            ASSERT_TRUE(l.ok) << name;
            EXPECT_EQ(l.bits, ScreenState.bitsPerPixel) << name;
            EXPECT_EQ(l.pixels, Screen16From555(image)) << name;
        }
    }
    // At 5-5-5 the file's values are the screen's own.
    test::SetScreenLayout(test::ScreenLayout::Rgb555);
    EXPECT_EQ(Read("same.tga", kit::EncodeTga(image)).pixels, image.pixels);
    // 5-6-5: each 5-bit green value v becomes the 6-bit 2v.
    test::SetScreenLayout(test::ScreenLayout::Rgb565);
    kit::Image green = kit::MakeImage(1, 1, 16);
    green.pixels = {uint8_t(21 << 5), uint8_t(21 >> 3)};
    Loaded l = Read("green.tga", kit::EncodeTga(green));
    EXPECT_EQ(l.pixels[0] | l.pixels[1] << 8, 42 << 5);
    // On a 32-bit screen such pictures come back as 24-bit colours.
    test::SetScreenLayout(test::ScreenLayout::Xrgb8888);
    green.pixels = {uint8_t(1 << 5 | 2), uint8_t(31 << 2)};
    l = Read("green32.tga", kit::EncodeTga(green));
    EXPECT_EQ(l.bits, 24);
    EXPECT_EQ(l.pixels, (Bytes{16, 8, 248}));  // blue, green, red
}

TEST_F(PictureTest, ColourPicturesKeepTheScreensByteOrder) {
    for (int bits : {24, 32}) {
        kit::Image image = Coloured(9, 6, bits);
        std::vector<std::pair<std::string, Bytes>> files = {{"c.tga", kit::EncodeTga(image)},
                                                            {"c-rle.tga", kit::EncodeTga(image, {10, 24, ""})},
                                                            {"c.bmp", kit::EncodeBmp(image)},
                                                            {"c.png", kit::EncodePng(image)}};
        for (auto layout : {test::ScreenLayout::Rgb565, test::ScreenLayout::Xrgb8888}) {
            test::SetScreenLayout(layout);
            Bytes expected = layout == test::ScreenLayout::Rgb565 ? image.pixels : BlueFirst(image.pixels, bits / 8);
            for (const auto& [name, file] : files) {
                Loaded l = Read(name, file);
                ASSERT_TRUE(l.ok) << name << bits;
                EXPECT_EQ(l.bits, bits) << name;
                EXPECT_EQ(l.pixels, expected) << name << " " << bits;
            }
        }
    }
}

TEST_F(PictureTest, TheProgramsWritersRoundTripAtEveryDepth) {
    struct Depth {
        test::ScreenLayout layout;
        int depth;
    };
    for (Depth d : {Depth{test::ScreenLayout::Indexed8, 8}, Depth{test::ScreenLayout::Rgb555, 15},
                    Depth{test::ScreenLayout::Rgb565, 16}, Depth{test::ScreenLayout::Xrgb8888, 32}}) {
        test::SetScreenLayout(d.layout);
        int bpp = (d.depth + 1) / 8;
        Bytes screenPixels(size_t(13) * 5 * bpp);
        for (size_t i = 0; i < screenPixels.size(); ++i) screenPixels[i] = uint8_t(i * 37 + 11);
        if (d.depth == 15)
            for (size_t i = 1; i < screenPixels.size(); i += 2) screenPixels[i] &= 0x7F;
        Bytes palette = Palette();
        // TGA files hold 1-5-5-5 pixels: a 5-6-5 screen saves through a
        // conversion first (the 5-6-5 reading is checked above).
        std::vector<std::string> names = {"w.png"};
        if (d.depth != 16) names.push_back("w.tga");
        if (d.depth == 8) names.push_back("w.pcx");
        for (const std::string& name : names) {
            std::memcpy(ScreenState.palette, palette.data(), 768);
            Picture picture{13, 5, static_cast<uint8_t*>(MemAlloc(uint32_t(screenPixels.size()))), nullptr};
            std::memcpy(picture.pixels, screenPixels.data(), screenPixels.size());
            FileHandle file = CurrentFileTable->Open(name.c_str(), "wb");
            SavePicture(name.c_str(), file, &picture, d.depth);
            CurrentFileTable->Close(file);
            MemFree(picture.pixels);
            std::memset(ScreenState.palette, 0, 768);
            Picture* loaded = LoadPicture(name.c_str(), 1);  // converted to the screen's format
            ASSERT_NE(loaded, nullptr) << name << d.depth;
            EXPECT_EQ(Bytes(loaded->pixels, loaded->pixels + screenPixels.size()), screenPixels) << name << d.depth;
            if (d.depth == 8 && name != "w.tga") {
                EXPECT_EQ(ScreenPalette(), palette) << name;
            }
            FreePictureRecord(loaded);
        }
    }
}

TEST_F(PictureTest, WrittenPngFilesHoldTheRightColours) {
    // Read back by the library itself: red in the file is red on screen.
    for (auto layout : {test::ScreenLayout::Rgb565, test::ScreenLayout::Xrgb8888}) {
        test::SetScreenLayout(layout);
        const uint8_t red[3] = {248, 0, 0};
        uint32_t pixel = PackScreenPixel(red);
        int bpp = ScreenState.bytesPerPixel;
        Picture picture{1, 1, static_cast<uint8_t*>(MemAlloc(4)), nullptr};
        std::memcpy(picture.pixels, &pixel, size_t(bpp));
        picture.pixels[3] = 0xFF;
        FileHandle file = CurrentFileTable->Open("red.png", "wb");
        SavePicture("red.png", file, &picture, ScreenState.bitsPerPixel);
        CurrentFileTable->Close(file);
        MemFree(picture.pixels);
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&image, (dir_ / "red.png").c_str()));
        image.format = PNG_FORMAT_RGB;
        uint8_t rgb[3];
        ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb, 0, nullptr));
        EXPECT_EQ(rgb[0], 248);
        EXPECT_EQ(rgb[1], 0);
        EXPECT_EQ(rgb[2], 0);
    }
}

TEST_F(PictureTest, JpegPicturesInColourAndGrey) {
    kit::Image colour = kit::MakeImage(48, 32, 24);
    for (size_t i = 0; i < colour.pixels.size(); i += 3) {
        size_t p = i / 3;
        colour.pixels[i] = uint8_t(p % 48 * 5);
        colour.pixels[i + 1] = uint8_t(p / 48 * 7);
        colour.pixels[i + 2] = 128;
    }
    Loaded l = Read("c.jpg", kit::EncodeJpeg(colour, 95));
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.bits, 24);
    long error = 0;
    for (size_t i = 0; i < l.pixels.size(); ++i) error += std::abs(int(l.pixels[i]) - int(colour.pixels[i]));
    EXPECT_LT(double(error) / double(l.pixels.size()), 3.0);
    kit::Image grey = kit::MakeImage(16, 16, 8);
    for (size_t i = 0; i < grey.pixels.size(); ++i) grey.pixels[i] = uint8_t(i);
    l = Read("g.JPG", kit::EncodeJpeg(grey, 95));
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.bits, 8);
    EXPECT_EQ(ScreenState.palette[100 * 3], 100);  // grey levels shown as themselves
    // Saving under a ".jpg" name writes no picture data.
    Picture picture{2, 2, static_cast<uint8_t*>(MemAlloc(8)), nullptr};
    FileHandle file = CurrentFileTable->Open("shot.jpg", "wb");
    SavePicture("shot.jpg", file, &picture, 16);
    CurrentFileTable->Close(file);
    MemFree(picture.pixels);
    EXPECT_TRUE(Exists("shot.jpg"));
    EXPECT_EQ(ReadFile("shot.jpg"), "");
}

namespace {

// Where each marker segment of a JPEG file begins, up to and with the start
// of the scan (the segments before it carry their lengths).
std::vector<std::pair<uint8_t, size_t>> JpegMarkers(const Bytes& file) {
    std::vector<std::pair<uint8_t, size_t>> markers;
    size_t at = 2;  // after the start-of-image marker
    while (at + 4 <= file.size() && file[at] == 0xFF) {
        markers.push_back({file[at + 1], at});
        if (file[at + 1] == 0xDA) break;
        at += 2 + (size_t(file[at + 2]) << 8 | file[at + 3]);
    }
    return markers;
}

size_t MarkerAt(const Bytes& file, uint8_t marker) {
    for (auto [m, at] : JpegMarkers(file))
        if (m == marker) return at;
    return 0;
}

// What a JPEG file's header says, as the library reads it.
struct JpegHeader {
    bool read = false;
    int width = 0, height = 0, components = 0;
    J_COLOR_SPACE space = JCS_UNKNOWN;
    bool progressive = true, arithmetic = true, jfif = false;
    int densityUnit = -1, xDensity = 0, yDensity = 0;
    std::vector<std::pair<int, int>> sampling;
    Bytes luminance, chrominance;  // the first row of each quantisation table
};

JpegHeader ReadJpegHeader(const Bytes& file) {
    JpegHeader h;
    if (file.empty()) return h;
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
    if (jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK) {
        h.read = true;
        h.width = int(info.image_width);
        h.height = int(info.image_height);
        h.components = info.num_components;
        h.space = info.jpeg_color_space;
        h.progressive = info.progressive_mode;
        h.arithmetic = info.arith_code;
        h.jfif = info.saw_JFIF_marker;
        h.densityUnit = info.density_unit;
        h.xDensity = info.X_density;
        h.yDensity = info.Y_density;
        for (int c = 0; c < info.num_components; ++c)
            h.sampling.push_back({info.comp_info[c].h_samp_factor, info.comp_info[c].v_samp_factor});
        for (int i = 0; i < 8; ++i) {
            if (info.quant_tbl_ptrs[0]) h.luminance.push_back(uint8_t(info.quant_tbl_ptrs[0]->quantval[i]));
            if (info.quant_tbl_ptrs[1]) h.chrominance.push_back(uint8_t(info.quant_tbl_ptrs[1]->quantval[i]));
        }
    }
    jpeg_destroy_decompress(&info);
    return h;
}

}  // namespace

TEST_F(PictureTest, TheJpegCompressionSetUp) {
    kit::Image colour = Coloured(40, 24, 24);
    FileHandle file = CurrentFileTable->Open("set-up.jpg", "wb");
    CompressJpeg(file, colour.width, colour.pixels.data(), colour.height, 24, nullptr);
    CurrentFileTable->Close(file);
    Bytes written = Get("set-up.jpg");
    JpegHeader h = ReadJpegHeader(written);
    ASSERT_TRUE(h.read);
    EXPECT_EQ(h.width, 40);
    EXPECT_EQ(h.height, 24);
    // Baseline: a frame of type 0 with Huffman codes.
    EXPECT_EQ(written[MarkerAt(written, 0xC0) + 1], 0xC0);
    EXPECT_FALSE(h.progressive);
    EXPECT_FALSE(h.arithmetic);
    // Three components in YCbCr, none subsampled.
    EXPECT_EQ(h.components, 3);
    EXPECT_EQ(h.space, JCS_YCbCr);
    EXPECT_EQ(h.sampling, (std::vector<std::pair<int, int>>(3, {1, 1})));
    // JFIF with square pixels.
    EXPECT_TRUE(h.jfif);
    EXPECT_EQ(h.densityUnit, 0);
    EXPECT_EQ(h.xDensity, 1);
    EXPECT_EQ(h.yDensity, 1);
    // Quality 90: the first rows of the standard luminance and chrominance
    // tables (16 11 10 16 24 40 51 61 and 17 18 24 47 99 99 99 99) scaled by
    // 200 - 2 x 90 = 20 percent, rounded: (value x 20 + 50) / 100.
    Bytes luminance, chrominance;
    for (int v : {16, 11, 10, 16, 24, 40, 51, 61}) luminance.push_back(uint8_t((v * 20 + 50) / 100));
    for (int v : {17, 18, 24, 47, 99, 99, 99, 99}) chrominance.push_back(uint8_t((v * 20 + 50) / 100));
    EXPECT_EQ(h.luminance, luminance);
    EXPECT_EQ(h.chrominance, chrominance);
    // The same picture gives the same bytes.
    file = CurrentFileTable->Open("again.jpg", "wb");
    CompressJpeg(file, colour.width, colour.pixels.data(), colour.height, 24, nullptr);
    CurrentFileTable->Close(file);
    EXPECT_EQ(Get("again.jpg"), written);
}

TEST_F(PictureTest, CompressedJpegPicturesHoldThePicturesColours) {
    // Every depth of the writer contract, read back by the program's own
    // reader: colours within a few steps of the picture's at quality 90.
    struct Depth {
        test::ScreenLayout layout;
        int depth;
    };
    // Neighbouring entries differ little, so that the indexed picture is
    // one a JPEG keeps.
    Bytes palette(768);
    for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 3; ++k) palette[size_t(i) * 3 + k] = uint8_t(100 + (i % 16) * 4 + k * 20);
    for (Depth d : {Depth{test::ScreenLayout::Indexed8, 8}, Depth{test::ScreenLayout::Rgb555, 15},
                    Depth{test::ScreenLayout::Rgb565, 16}, Depth{test::ScreenLayout::Rgb565, 24},
                    Depth{test::ScreenLayout::Xrgb8888, 32}}) {
        test::SetScreenLayout(d.layout);
        const int width = 32, height = 16, bpp = PictureBytesPerPixel(d.depth);
        Bytes pixels(size_t(width) * height * bpp), rgb(size_t(width) * height * 3);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                // A smooth picture: the colour each pixel stands for.
                uint8_t c[3] = {uint8_t(x * 8), uint8_t(y * 16), uint8_t(255 - x * 4 - y * 4)};
                size_t n = size_t(y) * width + x;
                if (d.depth == 8) {
                    uint8_t index = uint8_t((x + y) % 16);
                    pixels[n] = index;
                    std::memcpy(c, &palette[size_t(index) * 3], 3);
                } else if (bpp == 2) {
                    uint32_t p = PackScreenPixel(c);
                    pixels[n * 2] = uint8_t(p);
                    pixels[n * 2 + 1] = uint8_t(p >> 8);
                    ConvertPixelRow(p, c);  // the colour the screen pixel holds
                } else {
                    StoreTriplet(&pixels[n * bpp], c[0], c[1], c[2]);
                }
                std::memcpy(&rgb[n * 3], c, 3);
            }
        }
        std::memcpy(ScreenState.palette, palette.data(), 768);
        FileHandle file = CurrentFileTable->Open("depth.jpg", "wb");
        CompressJpeg(file, width, pixels.data(), height, d.depth, ScreenState.palette);
        CurrentFileTable->Close(file);
        Loaded l = Read("depth.jpg", Get("depth.jpg"));
        ASSERT_TRUE(l.ok) << d.depth;
        ASSERT_EQ(l.bits, 24) << d.depth;
        long error = 0;
        for (size_t n = 0; n < size_t(width) * height; ++n) {
            uint8_t back[3] = {l.pixels[n * 3], l.pixels[n * 3 + 1], l.pixels[n * 3 + 2]};
            if (TripletIsBgr()) std::swap(back[0], back[2]);
            for (int k = 0; k < 3; ++k) error += std::abs(int(back[k]) - int(rgb[n * 3 + k]));
        }
        EXPECT_LT(double(error) / double(rgb.size()), 3.0) << d.depth;
    }
}

TEST_F(PictureTest, CompressingAJpegRefusesWhatItCannotWrite) {
    kit::Image colour = Coloured(8, 8, 24);
    // Pictures a JPEG does not hold: nothing written.
    struct Row {
        const char* what;
        int width, height, depth;
        bool pixels;
    };
    for (const Row& r : {Row{"no pixels", 8, 8, 24, false}, Row{"12 bits", 8, 8, 12, true},
                         Row{"no width", 0, 8, 24, true}, Row{"65501 high", 8, 65501, 24, true}}) {
        FileHandle file = CurrentFileTable->Open("refused.jpg", "wb");
        CompressJpeg(file, r.width, r.pixels ? colour.pixels.data() : nullptr, r.height, r.depth, nullptr);
        CurrentFileTable->Close(file);
        EXPECT_EQ(ReadFile("refused.jpg"), "") << r.what;
    }
    // A file that takes no bytes: the library's write error, on the fatal road.
    Put("read-only.jpg", {});
    FileHandle file = CurrentFileTable->Open("read-only.jpg", "rb");
    FatalText[0] = 0;
    EXPECT_THROW(CompressJpeg(file, 8, colour.pixels.data(), 8, 24, nullptr), FatalReturn);
    CurrentFileTable->Close(file);
    EXPECT_EQ(std::string(FatalText).rfind("Output file write error", 0), 0u) << FatalText;
}

TEST_F(PictureTest, GifVariants) {
    // GIF89a with a graphic control extension before the image.
    kit::Image image = Indexed(10, 10);
    Loaded l = Read("a.gif", kit::EncodeGif(image, {256, false, true, false}));
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.pixels, image.pixels);
    // A 16-entry table reports 4 bits and still one byte per pixel.
    kit::Image small = Indexed(10, 10, 16);
    l = Read("b.gif", kit::EncodeGif(small, {16, false, false, false}));
    EXPECT_EQ(l.bits, 4);
    EXPECT_EQ(l.pixels, small.pixels);
    std::memcpy(ScreenState.palette, small.palette.data(), 48);
    Put("b.gif", kit::EncodeGif(small, {16, false, false, false}));
    Picture* p = LoadPicture("b.gif", 1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->pixels[0] | p->pixels[1] << 8, int(PackScreenPixel(&small.palette[7 * 3])));
    FreePictureRecord(p);
    // Large enough for the code table to fill and start again.
    kit::Image noise = kit::MakeImage(200, 150, 8);
    uint32_t seed = 1;
    for (auto& v : noise.pixels) v = uint8_t((seed = seed * 1103515245u + 12345u) >> 24);
    l = Read("noise.gif", kit::EncodeGif(noise));
    EXPECT_EQ(l.pixels, noise.pixels);
    // Not a GIF, or another block where an image should begin: refused.
    EXPECT_FALSE(Read("c.gif", Bytes{'P', 'N', 'G', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).ok);
    Bytes odd = kit::EncodeGif(image);
    odd[13 + 768] = 'x';
    EXPECT_FALSE(Read("d.gif", odd).ok);
}

TEST_F(PictureTest, GifCodesOutsideTheTableEndDecoding) {
    // 4 x 2, code size 2: clear, 1, then the code 7 that no entry has yet.
    Bytes file = {'G', 'I', 'F', '8', '7', 'a', 4, 0, 2, 0, 0x81, 0, 0};
    Bytes table = {0, 0, 0, 255, 255, 255, 9, 9, 9, 7, 7, 7};
    file.insert(file.end(), table.begin(), table.end());
    Bytes image = {',', 0, 0, 0, 0, 4, 0, 2, 0, 0, 2};
    file.insert(file.end(), image.begin(), image.end());
    // Codes of 3 bits, low bits first: 4 (clear), 1, 7.
    uint32_t codes = 4 | 1 << 3 | 7 << 6;
    file.insert(file.end(), {2, uint8_t(codes), uint8_t(codes >> 8), 0, ';'});
    Loaded l = Read("e.gif", file);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.pixels, (Bytes{1, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(PictureTest, PcxWriterAndReaderFollowTheRunRules) {
    // 70 equal bytes below 0xC0 make 0xFF x, 0xC6 x, x; a byte with both top
    // bits set goes out as 0xC1 and the byte.
    test::SetScreenLayout(test::ScreenLayout::Indexed8);
    Picture picture{71, 1, static_cast<uint8_t*>(MemAlloc(71)), nullptr};
    std::memset(picture.pixels, 0x21, 70);
    picture.pixels[70] = 0xD0;
    FileHandle file = CurrentFileTable->Open("runs.pcx", "wb");
    SavePicture("runs.pcx", file, &picture, 8);
    CurrentFileTable->Close(file);
    MemFree(picture.pixels);
    Bytes written = Get("runs.pcx");
    ASSERT_EQ(written.size(), 128u + 7 + 769);
    EXPECT_EQ(Bytes(written.begin() + 128, written.begin() + 135), (Bytes{0xFF, 0x21, 0xC6, 0x21, 0x21, 0xC1, 0xD0}));
    EXPECT_EQ(written[3], 8);
    Loaded l = Read("runs.pcx", written);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.pixels[69], 0x21);
    EXPECT_EQ(l.pixels[70], 0xD0);
    // Without the 12 before the palette the file is refused.
    written[written.size() - 769] = 11;
    EXPECT_FALSE(Read("bad.pcx", written).ok);
    // Only 8-bit pictures are written as PCX.
    Picture wide{2, 2, static_cast<uint8_t*>(MemAlloc(8)), nullptr};
    file = CurrentFileTable->Open("wide.pcx", "wb");
    SavePicture("wide.pcx", file, &wide, 16);
    CurrentFileTable->Close(file);
    MemFree(wide.pixels);
    EXPECT_EQ(ReadFile("wide.pcx"), "");
}

namespace {

// A PCX file of the size with the run-length data given as it is.
Bytes PcxFile(int width, int height, int bytesPerLine, const Bytes& data, int planes = 1) {
    kit::Image image = Indexed(width, height);
    Bytes file = kit::EncodePcx(image);
    file.resize(128);
    file[65] = uint8_t(planes);
    file[66] = uint8_t(bytesPerLine);
    file[67] = uint8_t(bytesPerLine >> 8);
    file.insert(file.end(), data.begin(), data.end());
    file.push_back(12);
    file.insert(file.end(), image.palette.begin(), image.palette.end());
    return file;
}

}  // namespace

TEST_F(PictureTest, PcxRunsThatCrossARowOrThePictureStayInside) {
    // A run of 5 sevens over a row of 3 goes on in the next row.
    Loaded l = Read("a.pcx", PcxFile(3, 2, 3, {0xC5, 7, 9}));
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.pixels, (Bytes{7, 7, 7, 7, 7, 9}));
    // A run of 63 over a picture of 6 bytes is cut at its end.
    l = Read("b.pcx", PcxFile(3, 2, 3, {0xFF, 1, 0xFF, 2}));
    EXPECT_EQ(l.pixels, (Bytes{1, 1, 1, 1, 1, 1}));
    // Fewer bytes per line than pixels: the rest of each row stays 0.
    l = Read("c.pcx", PcxFile(4, 2, 2, {5, 6, 7, 8}));
    EXPECT_EQ(l.pixels, (Bytes{5, 6, 0, 0, 7, 8, 0, 0}));
    // More: only the first width bytes of each row are kept.
    l = Read("d.pcx", PcxFile(2, 2, 4, {1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(l.pixels, (Bytes{1, 2, 5, 6}));
    // Data that ends early leaves the rest 0; no bytes per line, nothing.
    l = Read("e.pcx", PcxFile(3, 3, 3, {4, 4}));
    EXPECT_EQ(l.pixels, (Bytes{4, 4, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(Read("f.pcx", PcxFile(3, 3, 0, {})).ok);
    // Layouts of several planes are not pixels of one byte: refused.
    EXPECT_FALSE(Read("g.pcx", PcxFile(3, 2, 3, {1, 2, 3}, 3)).ok);
}

TEST_F(PictureTest, BmpRowsAndRefusals) {
    // Both row orders come back top row first (the round trips above);
    // compressed, unknown depths and sizes beyond a picture are refused.
    kit::Image image = Indexed(5, 3);
    Bytes file = kit::EncodeBmp(image);
    Bytes compressed = file;
    compressed[30] = 1;
    EXPECT_FALSE(Read("a.bmp", compressed).ok);
    Bytes depth = file;
    depth[28] = 12;
    EXPECT_FALSE(Read("b.bmp", depth).ok);
    Bytes huge = file;
    for (int i : {18, 19, 20, 21, 22, 23, 24, 25}) huge[size_t(i)] = i == 21 || i == 25 ? 0x7F : 0xFF;
    EXPECT_FALSE(Read("c.bmp", huge).ok);
    Bytes lowest = file;
    lowest[22] = lowest[23] = lowest[24] = 0;
    lowest[25] = 0x80;  // the lowest height, which has no positive twin
    EXPECT_FALSE(Read("d.bmp", lowest).ok);
    EXPECT_FALSE(Read("e.bmp", Bytes{'B', 'M', 1, 2}).ok);
    // Cut short: the missing rows stay 0 (the bottom rows are read first).
    Bytes cut = file;
    cut.resize(cut.size() - 8);
    Loaded l = Read("f.bmp", cut);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.pixels[0], 0);
    EXPECT_EQ(Bytes(l.pixels.begin() + 5, l.pixels.end()), Bytes(image.pixels.begin() + 5, image.pixels.end()));
}

TEST_F(PictureTest, TgaPacketsColourMapsAndTypes) {
    kit::Image image = Coloured(2, 2, 24);
    // One packet of 128 copies for a picture of 4 pixels.
    Bytes file = kit::EncodeTga(image, {10, 24, ""});
    file.resize(18);
    file.insert(file.end(), {0xFF, 1, 2, 3});
    Loaded l = Read("a.tga", file);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.pixels, (Bytes{3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1}));
    // A literal packet cut short by the file's end leaves the rest 0.
    file.resize(18);
    file.insert(file.end(), {0x7F, 1, 2, 3, 4});
    l = Read("b.tga", file);
    EXPECT_EQ(Bytes(l.pixels.begin() + 6, l.pixels.begin() + 9), (Bytes{3, 2, 1}));  // the bottom row first
    EXPECT_EQ(l.pixels[0], 0);
    // Colour maps of 16-bit entries; of an unknown entry size: refused.
    kit::Image indexed = Indexed(4, 4);
    l = Read("c.tga", kit::EncodeTga(indexed, {1, 16, ""}));
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(ScreenState.palette[5 * 3], indexed.palette[5 * 3] & 0xF8);
    Bytes odd = kit::EncodeTga(indexed, {1, 24, ""});
    odd[7] = 8;
    EXPECT_FALSE(Read("d.tga", odd).ok);
    // A map longer than 256 entries: the first 256 kept, the rest passed over.
    Bytes longMap = kit::EncodeTga(indexed, {1, 24, ""});
    longMap[5] = 0x2C;
    longMap[6] = 0x01;  // 300 entries
    longMap.insert(longMap.begin() + 18 + 768, 44 * 3, 0xAB);
    l = Read("e.tga", longMap);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.pixels, indexed.pixels);
    // Grey (type 3) pixels are never read; other depths are refused.
    l = Read("f.tga", kit::EncodeTga(indexed, {3, 24, ""}));
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.pixels, Bytes(16, 0));
    Bytes depth = kit::EncodeTga(image);
    depth[16] = 20;
    EXPECT_FALSE(Read("g.tga", depth).ok);
    // A picture of 65535 x 65535 at 32 bits is larger than a picture can be.
    Bytes huge = kit::EncodeTga(Coloured(1, 1, 32));
    huge[12] = huge[13] = huge[14] = huge[15] = 0xFF;
    EXPECT_FALSE(Read("h.tga", huge).ok);
}

TEST_F(PictureTest, SavingTgaLeavesThePictureUpsideDown) {
    test::SetScreenLayout(test::ScreenLayout::Rgb555);
    Picture picture{1, 3, static_cast<uint8_t*>(MemAlloc(6)), nullptr};
    const uint8_t rows[6] = {1, 0, 2, 0, 3, 0};
    std::memcpy(picture.pixels, rows, 6);
    FileHandle file = CurrentFileTable->Open("shot.tga", "wb");
    SavePicture("shot.tga", file, &picture, 15);
    CurrentFileTable->Close(file);
    EXPECT_EQ(Bytes(picture.pixels, picture.pixels + 6), (Bytes{3, 0, 2, 0, 1, 0}));
    MemFree(picture.pixels);
    Bytes written = Get("shot.tga");
    ASSERT_EQ(written.size(), 18u + 6);
    EXPECT_EQ(written[2], 2);
    EXPECT_EQ(written[16], 15);
    EXPECT_EQ(written[18], 3);  // the bottom row first
}

namespace {

// An IFF file from chunks given as (identifier, bytes).
Bytes IffFile(const char* type, const std::vector<std::pair<std::string, Bytes>>& chunks) {
    Bytes body(type, type + 4);
    for (const auto& [id, data] : chunks) {
        body.insert(body.end(), id.begin(), id.end());
        uint32_t n = uint32_t(data.size());
        body.insert(body.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
        body.insert(body.end(), data.begin(), data.end());
        if (n & 1) body.push_back(0);
    }
    uint32_t n = uint32_t(body.size());
    Bytes file = {'F', 'O', 'R', 'M', uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)};
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

Bytes Header(int width, int height, int planes, int compression) {
    return {uint8_t(width >> 8), uint8_t(width), uint8_t(height >> 8), uint8_t(height), 0, 0, 0, 0, uint8_t(planes), 0,
            uint8_t(compression), 0, 0, 0, 1, 1, 0, 0, 0, 0};
}

}  // namespace

TEST_F(PictureTest, IffChunksThatDoNotFitAreKeptInside) {
    // An odd width: rows of 4 bytes in the file, 3 pixels kept.
    Loaded l = Read("a.lbm", IffFile("PBM ", {{"BMHD", Header(3, 2, 8, 0)}, {"BODY", {1, 2, 3, 9, 4, 5, 6, 9}}}));
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.pixels, (Bytes{1, 2, 3, 4, 5, 6}));
    // A colour map of 1000 bytes fills the palette and no more.
    Bytes colours(1000, 0x44);
    l = Read("b.lbm", IffFile("PBM ", {{"BMHD", Header(2, 1, 8, 0)}, {"CMAP", colours}, {"BODY", {1, 2}}}));
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(ScreenState.palette[767], 0x44);
    // A body before its header has nothing to go into.
    l = Read("c.lbm", IffFile("PBM ", {{"BODY", {1, 2, 3, 4}}, {"BMHD", Header(2, 2, 8, 0)}}));
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.pixels, Bytes(4, 0));
    // ByteRun1 runs past the rows end with the body.
    l = Read("d.lbm", IffFile("PBM ", {{"BMHD", Header(2, 2, 8, 1)}, {"BODY", {uint8_t(-100), 7}}}));
    EXPECT_EQ(l.pixels, (Bytes{7, 7, 7, 7}));
    // Unknown compression, planes above 8, sizes beyond a picture: refused.
    EXPECT_FALSE(Read("e.lbm", IffFile("PBM ", {{"BMHD", Header(2, 2, 8, 2)}, {"BODY", {1}}})).ok);
    EXPECT_FALSE(Read("f.iff", IffFile("ILBM", {{"BMHD", Header(2, 2, 24, 0)}, {"BODY", {1}}})).ok);
    EXPECT_FALSE(Read("g.lbm", IffFile("PBM ", {{"BMHD", Header(65535, 65535, 8, 0)}})).ok);
    EXPECT_FALSE(Read("h.lbm", IffFile("PBM ", {{"BMHD", {1, 2, 3}}})).ok);
    EXPECT_FALSE(Read("i.lbm", IffFile("ACBM", {{"BMHD", Header(2, 2, 8, 0)}})).ok);
    EXPECT_FALSE(Read("j.lbm", Bytes{'N', 'O', 'P', 'E'}).ok);
    // ILBM of the classic 320 pixels in 8 planes.
    kit::Image wide = Indexed(320, 4);
    l = Read("k.iff", kit::EncodeIff(wide, {true, true, 8}));
    EXPECT_EQ(l.pixels, wide.pixels);
}

TEST_F(PictureTest, PngLayoutsAreWidenedToWholeBytes) {
    // Palette pictures of 1, 2 and 4 bits: one byte per pixel.
    for (int depth : {1, 2, 4}) {
        std::vector<Bytes> rows(2, Bytes{0b10010110, 0b01101001});
        Bytes palette(size_t(3 << depth), 0);
        palette[3] = 200;
        Loaded l = Read("p.png", kit::EncodePngRaw(16 / depth, 2, 3, depth, rows, palette));
        ASSERT_TRUE(l.ok) << depth;
        EXPECT_EQ(l.bits, 8);
        ASSERT_EQ(l.pixels.size(), size_t(32 / depth));
        int mask = (1 << depth) - 1;
        EXPECT_EQ(l.pixels[0], (0b10010110 >> (8 - depth)) & mask) << depth;
        EXPECT_EQ(l.pixels[1], (0b10010110 >> (8 - 2 * depth)) & mask) << depth;
        EXPECT_EQ(ScreenState.palette[3], 200);
    }
    // Grey of 2 bits: levels spread over 0-255, shown through a grey ramp.
    Loaded l = Read("g.png", kit::EncodePngRaw(4, 1, 0, 2, {Bytes{0b00011011}}, {}));
    EXPECT_EQ(l.pixels, (Bytes{0, 85, 170, 255}));
    EXPECT_EQ(ScreenState.palette[85 * 3 + 1], 85);
    // 16-bit channels keep their high bytes.
    l = Read("h.png", kit::EncodePngRaw(1, 1, 2, 16, {Bytes{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}}, {}));
    EXPECT_EQ(l.bits, 24);
    EXPECT_EQ(l.pixels, (Bytes{0x12, 0x56, 0x9A}));
    // Grey with alpha becomes red, green, blue and alpha.
    l = Read("i.png", kit::EncodePngRaw(2, 1, 4, 8, {Bytes{10, 20, 30, 40}}, {}));
    EXPECT_EQ(l.bits, 32);
    EXPECT_EQ(l.pixels, (Bytes{10, 10, 10, 20, 30, 30, 30, 40}));
    l = Read("j.png", kit::EncodePngRaw(1, 1, 4, 16, {Bytes{0xAA, 0x01, 0xBB, 0x02}}, {}));
    EXPECT_EQ(l.pixels, (Bytes{0xAA, 0xAA, 0xAA, 0xBB}));
}

TEST_F(PictureTest, APalettisedPngWithoutKeepStillSetsThePalette) {
    kit::Image image = Indexed(4, 4);
    Put("p.png", kit::EncodePng(image));
    FileHandle file = CurrentFileTable->Open("p.png", "rb");
    EXPECT_EQ(LoadPictureStream("p.png", file, nullptr), 8);
    CurrentFileTable->Close(file);
    EXPECT_EQ(ScreenPalette(), image.palette);
}

TEST_F(PictureTest, LibraryErrorsBecomeTheFatalRefusal) {
    Bytes png = kit::EncodePng(Indexed(8, 8));
    EXPECT_EQ(FatalFrom("a.png", Bytes{'n', 'o', 't', ' ', 'p', 'n', 'g', '!', 0, 0}), "_png:Not a PNG file");
    Bytes damaged = png;
    damaged[30] ^= 0xFF;  // inside the header chunk: its check value no longer agrees
    EXPECT_EQ(FatalFrom("b.png", damaged).rfind("_png:", 0), 0u);
    Bytes cut(png.begin(), png.begin() + long(png.size() / 2));
    EXPECT_EQ(FatalFrom("c.png", cut).rfind("_png:", 0), 0u);
    // A PNG larger than a picture can be is refused without an error.
    Bytes huge = kit::EncodePngRaw(1, 1, 0, 8, {Bytes{1}}, {});
    huge[16] = huge[20] = 0x00;
    huge[17] = huge[21] = 0x01;  // 65536 x 65536 (the header's check value made to agree below)
    uint32_t crc = uint32_t(crc32(0, huge.data() + 12, 17));
    huge[29] = uint8_t(crc >> 24);
    huge[30] = uint8_t(crc >> 16);
    huge[31] = uint8_t(crc >> 8);
    huge[32] = uint8_t(crc);
    EXPECT_EQ(FatalFrom("d.png", huge), "");
    EXPECT_FALSE(Read("d.png", huge).ok);
    // JPEG: a file that is not one is the library's fatal message; one cut
    // short draws a warning and is refused.
    EXPECT_EQ(FatalFrom("e.jpg", Bytes{1, 2, 3, 4, 5, 6}).rfind("Not a JPEG file", 0), 0u);
    kit::Image colour = kit::MakeImage(64, 64, 24);
    for (size_t i = 0; i < colour.pixels.size(); ++i) colour.pixels[i] = uint8_t(i * 7);
    Bytes jpeg = kit::EncodeJpeg(colour);
    jpeg.resize(jpeg.size() / 2);
    EXPECT_EQ(FatalFrom("f.jpg", jpeg), "");
    EXPECT_FALSE(Read("f.jpg", jpeg).ok);
    EXPECT_NE(ReadFile("debug.txt").find("Premature end of JPEG file"), std::string::npos);
}

TEST_F(PictureTest, JpegWarningsRefuseOnlyPicturesWhosePixelsWereLost) {
    // The library warns about files it decodes whole (bytes between two
    // segments, an unknown JFIF revision) and about files whose pixels it
    // could not all decode (the data broken off by a marker, the file ending
    // early).  Every warning goes to the log; only lost pixels refuse.
    kit::Image photo = kit::MakeImage(32, 32, 24);
    for (size_t i = 0; i < photo.pixels.size(); ++i) photo.pixels[i] = uint8_t(i * 13 + i / 96 * 7);
    const Bytes clean = kit::EncodeJpeg(photo, 90);
    const Loaded expected = Read("clean.jpg", clean);
    ASSERT_TRUE(expected.ok);
    ASSERT_NE(MarkerAt(clean, 0xC0), 0u);
    ASSERT_NE(MarkerAt(clean, 0xDA), 0u);

    Bytes beforeFrame = clean;
    beforeFrame.insert(beforeFrame.begin() + long(MarkerAt(clean, 0xC0)), {0x12, 0x34, 0x56});
    Bytes beforeScan = clean;
    beforeScan.insert(beforeScan.begin() + long(MarkerAt(clean, 0xDA)), {0x00, 0x7F});
    Bytes revision = clean;
    ASSERT_EQ(MarkerAt(clean, 0xE0), 2u);  // JFIF: "JFIF\0", then the major revision
    revision[2 + 4 + 5] = 3;
    Bytes brokenOff = clean;
    size_t middle = MarkerAt(clean, 0xDA) + (clean.size() - MarkerAt(clean, 0xDA)) / 2;
    brokenOff[middle] = 0xFF;
    brokenOff[middle + 1] = 0xD9;  // the end of the image inside the scan
    Bytes cutShort(clean.begin(), clean.begin() + long(middle));

    struct Row {
        const char* name;
        const Bytes* file;
        bool loads;
        const char* logged;
    };
    for (const Row& r : {Row{"a.jpg", &beforeFrame, true, "3 extraneous bytes before marker 0xc0"},
                         Row{"b.jpg", &beforeScan, true, "2 extraneous bytes before marker 0xda"},
                         Row{"c.jpg", &revision, true, "unknown JFIF revision number 3.01"},
                         Row{"d.jpg", &brokenOff, false, "premature end of data segment"},
                         Row{"e.jpg", &cutShort, false, "Premature end of JPEG file"}}) {
        std::filesystem::remove(dir_ / "debug.txt");
        Loaded l = Read(r.name, *r.file);
        EXPECT_EQ(l.ok, r.loads) << r.name;
        EXPECT_NE(ReadFile("debug.txt").find(r.logged), std::string::npos) << r.name;
        if (r.loads) {
            EXPECT_EQ(l.bits, 24) << r.name;
            EXPECT_EQ(l.pixels, expected.pixels) << r.name;
        }
    }
}

namespace {

// The plain table with its reads counted.
int g_reads = 0;
size_t CountedRead(void* buffer, size_t size, size_t count, FileHandle file) {
    ++g_reads;
    return PlainFileTable.Read(buffer, size, count, file);
}

}  // namespace

TEST_F(PictureTest, AJpegSegmentRunningPastTheFilesEndStopsAtIt) {
    // A segment the decoder skips, 65533 bytes long, in a file that ends
    // three bytes into it: the skip stops at the file's end, after one read
    // that finds nothing, rather than asking the file again for every two
    // bytes of the rest.  With no picture in the file the library's error
    // follows.
    FileTable counted = PlainFileTable;
    counted.Read = CountedRead;
    Bytes file = {0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xFF, 'a', 'b', 'c'};
    Put("skip.jpg", file);
    CurrentFileTable = &counted;
    FileHandle h = counted.Open("skip.jpg", "rb");
    ASSERT_NE(h, nullptr);
    g_reads = 0;
    Picture picture{};
    EXPECT_THROW(LoadPictureStream("skip.jpg", h, &picture), FatalReturn);
    counted.Close(h);
    EXPECT_EQ(picture.pixels, nullptr);
    EXPECT_LE(g_reads, 3);
    EXPECT_NE(std::string(FatalText).find("JPEG datastream contains no image"), std::string::npos) << FatalText;
}

TEST_F(PictureTest, LoadingConvertsToTheScreensFormat) {
    kit::Image colour = Coloured(6, 3, 24);
    Put("c.png", kit::EncodePng(colour));
    Picture* p = LoadPicture("c.png", 1);
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 18; ++i)
        ASSERT_EQ(p->pixels[i * 2] | p->pixels[i * 2 + 1] << 8, int(PackScreenPixel(&colour.pixels[size_t(i) * 3])));
    FreePictureRecord(p);
    // At 8 bits: the nearest entries of the screen palette.
    test::SetScreenLayout(test::ScreenLayout::Indexed8);
    Bytes palette = Palette();
    kit::Image exact = kit::MakeImage(2, 1, 24);
    exact.pixels = {palette[40 * 3], palette[40 * 3 + 1], palette[40 * 3 + 2],
                    palette[90 * 3], palette[90 * 3 + 1], palette[90 * 3 + 2]};
    Put("e.png", kit::EncodePng(exact));
    std::memcpy(ScreenState.palette, palette.data(), 768);
    p = LoadPicture("e.png", 1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->pixels[0], 40);
    EXPECT_EQ(p->pixels[1], 90);
    FreePictureRecord(p);
}

TEST_F(PictureTest, OpenPictureReadsThroughTheResourceSet) {
    kit::Image image = Indexed(3, 2);
    Put("pictures.res", test::Archive({{".\\menus\\a.png", kit::EncodePng(image)}}));
    ResAddArchive("pictures.res", 0);
    Picture picture{};
    EXPECT_EQ(OpenPicture(".\\menus\\a.png", &picture), 8);
    EXPECT_EQ(CurrentFileTable, &ResourceFileTable);
    ASSERT_NE(picture.pixels, nullptr);
    EXPECT_EQ(Bytes(picture.pixels, picture.pixels + 6), image.pixels);
    MemFree(picture.pixels);
    EXPECT_EQ(OpenPicture(".\\menus\\none.png", &picture), 0);
    EXPECT_EQ(picture.pixels, nullptr);
}

namespace {

// A picture as one file table brought it back, with the palette it set.
struct Through {
    int bits = 0;
    int width = 0, height = 0;
    Bytes pixels, palette;
};

Through LoadThrough(const FileTable* table, const std::string& name) {
    Through out;
    CurrentFileTable = table;
    std::memset(ScreenState.palette, 0, 768);
    FileHandle file = table->Open(name.c_str(), "rb");
    if (!file) return out;
    Picture picture{};
    out.bits = LoadPictureStream(name.c_str(), file, &picture);
    table->Close(file);
    out.palette.assign(ScreenState.palette, ScreenState.palette + 768);
    if (!picture.pixels) return out;
    out.width = picture.width;
    out.height = picture.height;
    size_t size = size_t(picture.width) * picture.height * PictureBytesPerPixel(out.bits);
    out.pixels.assign(picture.pixels, picture.pixels + size);
    MemFree(picture.pixels);
    return out;
}

}  // namespace

TEST_F(PictureTest, PicturesLoadAlikeThroughEveryFileTable) {
    // Each picture as a loose file, a member of a resource set, and gzip
    // compressed both loose and in the set: every table must bring back what
    // the plain file holds.  ILBM files are walked a second time from the
    // start, which a compressed stream cannot seek back to.
    kit::Image indexed = Indexed(23, 13), colour = Coloured(17, 9, 24), texture = Indexed(256, 256);
    kit::Image photo = kit::MakeImage(24, 16, 24);
    for (size_t i = 0; i < photo.pixels.size(); ++i) photo.pixels[i] = uint8_t(i * 5 + i / 72 * 3);
    struct Row {
        std::string name;
        Bytes file;
        bool compressible;
    };
    std::vector<Row> rows = {
        {"a.pcx", kit::EncodePcx(indexed), true},
        {"b.png", kit::EncodePng(indexed), true},
        {"c.png", kit::EncodePng(colour, true), true},
        {"d.gif", kit::EncodeGif(indexed, {256, true, false, false}), true},
        {"e.bmp", kit::EncodeBmp(colour), true},
        {"f.tga", kit::EncodeTga(colour, {10, 24, ""}), true},
        {"g.jpg", kit::EncodeJpeg(photo, 90), true},
        {"h.3dm", kit::Encode3dm(texture), true},
        {"i.act", kit::EncodeAct(indexed.palette), true},
        {"j.lbm", kit::EncodeIff(indexed), true},
        {"k.iff", kit::EncodeIff(indexed, {true, true, 8}), false},
    };
    std::vector<kit::ArchiveMember> members;
    for (const Row& r : rows) {
        Put(r.name, r.file);
        Put("packed-" + r.name, kit::Gzip(r.file));
        members.push_back({".\\plain\\" + r.name, r.file});
        members.push_back({".\\packed\\" + r.name, kit::Gzip(r.file)});
    }
    std::vector<Through> plain;
    for (const Row& r : rows) {
        plain.push_back(LoadThrough(&PlainFileTable, r.name));
        ASSERT_FALSE(plain.back().pixels.empty()) << r.name;
        if (r.compressible) {
            Through t = LoadThrough(&GzipFileTable, "packed-" + r.name);
            EXPECT_EQ(t.bits, plain.back().bits) << r.name << " loose gzip";
            EXPECT_EQ(t.width, plain.back().width) << r.name << " loose gzip";
            EXPECT_EQ(t.pixels, plain.back().pixels) << r.name << " loose gzip";
            EXPECT_EQ(t.palette, plain.back().palette) << r.name << " loose gzip";
        }
    }
    Put("pictures.res", test::Archive(members));
    ResAddArchive("pictures.res", 0);
    for (size_t i = 0; i < rows.size(); ++i) {
        std::vector<std::pair<const FileTable*, std::string>> ways = {{&ResourceFileTable, ".\\plain\\"}};
        if (rows[i].compressible) ways.push_back({&GzipFileTable, ".\\packed\\"});
        for (const auto& [table, folder] : ways) {
            Through t = LoadThrough(table, folder + rows[i].name);
            std::string how = folder + rows[i].name;
            EXPECT_EQ(t.bits, plain[i].bits) << how;
            EXPECT_EQ(t.width, plain[i].width) << how;
            EXPECT_EQ(t.height, plain[i].height) << how;
            EXPECT_EQ(t.pixels, plain[i].pixels) << how;
            EXPECT_EQ(t.palette, plain[i].palette) << how;
        }
    }
    EXPECT_EQ(CurrentResArchive->openCount, 0);
}

TEST_F(PictureTest, PicturesSavedThroughTheCompressedTableLoadAsSavedPlainly) {
    test::SetScreenLayout(test::ScreenLayout::Indexed8);
    Bytes palette = Palette();
    Bytes pixels(size_t(19) * 7);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 37 + 11);
    for (const char* name : {"w.png", "w.pcx", "w.tga"}) {
        std::vector<Through> loaded;
        for (const FileTable* table : {&PlainFileTable, &GzipFileTable}) {
            std::memcpy(ScreenState.palette, palette.data(), 768);
            Picture picture{19, 7, static_cast<uint8_t*>(MemAlloc(uint32_t(pixels.size()))), nullptr};
            std::memcpy(picture.pixels, pixels.data(), pixels.size());
            CurrentFileTable = table;
            FileHandle file = table->Open(name, "wb");
            ASSERT_NE(file, nullptr) << name;
            SavePicture(name, file, &picture, 8);
            table->Close(file);
            MemFree(picture.pixels);
            loaded.push_back(LoadThrough(table, name));
        }
        EXPECT_EQ(loaded[0].width, 19) << name;
        EXPECT_EQ(loaded[1].width, 19) << name;
        EXPECT_EQ(loaded[1].pixels, loaded[0].pixels) << name;
        EXPECT_EQ(loaded[1].palette, loaded[0].palette) << name;
    }
}

TEST_F(PictureTest, EveryReaderHoldsPicturesToTheByteLimit) {
    // With the limit lowered to 4096 bytes a picture of 80 x 80 (6400 bytes
    // at one byte a pixel) is refused before anything is set aside for it,
    // one of 16 x 16 (1024 bytes at the most 4 bytes a pixel) still loads;
    // at the program's limit both load.
    kit::Image large = Indexed(80, 80), small = Indexed(16, 16);
    kit::Image largeColour = Coloured(80, 80, 24), smallColour = Coloured(16, 16, 24);
    struct Row {
        const char* name;
        Bytes large, small;
    };
    std::vector<Row> rows = {
        {"a.gif", kit::EncodeGif(large), kit::EncodeGif(small)},
        {"b.png", kit::EncodePng(large), kit::EncodePng(small)},
        {"c.jpg", kit::EncodeJpeg(largeColour), kit::EncodeJpeg(smallColour)},
        {"d.pcx", kit::EncodePcx(large), kit::EncodePcx(small)},
        {"e.bmp", kit::EncodeBmp(largeColour), kit::EncodeBmp(smallColour)},
        {"f.tga", kit::EncodeTga(largeColour), kit::EncodeTga(smallColour)},
        {"g.lbm", kit::EncodeIff(large), kit::EncodeIff(small)},
    };
    struct Limit {
        uint32_t bytes;
        bool largeLoads;
    };
    for (Limit limit : {Limit{4096, false}, Limit{kPictureMaxBytes, true}}) {
        PictureByteLimit = limit.bytes;
        for (const Row& r : rows) {
            EXPECT_EQ(Read(r.name, r.large).ok, limit.largeLoads) << r.name << " " << limit.bytes;
            EXPECT_TRUE(Read(r.name, r.small).ok) << r.name << " " << limit.bytes;
        }
    }
    // Never above the program's own limit.
    PictureByteLimit = ~0u;
    EXPECT_FALSE(PictureFits(kPictureMaxSide, kPictureMaxSide, 1));
    EXPECT_TRUE(PictureFits(8192, 8192, 1));
}

TEST_F(PictureTest, ResizingCuttingAndTheLoaderWithOptions) {
    Picture picture{4, 2, static_cast<uint8_t*>(MemAlloc(8)), nullptr};
    for (int i = 0; i < 8; ++i) picture.pixels[i] = uint8_t(i);
    ResizePicture(&picture, 2, 4, 1);
    EXPECT_EQ(picture.width, 2);
    EXPECT_EQ(Bytes(picture.pixels, picture.pixels + 8), (Bytes{0, 2, 0, 2, 4, 6, 4, 6}));
    Picture piece{2, 2, static_cast<uint8_t*>(MemAlloc(4)), nullptr};
    CopySubPicture(0, picture.pixels, 1, &piece, 2, 1);
    EXPECT_EQ(Bytes(piece.pixels, piece.pixels + 4), (Bytes{0, 2, 4, 6}));
    CopySubPicture(1, picture.pixels, 0, &piece, 2, 1);  // columns outside the source: nothing
    EXPECT_EQ(piece.pixels[0], 0);
    MemFree(piece.pixels);
    MemFree(picture.pixels);
    // In the pool, the last block is scaled in its own place.
    std::vector<uint8_t> pool(4096);
    MemInitPool(pool.data(), 4096);
    MemEnable();
    uint8_t* first = static_cast<uint8_t*>(MemAlloc(16));
    Picture pooled{2, 2, static_cast<uint8_t*>(MemAlloc(4)), nullptr};
    uint8_t* place = pooled.pixels;
    std::memcpy(pooled.pixels, "\x01\x02\x03\x04", 4);
    ResizePicture(&pooled, 4, 4, 1);
    EXPECT_EQ(pooled.pixels, place);
    EXPECT_EQ(pooled.pixels[15], 4);
    EXPECT_EQ(MemoryManager.base + MemoryManager.previous, place);
    (void)first;
    MemoryManager.base = nullptr;
    MemEnable();
    // Loaded, converted and fitted to a 40 x 30 screen.
    ScreenState.width = 40;
    ScreenState.height = 30;
    Put("fit.png", kit::EncodePng(Coloured(10, 10, 24)));
    Picture* fitted = LoadPictureWith("fit.png", kPictureLoad | kPictureToScreen | kPictureFitScreen);
    ASSERT_NE(fitted, nullptr);
    EXPECT_EQ(fitted->width, 40);
    EXPECT_EQ(fitted->height, 30);
    FreePictureRecord(fitted);
    EXPECT_EQ(LoadPictureWith("none.png", kPictureLoad), nullptr);
}
