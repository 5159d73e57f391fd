// Draws the demo disc's pictures and synthesises its sounds, so that the demo
// carries nothing made elsewhere. Usage: demo_media OUTDIR
//   OUTDIR/pictures/<language>/background.png, button<N>-<state>.png
//   OUTDIR/sounds/intro.wav, click.wav
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <png.h>

namespace fs = std::filesystem;

namespace {

const int kWidth = 640, kHeight = 400, kButtonW = 220, kButtonH = 36;

// 5x7 capitals, digits and a few signs; each row's bits from the left.
struct Glyph {
    char c;
    uint8_t rows[7];
};
const Glyph kFont[] = {
    {'A', {14, 17, 17, 31, 17, 17, 17}}, {'B', {30, 17, 17, 30, 17, 17, 30}}, {'C', {14, 17, 16, 16, 16, 17, 14}},
    {'D', {30, 17, 17, 17, 17, 17, 30}}, {'E', {31, 16, 16, 30, 16, 16, 31}}, {'F', {31, 16, 16, 30, 16, 16, 16}},
    {'G', {14, 17, 16, 23, 17, 17, 15}}, {'H', {17, 17, 17, 31, 17, 17, 17}}, {'I', {14, 4, 4, 4, 4, 4, 14}},
    {'J', {7, 2, 2, 2, 2, 18, 12}},      {'K', {17, 18, 20, 24, 20, 18, 17}}, {'L', {16, 16, 16, 16, 16, 16, 31}},
    {'M', {17, 27, 21, 21, 17, 17, 17}}, {'N', {17, 17, 25, 21, 19, 17, 17}}, {'O', {14, 17, 17, 17, 17, 17, 14}},
    {'P', {30, 17, 17, 30, 16, 16, 16}}, {'Q', {14, 17, 17, 17, 21, 18, 13}}, {'R', {30, 17, 17, 30, 20, 18, 17}},
    {'S', {15, 16, 16, 14, 1, 1, 30}},   {'T', {31, 4, 4, 4, 4, 4, 4}},       {'U', {17, 17, 17, 17, 17, 17, 14}},
    {'V', {17, 17, 17, 17, 17, 10, 4}},  {'W', {17, 17, 17, 21, 21, 21, 10}}, {'X', {17, 17, 10, 4, 10, 17, 17}},
    {'Y', {17, 17, 10, 4, 4, 4, 4}},     {'Z', {31, 1, 2, 4, 8, 16, 31}},     {'0', {14, 17, 19, 21, 25, 17, 14}},
    {'1', {4, 12, 4, 4, 4, 4, 14}},      {'2', {14, 17, 1, 2, 4, 8, 31}},     {'3', {30, 1, 1, 14, 1, 1, 30}},
    {'-', {0, 0, 0, 31, 0, 0, 0}},       {'.', {0, 0, 0, 0, 0, 12, 12}},      {'!', {4, 4, 4, 4, 4, 0, 4}},
    {' ', {0, 0, 0, 0, 0, 0, 0}},
};

struct Canvas {
    int w, h;
    std::vector<uint8_t> px;  // blue, green, red, alpha
    Canvas(int w_, int h_) : w(w_), h(h_), px(size_t(w_) * h_ * 4, 0) {}
    void Set(int x, int y, uint32_t rgb, uint8_t a = 255) {
        if (x < 0 || y < 0 || x >= w || y >= h) return;
        uint8_t* p = &px[(size_t(y) * w + x) * 4];
        p[0] = uint8_t(rgb), p[1] = uint8_t(rgb >> 8), p[2] = uint8_t(rgb >> 16), p[3] = a;
    }
    // Text in the 5x7 font, each dot scale x scale pixels, centred on (cx, cy).
    void Text(const std::string& s, int cx, int cy, int scale, uint32_t rgb) {
        int width = int(s.size()) * 6 * scale - scale, x0 = cx - width / 2, y0 = cy - 7 * scale / 2;
        for (size_t i = 0; i < s.size(); ++i) {
            const Glyph* g = nullptr;
            for (const Glyph& f : kFont)
                if (f.c == s[i]) g = &f;
            if (!g) continue;
            for (int r = 0; r < 7; ++r)
                for (int c = 0; c < 5; ++c)
                    if (g->rows[r] & (16 >> c))
                        for (int dy = 0; dy < scale; ++dy)
                            for (int dx = 0; dx < scale; ++dx)
                                Set(x0 + int(i) * 6 * scale + c * scale + dx, y0 + r * scale + dy, rgb);
        }
    }
    bool Save(const fs::path& path) const {
        fs::create_directories(path.parent_path());
        // PNG with alpha through libpng's simplified writer.
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        image.width = uint32_t(w);
        image.height = uint32_t(h);
        image.format = PNG_FORMAT_BGRA;
        return png_image_write_to_file(&image, path.string().c_str(), 0, px.data(), 0, nullptr) != 0;
    }
};

uint32_t Mix(uint32_t a, uint32_t b, double t) {
    uint32_t out = 0;
    for (int s = 0; s < 24; s += 8)
        out |= uint32_t(((a >> s) & 255) * (1 - t) + ((b >> s) & 255) * t) << s;
    return out;
}

void Background(const std::string& title, const std::string& subtitle, const fs::path& path) {
    Canvas c(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            double t = double(y) / kHeight;
            uint32_t rgb = Mix(0x1B2A4A, 0x0A0F1E, t);
            // A soft sun behind the title, and a few stars.
            double d = std::hypot(x - 500.0, y - 90.0);
            if (d < 120) rgb = Mix(rgb, 0xF2A541, (120 - d) / 240);
            if (((x * 7919 + y * 104729) % 1637) == 0) rgb = 0xE0E8FF;
            c.Set(x, y, rgb);
        }
    for (int x = 0; x < kWidth; ++x)  // hills along the bottom
        for (int y = int(330 + 18 * std::sin(x / 57.0) + 9 * std::sin(x / 23.0)); y < kHeight; ++y)
            c.Set(x, y, Mix(0x203820, 0x102010, double(y - 300) / 100));
    c.Text(title, 200, 48, 4, 0xFFFFFF);
    c.Text(subtitle, 200, 84, 2, 0xB8C4E0);
    c.Save(path);
}

// States: 1 at rest, 2 hot, 3 pressed, 4 disabled. Corners stay transparent, so
// the background shows through them.
void Button(const std::string& label, int state, const fs::path& path) {
    const uint32_t fill[] = {0x2E4A7A, 0x4670B8, 0x1E3050, 0x505050};
    const uint32_t ink[] = {0xFFFFFF, 0xFFF2C0, 0xD0D0D0, 0x909090};
    Canvas c(kButtonW, kButtonH);
    const int r = 10;
    for (int y = 0; y < kButtonH; ++y)
        for (int x = 0; x < kButtonW; ++x) {
            int dx = x < r ? r - x : (x >= kButtonW - r ? x - (kButtonW - r - 1) : 0);
            int dy = y < r ? r - y : (y >= kButtonH - r ? y - (kButtonH - r - 1) : 0);
            double d = std::sqrt(double(dx * dx + dy * dy));
            if (d > r) continue;
            uint8_t alpha = d > r - 1 ? uint8_t(255 * (r - d)) : 255;
            uint32_t rgb = Mix(fill[state - 1], 0x000000, double(y) / kButtonH * 0.4);
            if (d > r - 2.5 || x < 2 || y < 2 || x >= kButtonW - 2 || y >= kButtonH - 2) rgb = Mix(rgb, 0xFFFFFF, 0.35);
            c.Set(x, y, rgb, alpha);
        }
    c.Text(label, kButtonW / 2 + (state == 3 ? 1 : 0), kButtonH / 2 + (state == 3 ? 1 : 0), 2, ink[state - 1]);
    c.Save(path);
}

void Wave(const fs::path& path, const std::vector<double>& notes, double noteSeconds) {
    const uint32_t rate = 22050;
    std::vector<uint8_t> samples;
    for (double f : notes)
        for (uint32_t i = 0; i < uint32_t(rate * noteSeconds); ++i) {
            double t = double(i) / rate, env = std::exp(-4 * t / noteSeconds);
            samples.push_back(uint8_t(128 + 90 * env * std::sin(2 * M_PI * f * t)));
        }
    auto u32 = [](std::string& s, uint32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [](std::string& s, uint16_t v) { s.append(reinterpret_cast<const char*>(&v), 2); };
    std::string w = "RIFF";
    u32(w, 36 + uint32_t(samples.size()));
    w += "WAVEfmt ";
    u32(w, 16), u16(w, 1), u16(w, 1), u32(w, rate), u32(w, rate), u16(w, 1), u16(w, 8);
    w += "data";
    u32(w, uint32_t(samples.size()));
    w.append(samples.begin(), samples.end());
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(w.data(), std::streamsize(w.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: demo_media OUTDIR\n");
        return 2;
    }
    const fs::path out = argv[1];
    struct Language {
        const char* folder;
        const char* title;
        const char* subtitle;
        std::vector<std::string> labels;
    } languages[] = {
        {"english", "DEMO QUEST", "THE ADVENTURE DISC", {"INSTALL", "PLAY", "UNINSTALL", "MANUAL", "ABOUT", "DEUTSCH", "ENGLISH", "EXIT"}},
        {"deutsch", "DEMO QUEST", "DIE ABENTEUER-CD", {"INSTALLIEREN", "SPIELEN", "ENTFERNEN", "HANDBUCH", "INFO", "DEUTSCH", "ENGLISH", "BEENDEN"}},
    };
    for (const Language& l : languages) {
        Background(l.title, l.subtitle, out / "pictures" / l.folder / "background.png");
        for (size_t i = 0; i < l.labels.size(); ++i)
            for (int s = 1; s <= 4; ++s)
                Button(l.labels[i], s, out / "pictures" / l.folder / ("button" + std::to_string(i + 1) + "-" + std::to_string(s) + ".png"));
    }
    Wave(out / "sounds" / "intro.wav", {523.25, 659.25, 783.99, 1046.5}, 0.18);
    Wave(out / "sounds" / "click.wav", {880}, 0.06);
    std::printf("%s: pictures and sounds written\n", out.string().c_str());
    return 0;
}
