# Shared by the scripts: the Debian packages they need, installed when missing.

# The Debian packages, in one place so that the scripts cannot drift apart. scripts/run installs
# the build's and, without a display, the private desktop's; scripts/test all three.
# The build: the configure step looks for GoogleTest and Google Benchmark too, Debian's hardening
# flags come from dpkg-buildflags, CPack's Debian package needs file for its shlibdeps, and the
# program needs Liberation Sans at run time.
QV_BUILD_PACKAGES="cmake ninja-build g++ dpkg-dev file googletest libgtest-dev libbenchmark-dev
  libfltk1.3-dev libx11-dev libxrandr-dev libxinerama-dev libxft-dev libfontconfig-dev
  libxss-dev libxext-dev libsystemd-dev fonts-liberation"
# A private X desktop (Xvfb, openbox), driven and photographed.
QV_DESKTOP_PACKAGES="xvfb openbox xdotool wmctrl x11-utils imagemagick"
# What the tests need beyond those: the Windows cross build and Wine, the sanitizers and the
# fuzzer, the package checks, more window managers, the German locale, text read off the screen,
# and private message buses with stand-in services.
QV_TEST_PACKAGES="make git locales g++-mingw-w64-x86-64-posix wine wine64
  fonts-dejavu-core x11-xserver-utils python3 python3-xlib
  lintian appstream desktop-file-utils
  xfwm4 icewm twm dbus-x11 dbus-daemon python3-dbus python3-gi tesseract-ocr tesseract-ocr-eng
  clang libclang-rt-14-dev"
QV_PACKAGES="$QV_BUILD_PACKAGES $QV_DESKTOP_PACKAGES $QV_TEST_PACKAGES"

# What the desktop suite (scripts/test --desktops) adds: GNOME's and KDE's compositors on
# Wayland and X11, weston, and their D-Bus screenshots. Large, so apart from the list above.
QV_DESKTOP_SUITE_PACKAGES="mutter gnome-shell kwin-wayland kwin-x11 kwin-style-breeze weston xwayland
  python3-dbus"

qv_missing_packages() {
    missing=""
    for p in $*; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing="$missing $p"
        fi
    done
    echo "$missing"
}

# qv_ensure_packages PKG...: installs the missing ones when root, else names them and fails.
qv_ensure_packages() {
    missing=$(qv_missing_packages "$@")
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing:$missing"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        # shellcheck disable=SC2086
        apt-get install -y -qq --no-install-recommends $missing >/dev/null
    else
        echo "Missing Debian packages:$missing" >&2
        echo "Install them with: sudo apt-get install$missing" >&2
        return 1
    fi
}

# The German locale that the locale tests run under.
qv_ensure_german_locale() {
    locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$' && return 0
    if [ "$(id -u)" -eq 0 ]; then
        if grep -q '^# *de_DE.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
            sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
        elif ! grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
            echo 'de_DE.UTF-8 UTF-8' >>/etc/locale.gen
        fi
        locale-gen >/dev/null
    else
        echo "The de_DE.UTF-8 locale is missing: enable it in /etc/locale.gen and run locale-gen" >&2
        return 1
    fi
}
