#include "tools/kit/ini_writer.h"

namespace kit {

std::string IniText(const std::vector<IniSectionText>& sections, bool crlf) {
    const char* end = crlf ? "\r\n" : "\n";
    std::string text;
    for (size_t i = 0; i < sections.size(); ++i) {
        if (i) text += end;
        text += "[" + sections[i].name + "]" + end;
        for (const auto& [key, value] : sections[i].values) text += key + "=" + value + end;
    }
    return text;
}

}  // namespace kit
