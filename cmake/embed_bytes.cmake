# Writes a C++ source that holds a file's bytes as an array.
# Usage: cmake -DINPUT=<file> -DOUTPUT=<source> -DSYMBOL=<name> -P embed_bytes.cmake
# The array is scenreg::<name>, its size scenreg::<name>Size.
cmake_minimum_required(VERSION 3.25)
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Sixteen bytes a line.
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n" bytes "${bytes}")
get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.part"
  "// Made by the build from ${name}; not to be edited.\n"
  "#include <cstddef>\n#include <cstdint>\n\nnamespace scenreg {\n\n"
  "extern const std::uint8_t ${SYMBOL}[];\n"
  "extern const std::size_t ${SYMBOL}Size;\n"
  "const std::uint8_t ${SYMBOL}[] = {\n${bytes}\n};\n"
  "const std::size_t ${SYMBOL}Size = ${size};\n\n}  // namespace scenreg\n")
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
