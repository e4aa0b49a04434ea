// Cutting an address into the pieces WinInet needs, on plain GBK texts (no
// platform URL parser is involved).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace web {

// The host in lower case. `levels`, when given, selects the domain-level
// algorithm; no caller of the program gives it.
std::string HostOfUrl(std::string_view address, bool mainDomainOnly = false, bool keepPort = false,
                      std::optional<int32_t> levels = std::nullopt);

// The port written after the host, else 443 for https and 80 otherwise.
int32_t PortOfUrl(std::string_view address);

// Path and query from the first "/" after the host, else "/".
std::string PathOfUrl(std::string_view address);

// Everything after the first ":", trimmed; empty without a colon.
std::string HeaderValue(std::string_view text);

}  // namespace web
