// Draws Dozemark's icon and writes it as a .ico file with nine images:
// 8-bit colour at 16, 32, 48 and 256 px, 32-bit colour at 16, 32, 48, 64
// and 256 px. The 256 px images are PNG-compressed, the others plain DIBs.
//
// The mark: a pale crescent moon (sleep) over three amber histogram bars
// (measurement) on an indigo rounded square.
//
// usage: make_icon OUTPUT.ico
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

struct Rgba {
    double r, g, b, a;
};

using Bytes = std::vector<uint8_t>;

bool InRoundedSquare(double x, double y) {
    const double margin = 0.03, radius = 0.22;
    const double lo = margin + radius, hi = 1 - margin - radius;
    const double dx = std::max({lo - x, 0.0, x - hi});
    const double dy = std::max({lo - y, 0.0, y - hi});
    return x >= margin && x <= 1 - margin && y >= margin && y <= 1 - margin &&
           dx * dx + dy * dy <= radius * radius;
}

bool InCircle(double x, double y, double cx, double cy, double r) {
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
}

bool InMoon(double x, double y) {
    return InCircle(x, y, 0.40, 0.42, 0.28) && !InCircle(x, y, 0.53, 0.31, 0.25);
}

bool InBars(double x, double y) {
    const double bottom = 0.84, width = 0.09, gap = 0.03, left = 0.55;
    const double heights[] = {0.16, 0.38, 0.24};
    for (int i = 0; i < 3; ++i) {
        const double x0 = left + i * (width + gap);
        if (x >= x0 && x < x0 + width && y <= bottom && y > bottom - heights[i]) {
            return true;
        }
    }
    return false;
}

// Colour at a point of the unit square, y downwards.
Rgba Sample(double x, double y) {
    if (!InRoundedSquare(x, y)) {
        return {0, 0, 0, 0};
    }
    if (InBars(x, y)) {
        return {1.0, 0.79, 0.20, 1};
    }
    if (InMoon(x, y)) {
        return {0.97, 0.95, 0.83, 1};
    }
    // Indigo, darker towards the bottom.
    const double t = y;
    return {0.17 - 0.07 * t, 0.23 - 0.09 * t, 0.55 - 0.20 * t, 1};
}

// size x size straight-alpha RGBA, top row first, 8x8 supersampled.
Bytes Render(int size) {
    const int ss = 8;
    Bytes pixels(static_cast<size_t>(size) * size * 4);
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < ss; ++sy) {
                for (int sx = 0; sx < ss; ++sx) {
                    const Rgba c = Sample((px + (sx + 0.5) / ss) / size, (py + (sy + 0.5) / ss) / size);
                    r += c.r * c.a;
                    g += c.g * c.a;
                    b += c.b * c.a;
                    a += c.a;
                }
            }
            uint8_t* out = &pixels[(static_cast<size_t>(py) * size + px) * 4];
            const double n = ss * ss;
            out[0] = static_cast<uint8_t>(std::lround(a > 0 ? 255 * r / a : 0));
            out[1] = static_cast<uint8_t>(std::lround(a > 0 ? 255 * g / a : 0));
            out[2] = static_cast<uint8_t>(std::lround(a > 0 ? 255 * b / a : 0));
            out[3] = static_cast<uint8_t>(std::lround(255 * a / n));
        }
    }
    return pixels;
}

// Index 0 is black (and, in PNGs, transparent); then a 6x6x6 colour cube;
// then greys.
Bytes Palette() {
    Bytes rgb(size_t{256} * 3, 0);
    int i = 1;
    for (int r = 0; r < 6; ++r) {
        for (int g = 0; g < 6; ++g) {
            for (int b = 0; b < 6; ++b, ++i) {
                rgb[i * 3 + 0] = static_cast<uint8_t>(r * 51);
                rgb[i * 3 + 1] = static_cast<uint8_t>(g * 51);
                rgb[i * 3 + 2] = static_cast<uint8_t>(b * 51);
            }
        }
    }
    for (int grey = 0; i < 256; ++i, ++grey) {
        const uint8_t v = static_cast<uint8_t>(8 + grey * 6);
        rgb[i * 3 + 0] = rgb[i * 3 + 1] = rgb[i * 3 + 2] = v;
    }
    return rgb;
}

uint8_t NearestIndex(const Bytes& palette, const uint8_t* rgba) {
    int best = 1;
    long bestDistance = 1L << 30;
    for (int i = 1; i < 256; ++i) {
        long d = 0;
        for (int c = 0; c < 3; ++c) {
            const long diff = long{palette[i * 3 + c]} - rgba[c];
            d += diff * diff;
        }
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return static_cast<uint8_t>(best);
}

// One palette index per pixel; 0 where the pixel is mostly transparent.
Bytes Quantize(const Bytes& rgba, const Bytes& palette) {
    Bytes indices(rgba.size() / 4);
    for (size_t i = 0; i < indices.size(); ++i) {
        indices[i] = rgba[i * 4 + 3] < 128 ? 0 : NearestIndex(palette, &rgba[i * 4]);
    }
    return indices;
}

void Put16(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(Bytes& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void PutBe32(Bytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(v >> shift));
    }
}

// BITMAPINFOHEADER, palette, colour rows bottom-up, then the AND mask.
Bytes Dib(int size, int bits, const Bytes& rgba, const Bytes& palette) {
    const uint32_t colourStride = static_cast<uint32_t>((size * bits / 8 + 3) & ~3);
    const uint32_t maskStride = static_cast<uint32_t>(((size + 31) / 32) * 4);
    Bytes out;
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(size));
    Put32(out, static_cast<uint32_t>(size * 2));
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(bits));
    Put32(out, 0);
    Put32(out, (colourStride + maskStride) * static_cast<uint32_t>(size));
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, bits == 8 ? 256 : 0);
    Put32(out, 0);
    const Bytes indices = bits == 8 ? Quantize(rgba, palette) : Bytes();
    if (bits == 8) {
        for (int i = 0; i < 256; ++i) {
            out.push_back(palette[i * 3 + 2]);
            out.push_back(palette[i * 3 + 1]);
            out.push_back(palette[i * 3 + 0]);
            out.push_back(0);
        }
    }
    for (int y = size - 1; y >= 0; --y) {
        const size_t rowStart = out.size();
        for (int x = 0; x < size; ++x) {
            const size_t p = static_cast<size_t>(y) * size + x;
            if (bits == 8) {
                out.push_back(indices[p]);
            } else {
                out.push_back(rgba[p * 4 + 2]);
                out.push_back(rgba[p * 4 + 1]);
                out.push_back(rgba[p * 4 + 0]);
                out.push_back(rgba[p * 4 + 3]);
            }
        }
        out.resize(rowStart + colourStride, 0);
    }
    for (int y = size - 1; y >= 0; --y) {
        Bytes row(maskStride, 0);
        for (int x = 0; x < size; ++x) {
            if (rgba[(static_cast<size_t>(y) * size + x) * 4 + 3] < 128) {
                row[x / 8] = static_cast<uint8_t>(row[x / 8] | (0x80 >> (x % 8)));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

void PngChunk(Bytes& out, const char* type, const Bytes& data) {
    PutBe32(out, static_cast<uint32_t>(data.size()));
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    PutBe32(out, static_cast<uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
}

Bytes Png(int size, int bits, const Bytes& rgba, const Bytes& palette) {
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    PutBe32(header, static_cast<uint32_t>(size));
    PutBe32(header, static_cast<uint32_t>(size));
    header.push_back(8);                             // bits per sample or index
    header.push_back(bits == 8 ? 3 : 6);             // palette, or RGBA
    header.insert(header.end(), {0, 0, 0});          // deflate, no filter set, no interlace
    PngChunk(out, "IHDR", header);
    Bytes raw;
    if (bits == 8) {
        PngChunk(out, "PLTE", palette);
        PngChunk(out, "tRNS", Bytes{0});
        const Bytes indices = Quantize(rgba, palette);
        const ptrdiff_t row = size;
        for (ptrdiff_t y = 0; y < row; ++y) {
            raw.push_back(0);
            raw.insert(raw.end(), indices.begin() + y * row, indices.begin() + (y + 1) * row);
        }
    } else {
        const ptrdiff_t row = ptrdiff_t{size} * 4;
        for (ptrdiff_t y = 0; y < size; ++y) {
            raw.push_back(0);
            raw.insert(raw.end(), rgba.begin() + y * row, rgba.begin() + (y + 1) * row);
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    Bytes packed(packedSize);
    compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9);
    packed.resize(packedSize);
    PngChunk(out, "IDAT", packed);
    PngChunk(out, "IEND", Bytes());
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        (void)std::fputs("usage: make_icon OUTPUT.ico\n", stderr);
        return 2;
    }
    const struct {
        int size, bits;
    } images[] = {{16, 8}, {32, 8}, {48, 8}, {256, 8}, {16, 32}, {32, 32}, {48, 32}, {64, 32}, {256, 32}};
    const Bytes palette = Palette();
    std::vector<Bytes> data;
    for (const auto& image : images) {
        const Bytes rgba = Render(image.size);
        data.push_back(image.size >= 256 ? Png(image.size, image.bits, rgba, palette)
                                         : Dib(image.size, image.bits, rgba, palette));
    }
    Bytes file;
    Put16(file, 0);
    Put16(file, 1);
    Put16(file, static_cast<uint32_t>(data.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * data.size());
    for (size_t i = 0; i < data.size(); ++i) {
        file.push_back(static_cast<uint8_t>(images[i].size & 0xFF)); // 0 means 256
        file.push_back(static_cast<uint8_t>(images[i].size & 0xFF));
        file.push_back(0); // 0: 256 colours or more
        file.push_back(0);
        Put16(file, 1);
        Put16(file, static_cast<uint32_t>(images[i].bits));
        Put32(file, static_cast<uint32_t>(data[i].size()));
        Put32(file, offset);
        offset += static_cast<uint32_t>(data[i].size());
    }
    for (const Bytes& d : data) {
        file.insert(file.end(), d.begin(), d.end());
    }
    FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(file.data(), 1, file.size(), out) != file.size() || std::fclose(out) != 0) {
        (void)std::fprintf(stderr, "make_icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
