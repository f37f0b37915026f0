#include "saver/read_dib.h"

#include "dialogs/form_support.h"
#include "engine/cwingbitmap.h"
#include "platform/message_box.h"

namespace plenova::saver {
namespace {

bool Reported(const engine::DibReadResult& result) {
    if (result) return true;
    if (ShowsMessage(result.error().code)) {
        platform::ShowMessage(result.error().message, dialogs::kProgramTitle,
                              platform::MsgButtons::Ok, platform::MsgIcon::None);
    }
    return false;
}

}  // namespace

bool ShowsMessage(engine::DibError code) {
    switch (code) {
        case engine::DibError::ShortFileHeader:
        case engine::DibError::NotEightBits:
        case engine::DibError::NoSurface: return false;
        default: return true;
    }
}

bool ReadDIB(engine::CDib& dib, const std::string& filename) {
    return Reported(dib.ReadBmp(filename));
}

bool ReadDIB(engine::CWinGBitmap& bitmap, const std::shared_ptr<engine::CWinGDC>& wingDC,
             const std::string& filename) {
    return Reported(bitmap.ReadBmp(wingDC, filename));
}

}  // namespace plenova::saver
