// The Linux backend's pure parts: reading the desktop's DPI from the X resources.

#include <gtest/gtest.h>

#include "platform/fltk/x11_desktop.h"

namespace qv::fltk::x11 {
namespace {

TEST(XftDpi, ReadsTheSettingAmongOtherResources) {
    EXPECT_EQ(xftDpi("Xft.dpi:\t96\n"), 96);
    EXPECT_EQ(xftDpi("Xcursor.size:\t24\nXft.antialias:\t1\nXft.dpi:\t144\nXft.hinting:\t1\n"),
              144);
    EXPECT_EQ(xftDpi("Xft.dpi: 120.4"), 120);  // no newline at the end, fraction rounded
    EXPECT_EQ(xftDpi("  Xft.dpi :  192  \r\n"), 192);
}

TEST(XftDpi, AbsentOrUnusableGivesNothing) {
    EXPECT_EQ(xftDpi(""), std::nullopt);
    EXPECT_EQ(xftDpi("Xft.antialias:\t1\n"), std::nullopt);
    EXPECT_EQ(xftDpi("Xft.dpi:\tbig\n"), std::nullopt);
    EXPECT_EQ(xftDpi("Xft.dpi:\t96dpi\n"), std::nullopt);
    EXPECT_EQ(xftDpi("Xft.dpi:\t0\n"), std::nullopt);
    EXPECT_EQ(xftDpi("Xft.dpi:\t-96\n"), std::nullopt);
    EXPECT_EQ(xftDpi("Xft.dpi:\t1e9\n"), std::nullopt);
    EXPECT_EQ(xftDpi("Xft.dpix:\t96\n"), std::nullopt);
    EXPECT_EQ(xftDpi("Xft.dpi\t96\n"), std::nullopt);
}

TEST(XftDpi, TheLastSettingWins) {
    EXPECT_EQ(xftDpi("Xft.dpi:\t96\nXft.dpi:\t120\n"), 120);
    EXPECT_EQ(xftDpi("Xft.dpi:\t96\nXft.dpi:\tnone\n"), std::nullopt);
}

}  // namespace
}  // namespace qv::fltk::x11
