# Writes OUTPUT, a C++ file that holds the PNG files given as SIZES (16;24) and INPUTS (their
# paths, in the same order) as byte arrays for embedded_icons.h.
list(LENGTH SIZES count)
set(body "")
set(table "")
foreach(size input IN ZIP_LISTS SIZES INPUTS)
    file(READ "${input}" hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n"
           bytes "${bytes}")
    string(APPEND body "const unsigned char kIcon${size}[] = {\n${bytes}};\n")
    string(APPEND table "    EmbeddedPng{${size}, kIcon${size}, sizeof kIcon${size}},\n")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Generated from assets/ by embed_icons.cmake; do not edit.
#include \"platform/fltk/embedded_icons.h\"

namespace qv::fltk {
namespace {
${body}}  // namespace

const std::array<EmbeddedPng, ${count}> kEmbeddedIcons{{
${table}}};

}  // namespace qv::fltk
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
