#include "platform/fltk/x11_desktop.h"

#include <X11/Xatom.h>
#include <X11/Xft/Xft.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>

#include <poll.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <thread>

namespace qv::fltk::x11 {

namespace {

// Motif window-manager hints, as window managers read them.
constexpr long kMwmHintsFunctions = 1L << 0;
constexpr long kMwmHintsDecorations = 1L << 1;
constexpr long kMwmFuncMove = 1L << 2;
constexpr long kMwmFuncClose = 1L << 5;
constexpr long kMwmDecorBorder = 1L << 1;
constexpr long kMwmDecorTitle = 1L << 3;
constexpr long kMwmDecorMenu = 1L << 4;

constexpr long kNetWmStateRemove = 0;
constexpr long kNetWmStateAdd = 1;
// EWMH source indication: a pager or other tool acting for the user.
constexpr long kSourceTool = 2;

constexpr auto kProbeTimeout = std::chrono::milliseconds(500);
constexpr auto kProbePoll = std::chrono::milliseconds(5);

constexpr int kMinDpi = 24;
constexpr int kMaxDpi = 960;

void sendToRoot(Display* display, ::Window window, Atom type, long l0, long l1, long l2, long l3) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = type;
    e.xclient.format = 32;
    e.xclient.data.l[0] = l0;
    e.xclient.data.l[1] = l1;
    e.xclient.data.l[2] = l2;
    e.xclient.data.l[3] = l3;
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &e);
}

std::optional<FrameExtents> toExtents(const std::vector<long>& v) {
    if (v.size() < 4) return std::nullopt;
    return FrameExtents{static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
                        static_cast<int>(v[3])};
}

PixelRect intersect(const PixelRect& a, const PixelRect& b) {
    const int x = std::max(a.x, b.x);
    const int y = std::max(a.y, b.y);
    const int r = std::min(a.right(), b.right());
    const int bottom = std::min(a.bottom(), b.bottom());
    if (r <= x || bottom <= y) return {};
    return {x, y, r - x, bottom - y};
}

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

// NOTE: not FcNameParse("sans-serif"), which reads the hyphen as the start of a size and asks
// for a family "sans".
FcPattern* familyPattern(const char* family, int weight) {
    FcPattern* pattern = FcPatternCreate();
    if (pattern &&
        (!FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family)) ||
         !FcPatternAddInteger(pattern, FC_WEIGHT, weight))) {
        FcPatternDestroy(pattern);
        return nullptr;
    }
    return pattern;
}

// The family of fontconfig's best match for `name` as Xft would open it, when that face is
// proportional.
std::optional<std::string> proportionalMatch(Display* display, const char* name) {
    FcPattern* pattern = familyPattern(name, FC_WEIGHT_REGULAR);
    if (!pattern) return std::nullopt;
    FcResult result = FcResultNoMatch;
    FcPattern* match = XftFontMatch(display, DefaultScreen(display), pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return std::nullopt;
    int spacing = FC_PROPORTIONAL;  // what a face without the element is
    FcPatternGetInteger(match, FC_SPACING, 0, &spacing);
    FcChar8* family = nullptr;
    std::optional<std::string> found;
    if (spacing == FC_PROPORTIONAL &&
        FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch)
        found = reinterpret_cast<const char*>(family);
    FcPatternDestroy(match);
    return found;
}

}  // namespace

Atom atom(Display* display, const char* name) {
    return XInternAtom(display, name, False);
}

std::vector<long> readLongs(Display* display, ::Window window, const char* property, Atom type) {
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::vector<long> out;
    if (XGetWindowProperty(display, window, atom(display, property), 0, 1024, False, type,
                           &actualType, &actualFormat, &count, &after, &data) == Success &&
        data) {
        // Format-32 items arrive as longs, whatever the size of long.
        if (actualType == type && actualFormat == 32) {
            const long* items = reinterpret_cast<const long*>(data);
            out.assign(items, items + count);
        }
        XFree(data);
    }
    return out;
}

void setFixedFrameHints(Display* display, ::Window window) {
    const long hints[5] = {kMwmHintsFunctions | kMwmHintsDecorations, kMwmFuncMove | kMwmFuncClose,
                           kMwmDecorBorder | kMwmDecorTitle | kMwmDecorMenu, 0, 0};
    const Atom motif = atom(display, "_MOTIF_WM_HINTS");
    XChangeProperty(display, window, motif, motif, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(hints), 5);
}

std::optional<FrameExtents> frameExtents(Display* display, ::Window window) {
    return toExtents(readLongs(display, window, "_NET_FRAME_EXTENTS", XA_CARDINAL));
}

bool windowManagerRunning(Display* display) {
    const auto check =
        readLongs(display, DefaultRootWindow(display), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    return !check.empty() && check[0] != 0;
}

bool windowManagerSupports(Display* display, const char* name) {
    const auto supported =
        readLongs(display, DefaultRootWindow(display), "_NET_SUPPORTED", XA_ATOM);
    const long wanted = static_cast<long>(atom(display, name));
    return std::find(supported.begin(), supported.end(), wanted) != supported.end();
}

std::optional<FrameExtents> awaitFrameExtents(Display* display, ::Window window, int limitMs) {
    const Atom extentsAtom = atom(display, "_NET_FRAME_EXTENTS");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    struct Wanted {
        ::Window window;
        Atom property;
    } wanted{window, extentsAtom};
    const auto matches = [](Display*, XEvent* e, XPointer arg) -> Bool {
        const auto* w = reinterpret_cast<const Wanted*>(arg);
        return e->type == PropertyNotify && e->xproperty.window == w->window &&
               e->xproperty.atom == w->property;
    };
    // Only the awaited event is taken from the queue; FLTK gets every other one as usual.
    XEvent event;
    for (;;) {
        if (auto found = frameExtents(display, window)) return found;
        while (!XCheckIfEvent(display, &event, matches, reinterpret_cast<XPointer>(&wanted))) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return std::nullopt;
            pollfd fd{ConnectionNumber(display), POLLIN, 0};
            poll(&fd, 1, static_cast<int>(left.count()));
        }
    }
}

std::optional<FrameExtents> probeFrameExtents(Display* display) {
    // NOTE: KWin never answers the request, and says so by leaving it out of _NET_SUPPORTED;
    // asking it anyway would only wait out the timeout.
    if (!windowManagerRunning(display) ||
        !windowManagerSupports(display, "_NET_REQUEST_FRAME_EXTENTS"))
        return std::nullopt;
    const ::Window probe =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 100, 100, 0, 0, 0);
    setFixedFrameHints(display, probe);
    sendToRoot(display, probe, atom(display, "_NET_REQUEST_FRAME_EXTENTS"), 0, 0, 0, 0);
    std::optional<FrameExtents> found;
    const auto deadline = std::chrono::steady_clock::now() + kProbeTimeout;
    while (!(found = frameExtents(display, probe)) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(kProbePoll);
    XDestroyWindow(display, probe);
    XFlush(display);
    return found;
}

::Window activeWindow(Display* display) {
    const auto v = readLongs(display, DefaultRootWindow(display), "_NET_ACTIVE_WINDOW", XA_WINDOW);
    return v.empty() ? 0 : static_cast<::Window>(v[0]);
}

void setAbove(Display* display, ::Window window, bool above) {
    sendToRoot(display, window, atom(display, "_NET_WM_STATE"),
               above ? kNetWmStateAdd : kNetWmStateRemove,
               static_cast<long>(atom(display, "_NET_WM_STATE_ABOVE")), 0, kSourceTool);
    XFlush(display);
}

void raise(Display* display, ::Window window) {
    // _NET_RESTACK_WINDOW restacks without activation; detail Above with no sibling puts the
    // window at the top of its layer.
    sendToRoot(display, window, atom(display, "_NET_RESTACK_WINDOW"), kSourceTool, None, Above, 0);
    XFlush(display);
}

std::vector<Monitor> monitors(Display* display, int dpi) {
    const ::Window root = DefaultRootWindow(display);
    std::vector<Monitor> out;
    int eventBase = 0;
    int errorBase = 0;
    if (XRRQueryExtension(display, &eventBase, &errorBase)) {
        int count = 0;
        XRRMonitorInfo* infos = XRRGetMonitors(display, root, True, &count);
        for (int i = 0; infos && i < count; ++i) {
            Monitor m;
            m.full = {infos[i].x, infos[i].y, infos[i].width, infos[i].height};
            m.primary = infos[i].primary != 0;
            m.dpi = dpi;
            out.push_back(m);
        }
        if (infos) XRRFreeMonitors(infos);
    }
    if (out.empty()) {
        const int screen = DefaultScreen(display);
        Monitor m;
        m.full = {0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
        m.primary = true;
        m.dpi = dpi;
        out.push_back(m);
    }
    if (std::none_of(out.begin(), out.end(), [](const Monitor& m) { return m.primary; }))
        out.front().primary = true;

    // _NET_WORKAREA holds one rectangle per desktop; the current desktop's applies.
    const auto area = readLongs(display, root, "_NET_WORKAREA", XA_CARDINAL);
    const auto current = readLongs(display, root, "_NET_CURRENT_DESKTOP", XA_CARDINAL);
    const std::size_t desktop = current.empty() ? 0 : static_cast<std::size_t>(current[0]);
    PixelRect work;
    if (area.size() >= 4 * (desktop + 1)) {
        const long* a = &area[4 * desktop];
        work = {static_cast<int>(a[0]), static_cast<int>(a[1]), static_cast<int>(a[2]),
                static_cast<int>(a[3])};
    }
    for (Monitor& m : out) {
        const PixelRect cut = work.width > 0 ? intersect(m.full, work) : PixelRect{};
        m.work = cut.width > 0 ? cut : m.full;
    }
    return out;
}

int boldUiTextWidth(Display* display, std::string_view text, int dpi) {
    FcPattern* pattern = familyPattern("sans-serif", FC_WEIGHT_BOLD);
    if (!pattern) return 0;
    // The program's DPI, not the one Xft would work out from the screen's millimetres.
    FcPatternAddDouble(pattern, FC_DPI, dpi);
    FcResult result = FcResultNoMatch;
    FcPattern* match = XftFontMatch(display, DefaultScreen(display), pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return 0;
    XftFont* font = XftFontOpenPattern(display, match);  // owns `match` once open
    if (!font) {
        FcPatternDestroy(match);
        return 0;
    }
    XGlyphInfo extents{};
    XftTextExtentsUtf8(display, font, reinterpret_cast<const FcChar8*>(text.data()),
                       static_cast<int>(text.size()), &extents);
    XftFontClose(display, font);
    return std::max(0, static_cast<int>(extents.xOff));
}

std::string proportionalUiFamily(Display* display) {
    for (const char* name : {"sans-serif", "Liberation Sans"}) {
        if (auto family = proportionalMatch(display, name)) return *family;
    }
    return {};
}

const char* xftDpiResource(Display* display) {
    return XGetDefault(display, "Xft", "dpi");
}

std::optional<int> dpiValue(std::string_view text) {
    text = trim(text);
    double value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || ptr != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    const long dpi = std::lround(value);
    if (dpi < kMinDpi || dpi > kMaxDpi) return std::nullopt;
    return static_cast<int>(dpi);
}

std::string unusableDpiWarning(std::string_view text) {
    constexpr std::size_t kShownBytes = 40;
    const bool printable = text.size() <= kShownBytes &&
                           std::all_of(text.begin(), text.end(),
                                       [](char c) { return c >= ' ' && c <= '~' && c != '"'; });
    std::string out = "X resource Xft.dpi";
    if (printable) out += " holds \"" + std::string(text) + "\", which";
    return out + " is not a DPI from " + std::to_string(kMinDpi) + " to " +
           std::to_string(kMaxDpi) + "; using 96";
}

}  // namespace qv::fltk::x11
