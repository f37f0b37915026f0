#include "setup/profile_reader.h"

#include <algorithm>

#include "base/errors.h"
#include "base/text.h"
#include "platform/text_conversion.h"

namespace plenova::setup {

using platform::FromShiftJis;
using platform::ToShiftJis;

namespace {

constexpr std::string_view kIniBlanks = " \t";

// ASCII letters in lower case; both bytes of a double-byte character stay as they are, since a
// trail byte may look like an ASCII letter.
std::string FoldName(std::string_view name) {
    std::string folded(name);
    for (std::size_t i = 0; i < folded.size(); ++i) {
        const auto byte = static_cast<unsigned char>(folded[i]);
        if (IsShiftJisLeadByte(byte)) {
            ++i;
        } else if (byte >= 'A' && byte <= 'Z') {
            folded[i] = static_cast<char>(byte - 'A' + 'a');
        }
    }
    return folded;
}

// Position of the first "]" that is a character of its own, not the trail of a double-byte one.
std::size_t FindClosingBracket(std::string_view line, std::size_t from) {
    for (std::size_t i = from; i < line.size(); ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        if (IsShiftJisLeadByte(byte)) {
            ++i;
        } else if (byte == ']') {
            return i;
        }
    }
    return std::string_view::npos;
}

// The first `kMaxProfileValueBytes` bytes, one less when the last of them would be the lead
// byte of a character cut in two.
std::string_view CutValue(std::string_view value) {
    if (value.size() <= kMaxProfileValueBytes) return value;
    std::size_t i = 0;
    while (i < kMaxProfileValueBytes) {
        const auto byte = static_cast<unsigned char>(value[i]);
        const std::size_t width = IsShiftJisLeadByte(byte) ? 2 : 1;
        if (i + width > kMaxProfileValueBytes) break;
        i += width;
    }
    return value.substr(0, i);
}

std::string_view MakeValue(std::string_view afterEquals) {
    std::string_view value = afterEquals.substr(0, afterEquals.find('\0'));
    value = TrimView(value, kIniBlanks);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return CutValue(value);
}

// The name as the file spells it, folded; false when code page 932 cannot hold it.
bool ToFileName(std::string_view utf8, std::string& out) {
    // Code page 932 holds ASCII as it is; only other names need the conversion.
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return (c & 0x80) == 0; })) {
        out = FoldName(utf8);
        return true;
    }
    try {
        out = FoldName(ToShiftJis(utf8));
        return true;
    } catch (const EncodingError&) {  // does not fit the code page
        return false;
    }
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

bool IsTrailByte(unsigned char byte) {
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

bool TryDecode(std::string_view bytes, std::string& out) {
    try {
        out += FromShiftJis(bytes);
        return true;
    } catch (const EncodingError&) {  // not Shift-JIS
        return false;
    }
}

}  // namespace

namespace {

// Characters whose bytes have the shape of code page 932 (a single byte that is a character, or
// a lead byte with a byte that can trail it) are converted in runs; the rest are replaced.
bool IsSingleByteCharacter(unsigned char byte) {
    return byte < 0x80 || (byte >= 0xA1 && byte <= 0xDF);
}

// Converts a run of well-shaped characters. A run that the table refuses somewhere is halved
// at a character boundary until the refused characters stand alone, so one bad pair costs a
// few conversions, not one per character.
void DecodeRun(std::string_view run, std::string& out) {
    if (run.empty() || TryDecode(run, out)) return;
    std::size_t middle = 0;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < run.size(); ++characters) {
        i += IsShiftJisLeadByte(static_cast<unsigned char>(run[i])) ? 2 : 1;
    }
    if (characters == 1) {
        out += kReplacement;
        return;
    }
    for (std::size_t k = 0; k < characters / 2; ++k) {
        middle += IsShiftJisLeadByte(static_cast<unsigned char>(run[middle])) ? 2 : 1;
    }
    DecodeRun(run.substr(0, middle), out);
    DecodeRun(run.substr(middle), out);
}

}  // namespace

std::string DecodeShiftJisLenient(std::string_view sjis) {
    bool ascii = true;
    for (char c : sjis) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) return std::string(sjis);
    std::string out;
    std::size_t runStart = 0;
    std::size_t i = 0;
    while (i < sjis.size()) {
        const auto byte = static_cast<unsigned char>(sjis[i]);
        if (IsSingleByteCharacter(byte)) {
            ++i;
        } else if (IsShiftJisLeadByte(byte) && i + 1 < sjis.size() &&
                   IsTrailByte(static_cast<unsigned char>(sjis[i + 1]))) {
            i += 2;
        } else {
            // A byte that is no character, a lone lead byte, or one followed by a byte that
            // cannot trail it: replaced, and the next byte is read as a character of its own.
            DecodeRun(sjis.substr(runStart, i - runStart), out);
            out += kReplacement;
            runStart = ++i;
        }
    }
    DecodeRun(sjis.substr(runStart), out);
    return out;
}

ProfileFile ProfileFile::Parse(std::string_view bytes) {
    ProfileFile file;
    Keys* current = nullptr;  // keys of the section being read; null outside any readable one
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t end = bytes.find_first_of("\r\n", at);
        const std::string_view line =
            bytes.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        if (end == std::string_view::npos) {
            at = bytes.size();
        } else {
            at = end + 1;
            if (bytes[end] == '\r' && at < bytes.size() && bytes[at] == '\n') ++at;
        }

        const std::string_view text = TrimView(line, kIniBlanks);
        if (text.empty() || text.front() == ';') continue;
        if (text.front() == '[') {
            const std::size_t close = FindClosingBracket(text, 1);
            if (close != std::string_view::npos) {
                auto [it, added] = file.sections_.try_emplace(
                    FoldName(TrimView(text.substr(1, close - 1), kIniBlanks)));
                // A repeated header: its keys are not read, as the first section wins.
                current = added ? &it->second : nullptr;
                continue;
            }
        }
        const std::size_t equals = text.find('=');
        if (equals == std::string_view::npos || current == nullptr) continue;
        current->try_emplace(FoldName(TrimView(text.substr(0, equals), kIniBlanks)),
                             MakeValue(text.substr(equals + 1)));
    }
    return file;
}

const std::string* ProfileFile::Find(std::string_view section, std::string_view key) const {
    std::string sectionName;
    std::string keyName;
    if (!ToFileName(section, sectionName) || !ToFileName(key, keyName)) return nullptr;
    const auto keys = sections_.find(sectionName);
    if (keys == sections_.end()) return nullptr;
    const auto value = keys->second.find(keyName);
    return value == keys->second.end() ? nullptr : &value->second;
}

std::string ProfileFile::RawValue(std::string_view section, std::string_view key) const {
    const std::string* value = Find(section, key);
    return value ? *value : std::string();
}

std::string ProfileFile::Value(std::string_view section, std::string_view key) const {
    const std::string* value = Find(section, key);
    return value ? DecodeShiftJisLenient(*value) : std::string();
}

bool ProfileFile::HasSection(std::string_view section) const {
    std::string sectionName;
    return ToFileName(section, sectionName) && sections_.contains(sectionName);
}

std::string ReadProfileValue(std::string_view iniBytes, std::string_view section,
                             std::string_view key) {
    return ProfileFile::Parse(iniBytes).Value(section, key);
}

}  // namespace plenova::setup
