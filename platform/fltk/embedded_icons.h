#pragma once
// The application icon's PNG files, compiled into the program at build time (see
// embed_icons.cmake), so the binary needs no file beside it.

#include <array>
#include <cstddef>

namespace qv::fltk {

struct EmbeddedPng {
    int pixels;  // width and height
    const unsigned char* data;
    std::size_t size;
};

extern const std::array<EmbeddedPng, 2> kEmbeddedIcons;

}  // namespace qv::fltk
