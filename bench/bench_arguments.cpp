#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "bench/bench_support.h"

int qv::bench::wholeArgument(const char* program, const char* text, int fallback) {
    if (!text) return fallback;
    int n = 0;
    const std::string_view s(text);
    const auto r = std::from_chars(s.data(), s.data() + s.size(), n);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || n <= 0) {
        std::fprintf(stderr, "%s: not a positive whole number: %s\n", program, text);
        std::exit(2);
    }
    return n;
}
