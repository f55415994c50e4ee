# Turns one file into a C++ source that defines its bytes as an array.
# Run in script mode: cmake -DINPUT=<file> -DOUTPUT=<cpp> -DSYMBOL=<identifier> -P embed.cmake
# Pure CMake, so the same step works on the build machine when cross-compiling.
if(NOT DEFINED INPUT OR NOT DEFINED OUTPUT OR NOT DEFINED SYMBOL)
  message(FATAL_ERROR "embed.cmake needs INPUT, OUTPUT and SYMBOL")
endif()

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")

if(size EQUAL 0)
  set(body "0")
else()
  # 16 bytes a line: break after every 32 hex digits, then turn each pair into 0xNN.
  string(REGEX REPLACE "(................................)" "\\1\n" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${hex}")
endif()

get_filename_component(input_name "${INPUT}" NAME)
set(content "// Made from ${input_name} by embed.cmake at build time.
#include <cstddef>

namespace talvik::embedded {
extern const unsigned char ${SYMBOL}[];
extern const std::size_t ${SYMBOL}_size;
const unsigned char ${SYMBOL}[] = {
${body}
};
const std::size_t ${SYMBOL}_size = ${size};
}  // namespace talvik::embedded
")

# Leave an unchanged output alone so that nothing recompiles needlessly.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
  if(old STREQUAL content)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${content}")
