// disctool project preview: the menu of each language drawn as the runtime
// draws it, at rest and with every object hot.
#include <cstring>
#include <filesystem>

#include "tools/disctool/ansi_text.h"
#include "tools/disctool/commands.h"
#include "tools/disctool/png_io.h"
#include "tools/disctool/project.h"

namespace fs = std::filesystem;

namespace disctool {

namespace {

// A file name from a language name: letters, digits, "-" and "_" kept.
std::string SafeName(const std::string& ansi) {
    std::string out;
    for (char c : AnsiToUtf8(ansi))
        out += (std::isalnum((unsigned char)c) || c == '-' || c == '_') ? c : '_';
    return out.empty() ? "language" : out;
}

}  // namespace

bool WritePreview(const core::DataGroup& tree, const std::string& dir, std::vector<std::string>* written) {
    const int32_t width = tree.GetValue("Width").Int(), height = tree.GetValue("Height").Int();
    const core::DataGroup* objects = tree.FindGroup("Objects");
    if (width < 1 || height < 1 || width > 8192 || height > 8192 || !objects)
        return Fail("the project has no menu to preview (Width, Height or Objects missing)"), false;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) return Fail("%s: cannot be created (%s)", dir.c_str(), ec.message().c_str()), false;

    for (const auto& [language, value] : objects->Values()) {
        const core::DataGroup* group = value.Group();
        if (!group) continue;
        for (int hot = 0; hot < 2; ++hot) {
            std::vector<uint8_t> canvas(size_t(width) * height * 4, 128);  // no background paints grey
            const core::DataValue* background = group->FindValue("Background");
            if (background && background->Binary())
                std::memcpy(canvas.data(), background->Binary()->Data(), std::min<size_t>(canvas.size(), background->Binary()->Size()));
            for (int i = 1;; ++i) {
                const core::DataValue* entry = group->FindValue(std::to_string(i));
                if (!entry || !entry->Group()) break;
                const core::DataGroup& o = *entry->Group();
                const int32_t x = o.GetValue("XPos").Int(), y = o.GetValue("YPos").Int();
                const int32_t w = o.GetValue("Width").Int(), h = o.GetValue("Height").Int();
                const core::DataValue* image = o.FindValue(hot ? "Image2" : "Image1");
                if (hot && (!image || !image->Binary())) image = o.FindValue("Image1");
                const core::BinaryBuffer* bytes = image ? image->Binary() : nullptr;
                for (int32_t row = 0; row < h; ++row)
                    for (int32_t col = 0; col < w; ++col) {
                        const int32_t cx = x + col, cy = y + row;
                        if (cx < 0 || cy < 0 || cx >= width || cy >= height) continue;
                        uint8_t* px = &canvas[(size_t(cy) * width + cx) * 4];
                        const size_t at = (size_t(row) * w + col) * 4;
                        if (bytes && at + 4 <= bytes->Size()) std::memcpy(px, bytes->Data() + at, 4);
                        else std::memset(px, 128, 4);  // an absent picture draws grey
                    }
            }
            std::string path = (fs::path(dir) / (SafeName(language) + (hot ? "-hot.png" : ".png"))).string();
            std::string why;
            if (!WritePng(path, uint32_t(width), uint32_t(height), canvas.data(), &why))
                return Fail("%s: %s", path.c_str(), why.c_str()), false;
            written->push_back(path);
        }
    }
    return true;
}

}  // namespace disctool
