// Writes the distribution medium's "SETUP.ini": the UTF-8 template with its "@DATA_FILES@" line
// replaced by one Copy line per data file of the saver, numbered on from the template's own
// Copy lines, converted to Shift-JIS with CR LF line ends.
//
//   make_setup_ini <template> <output>
//
// The data file names come from the same header the data generator writes them by, so the
// script cannot list a file the build does not make.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text_conversion.h"
#include "assets/asset_names.h"
#include "base/errors.h"

namespace {

namespace assets = plenova::assets;

constexpr std::string_view kPlaceholder = "@DATA_FILES@";

std::vector<std::string_view> DataFiles() {
    std::vector<std::string_view> names{assets::kBackground};
    for (const auto& sprite : assets::kSpriteFiles) names.push_back(sprite.name);
    for (std::string_view name :
         {assets::kMusic, assets::kPreview, assets::kTitlePicture, assets::kStar45,
          assets::kStar31, assets::kStar25, assets::kStar15, assets::kProgramIcon,
          assets::kUpIcon, assets::kDownIcon}) {
        names.push_back(name);
    }
    return names;
}

// The number of a "CopyN=" line, or 0 for any other line.
int CopyNumber(std::string_view line) {
    if (!line.starts_with("Copy")) return 0;
    int number = 0;
    std::size_t i = 4;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9' && number < 100000; ++i) {
        number = number * 10 + (line[i] - '0');
    }
    return i < line.size() && line[i] == '=' ? number : 0;
}

std::string Build(std::string_view text) {
    std::string out;
    int lastCopy = 0;
    bool filled = false;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        if (line.ends_with('\r')) line.remove_suffix(1);
        at = end + 1;
        if (line == kPlaceholder) {
            if (filled) throw std::runtime_error("the template names the data files twice");
            for (std::string_view name : DataFiles()) {
                out += "Copy" + std::to_string(++lastCopy) + "=" + std::string(name) + "\r\n";
            }
            filled = true;
            continue;
        }
        if (const int number = CopyNumber(line); number > lastCopy) lastCopy = number;
        out += std::string(line) + "\r\n";
    }
    if (!filled) throw std::runtime_error("the template has no line " + std::string(kPlaceholder));
    return plenova::platform::ToShiftJis(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_setup_ini <template> <output>\n");
        return 2;
    }
    try {
        std::ifstream in(argv[1], std::ios::binary);
        if (!in) throw std::runtime_error(std::string("cannot read ") + argv[1]);
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        const std::string script = Build(text);
        // Written aside and renamed, so a failed run never leaves half a script behind.
        const std::filesystem::path output = argv[2];
        const std::filesystem::path temporary = output.string() + ".part";
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            out.write(script.data(), static_cast<std::streamsize>(script.size()));
            out.close();
            if (!out) throw std::runtime_error("cannot write " + temporary.string());
        }
        std::filesystem::rename(temporary, output);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_setup_ini: %s\n", error.what());
        return 1;
    }
    return 0;
}
