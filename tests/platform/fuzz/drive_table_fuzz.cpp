// Feeds arbitrary bytes to the drive-table reader. Besides crashes and sanitizer reports, a
// finding is a table whose drives break the format's promises (letters, types, absolute
// folders, one drive per letter) or change when the table is written back line by line, as
// adding or removing a drive does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/machine_formats.h"

namespace {

namespace pf = plenova::platform;

void Check(bool condition) {
    if (!condition) std::abort();
}

bool SameDrives(const pf::DriveTable& a, const pf::DriveTable& b) {
    if (a.drives.size() != b.drives.size()) return false;
    for (std::size_t i = 0; i < a.drives.size(); ++i) {
        const pf::Drive& x = a.drives[i];
        const pf::Drive& y = b.drives[i];
        if (x.letter != y.letter || x.type != y.type || x.hostFolder != y.hostFolder) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::filesystem::path root("/machine");
    const pf::DriveTable table = pf::ParseDriveTable(text, root);
    std::string letters;
    for (const pf::Drive& d : table.drives) {
        Check(d.letter >= 'A' && d.letter <= 'Z' && d.letter != 'C' && d.letter != 'Z');
        Check(letters.find(d.letter) == std::string::npos);
        letters.push_back(d.letter);
        Check(d.type >= pf::kDriveUnknown && d.type <= pf::kDriveRamDisk);
        Check(d.hostFolder.is_absolute());
        Check(d.hostFolder.native().find('\0') == std::string::npos);
    }
    std::string rewritten;
    for (const std::string& line : table.lines) {
        Check(line.find('\n') == std::string::npos);
        rewritten += line + "\n";
    }
    Check(SameDrives(table, pf::ParseDriveTable(rewritten, root)));
    return 0;
}
