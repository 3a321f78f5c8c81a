"""Checks the layering of the source tree from its #include lines, so that a layer cannot reach
across unnoticed: the engine needs nothing but the standard library, shared code includes no
platform's headers, and no backend includes another backend.

Usage: check_layers.py SOURCE_ROOT. Prints every include that breaks a rule; exits 1 if any."""

import pathlib
import re
import sys

# The C++ standard library's headers (C++20), and the C headers it offers as <cxxx>.
STANDARD = set("""
algorithm any array atomic barrier bit bitset charconv chrono codecvt compare complex concepts
condition_variable coroutine deque exception execution filesystem format forward_list fstream
functional future initializer_list iomanip ios iosfwd iostream istream iterator latch limits list
locale map memory memory_resource mutex new numbers numeric optional ostream queue random ranges
ratio regex scoped_allocator semaphore set shared_mutex source_location span sstream stack
stdexcept stop_token streambuf string string_view syncstream system_error thread tuple
type_traits typeindex typeinfo unordered_map unordered_set utility valarray variant vector version
cassert cctype cerrno cfenv cfloat cinttypes climits clocale cmath csetjmp csignal cstdarg cstddef
cstdint cstdio cstdlib cstring ctime cuchar cwchar cwctype
""".split())

PLATFORM = "platform"  # the contract and the shared runtime: platform/*.h at the top level

# For each folder: the project folders its files may include from. Folders not listed (tests,
# tools, bench, fuzz) may include anything of the project. "platform" stands for the top level
# of platform/ only, never a backend below it.
ALLOWED = {
    "engine": {"engine"},
    "settings": {"settings", "engine", PLATFORM},
    "main_window": {"main_window", "engine", "settings", PLATFORM},
    # The About window knows the main window only through the options it acts on.
    "about_window": {"about_window", "engine", "settings", PLATFORM,
                     "main_window/main_window_options.h"},
    "app": {"app", "main_window", "about_window", "settings", "engine", PLATFORM},
    PLATFORM: {PLATFORM},
    "platform/headless": {PLATFORM, "platform/headless"},
    "platform/posix": {PLATFORM, "platform/posix"},
    # A backend's entry point assembles the program; the Linux backend keeps its settings in
    # the POSIX settings file.
    "platform/fltk": {PLATFORM, "platform/fltk", "platform/posix", "app/program.h"},
    "platform/win32": {PLATFORM, "platform/win32", "app/program.h"},
}

# Folders whose code must build on any platform: the standard library is all they may include.
PORTABLE = {"engine", "settings", "main_window", "about_window", "app", PLATFORM,
            "platform/headless"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def folder_of(relative):
    parts = relative.parts[:-1]
    if len(parts) >= 2 and parts[0] == "platform":
        return "platform/" + parts[1]
    return parts[0] if parts else ""


def project_folder(header):
    """The folder key of a project header named from the source root."""
    return folder_of(pathlib.PurePosixPath(header))


def allowed(rules, header):
    return project_folder(header) in rules or header in rules


def check(root):
    problems = []
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".h", ".cpp") or "build" in path.relative_to(root).parts:
            continue
        relative = path.relative_to(root)
        folder = folder_of(relative)
        rules = ALLOWED.get(folder)
        if rules is None:
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            kind, header = m.groups()
            where = f"{relative}:{number}: {folder}/ includes {header}"
            if kind == '"':
                if not (root / header).is_file():
                    problems.append(where + " (not a header named from the source root)")
                elif not allowed(rules, header):
                    problems.append(where)
            elif folder in PORTABLE and header not in STANDARD:
                problems.append(where + " (only the standard library here)")
    return problems


def main():
    root = pathlib.Path(sys.argv[1]).resolve()
    problems = check(root)
    for p in problems:
        print(p)
    if problems:
        print(f"{len(problems)} include(s) break the layering", file=sys.stderr)
        return 1
    # A rule that matches no file would let its folder go unchecked.
    missing = [f for f in ALLOWED if not (root / f).is_dir()]
    if missing:
        print("folders of the layering rules that do not exist: " + ", ".join(missing),
              file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
