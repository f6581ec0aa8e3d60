// The INI emitter: sectioned settings text as the game's reader takes it,
// used for config.ini, the registry file and test fixtures.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kit {

struct IniSectionText {
    std::string name;
    std::vector<std::pair<std::string, std::string>> values;
};

// "[name]" then "key=value" lines, a blank line between sections; CR LF line
// ends when asked, as files written on the original system have.
std::string IniText(const std::vector<IniSectionText>& sections, bool crlf = false);

}  // namespace kit
