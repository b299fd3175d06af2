// The format of the registry file read on POSIX, read-only:
//
//   ; comment            # comment
//   [HKEY_LOCAL_MACHINE\Software\YDR\Shared\Common]
//   Common Path=/opt/ydr/common
//
// A section names a key by its full path; each "name=value" line below it is a string
// value. Key paths and value names compare without regard to ASCII case, as the registry's
// do. Blanks around names and values are dropped, and a value wrapped in double quotes
// loses the quotes. A key may appear in several sections; its values add up, later lines
// replacing earlier ones of the same name.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ydr::platform {

using RegistryValues = std::vector<std::pair<std::string, std::string>>;

// The values of the key at key_path ("HKEY_LOCAL_MACHINE\Software\..."), or nothing when
// the text has no section for that key.
std::optional<RegistryValues> ParseRegistryKey(std::string_view text, std::string_view key_path);

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace ydr::platform
