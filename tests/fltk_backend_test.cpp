// The Linux backend's pure parts: the desktop's DPI from the value of its X resource.

#include <gtest/gtest.h>

#include "platform/fltk/x11_desktop.h"

namespace qv::fltk::x11 {
namespace {

TEST(DpiResource, ReadsAWholeOrRoundedNumber) {
    EXPECT_EQ(dpiValue("96"), 96);
    EXPECT_EQ(dpiValue("144"), 144);
    EXPECT_EQ(dpiValue("120.4"), 120);
    EXPECT_EQ(dpiValue("  192  \r"), 192);  // the resource manager keeps trailing blanks
    EXPECT_EQ(dpiValue("24"), 24);
    EXPECT_EQ(dpiValue("960"), 960);
}

TEST(DpiResource, RefusesWhatIsNoUsableDpi) {
    for (const char* text : {"", "big", "96dpi", "0", "-96", "23", "961", "1e9", "nan", "inf"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(dpiValue(text), std::nullopt);
    }
}

TEST(DpiResource, TheWarningQuotesOnlyShortPrintableText) {
    EXPECT_EQ(unusableDpiWarning("big"),
              "X resource Xft.dpi holds \"big\", which is not a DPI from 24 to 960; using 96");
    EXPECT_EQ(unusableDpiWarning("\x1b[2J"),
              "X resource Xft.dpi is not a DPI from 24 to 960; using 96");
    EXPECT_EQ(unusableDpiWarning(std::string(41, '9')),
              "X resource Xft.dpi is not a DPI from 24 to 960; using 96");
}

}  // namespace
}  // namespace qv::fltk::x11
