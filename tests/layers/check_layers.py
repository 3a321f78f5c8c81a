"""Checks the layering of the source tree from its #include lines, so that a layer cannot reach
across unnoticed: the engine needs nothing but the standard library, shared code includes no
platform's headers, no backend includes another backend, no header/source pair includes one of
a layer above its own, and no two pairs include each other.

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

# The layers, lowest first: a header/source pair ("platform/window" for platform/window.h and
# platform/window.cpp) may include pairs of its own layer and of those below. A pair is named by
# its path, else by its folder. platform/ is three layers: the interfaces the settings build on,
# the settings file, and the window runtime that the windows and the backends stand on.
LAYERS = [
    {"engine"},
    {"platform/geometry", "platform/window_design", "platform/program_identity",
     "platform/handler_guard", "platform/settings_backend", "platform/backend"},
    {"settings", "platform/posix"},
    {"platform/timer_scheduler", "platform/runtime", "platform/window"},
    {"main_window", "platform/headless", "platform/fltk", "platform/win32"},
    {"about_window"},
    {"app"},
]

# A backend's entry point assembles the program, above every layer.
ENTRY_POINT = re.compile(r"^platform/[a-z0-9]+/[a-z0-9]+_main\.cpp$")

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


def pair_of(path):
    """A header/source pair's name: its path from the source root without the extension."""
    return str(pathlib.PurePosixPath(path).with_suffix(""))


def layer_of(pair):
    """The index in LAYERS of a pair, by its own name or else its folder's; None if unlisted."""
    for name in (pair, folder_of(pathlib.PurePosixPath(pair + ".h"))):
        for index, layer in enumerate(LAYERS):
            if name in layer:
                return index
    return None


def checked_files(root):
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".h", ".cpp") or "build" in path.relative_to(root).parts:
            continue
        relative = path.relative_to(root)
        if folder_of(relative) in ALLOWED:
            yield relative, path.read_text(encoding="utf-8").splitlines()


def includes(lines):
    for number, line in enumerate(lines, 1):
        m = INCLUDE.match(line)
        if m:
            yield number, m.group(1), m.group(2)


def layer_problem(relative, number, header):
    pair = pair_of(relative)
    if layer_of(pair_of(header)) <= layer_of(pair) or ENTRY_POINT.match(str(relative)):
        return []
    return [f"{relative}:{number}: {pair} includes {header}, of a layer above its own"]


def mutual_problems(edges):
    """Pairs that include each other, named at one include of each such two."""
    problems = []
    for (a, b), where in sorted(edges.items()):
        if a < b and (b, a) in edges:
            problems.append(f"{where}: {a} and {b} include each other "
                            f"(and {edges[(b, a)]})")
    return problems


def check(root):
    problems = []
    edges = {}  # (pair, included pair) -> "file:line" of the first such include
    for relative, lines in checked_files(root):
        folder = folder_of(relative)
        rules = ALLOWED[folder]
        if layer_of(pair_of(relative)) is None:
            problems.append(f"{relative}: {pair_of(relative)} has no layer")
            continue
        for number, kind, header in includes(lines):
            where = f"{relative}:{number}: {folder}/ includes {header}"
            if kind == "<":
                if folder in PORTABLE and header not in STANDARD:
                    problems.append(where + " (only the standard library here)")
            elif not (root / header).is_file():
                problems.append(where + " (not a header named from the source root)")
            elif not allowed(rules, header):
                problems.append(where)
            else:
                problems += layer_problem(relative, number, header)
                if pair_of(header) != pair_of(relative):
                    edges.setdefault((pair_of(relative), pair_of(header)), f"{relative}:{number}")
    return problems + mutual_problems(edges)


def stale_names(root):
    """Names in the rules that match no folder or pair: a file renamed under a rule would
    otherwise go unchecked, or fall into its folder's layer unnoticed."""
    names = set(ALLOWED) | set().union(*LAYERS)
    return sorted(n for n in names if not (root / n).is_dir() and
                  not any((root / (n + ext)).is_file() for ext in (".h", ".cpp")))


def main():
    root = pathlib.Path(sys.argv[1]).resolve()
    problems = check(root)
    for p in problems:
        print(p)
    if problems:
        print(f"{len(problems)} include(s) break the layering", file=sys.stderr)
        return 1
    missing = stale_names(root)
    if missing:
        print("names in the layering rules that match no file: " + ", ".join(missing),
              file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
