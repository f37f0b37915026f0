#include "platform/text_conversion.h"

#include <iconv.h>

#include <cerrno>
#include <memory>

#include "base/errors.h"

namespace plenova::platform {

namespace {

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};

// Converts the whole input or throws; `what` names the direction for the message.
std::string Convert(const char* to, const char* from, std::string_view input, const char* what) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw EncodingError(std::string("Code page 932 conversion is not available: ") + what);
    }
    std::unique_ptr<void, IconvCloser> guard(cd);
    std::string out;
    out.resize(input.size() * 2 + 16);
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    std::size_t used = 0;
    while (true) {
        char* dst = out.data() + used;
        std::size_t outLeft = out.size() - used;
        const std::size_t r = iconv(cd, inLeft ? &in : nullptr, &inLeft, &dst, &outLeft);
        used = out.size() - outLeft;
        if (r != static_cast<std::size_t>(-1)) {
            if (inLeft == 0) break;
            continue;
        }
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        const std::size_t at = input.size() - inLeft;
        throw EncodingError(std::string(what) + ": invalid or unconvertible text at byte " +
                            std::to_string(at));
    }
    out.resize(used);
    return out;
}

}  // namespace

std::string ToShiftJis(std::string_view utf8) {
    return Convert("CP932", "UTF-8", utf8, "UTF-8 to Shift-JIS");
}

std::string FromShiftJis(std::string_view sjis) {
    return Convert("UTF-8", "CP932", sjis, "Shift-JIS to UTF-8");
}

}  // namespace plenova::platform
