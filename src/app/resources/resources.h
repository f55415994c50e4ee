// The program's own resources, embedded at build time: the logo, the button glyphs, the lamp
// pictures and the icon. Each is the file's bytes as they are stored (JPEG, BMP, ICO, PNG).
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace talvik {

struct Resource {
  const unsigned char* data;
  std::size_t size;
};

// Finds a resource by name, ignoring the case of letters ("On" finds "ON"). The names are
// LOGO, GLYPH_HELP, GLYPH_CONNECT, GLYPH_DISCONNECT, GLYPH_SAVE, GLYPH_CLR, ON, OFF, MAINICON
// and ICON_PNG. The bytes live as long as the program.
std::optional<Resource> FindResource(std::string_view name);

}  // namespace talvik
