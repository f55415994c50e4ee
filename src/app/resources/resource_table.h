// The generated table behind FindResource.
#pragma once

#include <cstddef>

namespace talvik::embedded {

struct TableEntry {
  const char* name;
  const unsigned char* data;
  const std::size_t* size;  // a pointer: the size is defined in another generated file
};

extern const TableEntry kTable[];
extern const std::size_t kTableSize;

}  // namespace talvik::embedded
