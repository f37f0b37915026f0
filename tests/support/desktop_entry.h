// Desktop entry files read as a desktop reads them: the keys of the "[Desktop Entry]" group with
// their string values unescaped, and an Exec line split into its arguments by the Desktop Entry
// quoting rules. For the tests of the entries our programs write.
#pragma once

#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace plenova::testing {

// Keys and unescaped values of the "[Desktop Entry]" group.
inline std::map<std::string, std::string> ParseDesktopEntry(const std::string& text) {
    std::map<std::string, std::string> entry;
    std::istringstream in(text);
    std::string line;
    bool inGroup = false;
    while (std::getline(in, line)) {
        if (line.starts_with("[")) {
            inGroup = line == "[Desktop Entry]";
            continue;
        }
        const auto equals = line.find('=');
        if (!inGroup || line.empty() || line[0] == '#' || equals == std::string::npos) continue;
        std::string value;
        const std::string raw = line.substr(equals + 1);
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '\\' || i + 1 == raw.size()) {
                value += raw[i];
                continue;
            }
            const char c = raw[++i];
            value += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c == 's' ? ' ' : c;
        }
        entry[line.substr(0, equals)] = value;
    }
    return entry;
}

// The arguments of an (unescaped) Exec value. Throws std::invalid_argument for an unclosed
// quote or a field code, which our entries never hold.
inline std::vector<std::string> SplitExec(const std::string& exec) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (c == ' ') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else if (c == '"') {
            inWord = true;
            for (++i;; ++i) {
                if (i >= exec.size()) throw std::invalid_argument("unclosed quote: " + exec);
                if (exec[i] == '"') break;
                if (exec[i] == '\\' && i + 1 < exec.size() &&
                    std::string("\"`$\\").find(exec[i + 1]) != std::string::npos)
                    ++i;
                if (exec[i] == '%') {
                    if (i + 1 >= exec.size() || exec[i + 1] != '%')
                        throw std::invalid_argument("field code in " + exec);
                    ++i;
                }
                word += exec[i];
            }
        } else if (c == '%') {
            if (i + 1 >= exec.size() || exec[i + 1] != '%')
                throw std::invalid_argument("field code in " + exec);
            word += '%';
            ++i;
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

}  // namespace plenova::testing
