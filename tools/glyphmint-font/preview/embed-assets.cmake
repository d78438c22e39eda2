# Writes OUT, a C++ header that holds each of FILES as a
# std::string_view named after it: page.js => k_page_js. The bytes are hex
# escapes, so no file's content can end or bend the literal.
# Usage: cmake -DOUT=<header> -DFILES=<a|b> -P embed-assets.cmake (paths apart
# by |, which a command line passes whole)
string(REPLACE "|" ";" FILES "${FILES}")
set(text "// Generated from ${FILES} by embed-assets.cmake; do not edit.\n#pragma once\n\n#include <string_view>\n")
foreach(file ${FILES})
  get_filename_component(name ${file} NAME)
  string(REGEX REPLACE "[^A-Za-z0-9]" "_" name ${name})
  file(READ ${file} bytes HEX)
  string(LENGTH "${bytes}" hex_length)
  math(EXPR length "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${bytes}")
  string(APPEND text "\ninline constexpr std::string_view k_${name}{\"${escaped}\", ${length}};\n")
endforeach()
file(WRITE ${OUT}.new "${text}")
file(COPY_FILE ${OUT}.new ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.new)
