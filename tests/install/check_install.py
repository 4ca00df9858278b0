#!/usr/bin/env python3
"""Installs a build into a scratch folder (DESTDIR) and checks that the
program, its menu entry, icons, help page, manual page and shell completion
land where desktops and shells look for them, and that the menu entry starts the program in ~/Tavrinox, the folder
where it keeps its lists and pictures.

    check_install.py <build folder> <source folder>
"""
import gzip
import os
import struct
import subprocess
import sys
import tempfile


def cache_value(build, key, default):
    with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as f:
        for line in f:
            name, _, value = line.rstrip("\n").partition("=")
            if name.split(":")[0] == key:
                return value
    return default


def desktop_entry(path):
    """The [Desktop Entry] keys, with the string escapes of the format undone."""
    keys, group = {}, None
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            if line.startswith("["):
                group = line
                continue
            if group == "[Desktop Entry]":
                key, _, value = line.partition("=")
                keys[key.strip()] = unescape(value.strip())
    return keys


def unescape(value):
    out, i = [], 0
    codes = {"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}
    while i < len(value):
        c = value[i]
        if c == "\\" and i + 1 < len(value) and value[i + 1] in codes:
            out.append(codes[value[i + 1]])
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def split_exec(value):
    """Exec's arguments by the quoting rules of desktop entries: inside double
    quotes a backslash escapes ", `, $ and itself."""
    args, current, quoted, started, i = [], [], False, False, 0
    while i < len(value):
        c = value[i]
        if quoted:
            if c == "\\" and i + 1 < len(value) and value[i + 1] in '"`$\\':
                current.append(value[i + 1])
                i += 1
            elif c == '"':
                quoted = False
            else:
                current.append(c)
        elif c == '"':
            quoted = started = True
        elif c == " ":
            if started:
                args.append("".join(current))
                current, started = [], False
        else:
            current.append(c)
            started = True
        i += 1
    if quoted:
        raise ValueError("unterminated quote in Exec")
    if started:
        args.append("".join(current))
    return args


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", path + " is not a PNG"
    return struct.unpack(">II", head[16:24])


def main():
    build, source = sys.argv[1], sys.argv[2]
    prefix = cache_value(build, "CMAKE_INSTALL_PREFIX", "/usr/local")
    bindir = cache_value(build, "CMAKE_INSTALL_BINDIR", "bin")
    datadir = cache_value(build, "CMAKE_INSTALL_DATAROOTDIR", "share")
    failures = []

    def check(ok, what):
        if not ok:
            failures.append(what)

    with tempfile.TemporaryDirectory(prefix="tavrinox-install-") as scratch:
        dest = os.path.join(scratch, "dest")
        env = dict(os.environ, DESTDIR=dest)
        subprocess.run(["cmake", "--install", build], env=env, check=True,
                       stdout=subprocess.DEVNULL)
        root = dest + prefix
        program = os.path.join(prefix, bindir, "tavrinox")
        share = os.path.join(root, datadir)

        check(os.access(dest + program, os.X_OK), "program not installed: " + program)
        for size in (16, 22, 24, 32, 48, 64, 128, 256):
            icon = os.path.join(share, "icons/hicolor/%dx%d/apps/tavrinox.png" % (size, size))
            if not os.path.isfile(icon):
                failures.append("icon missing: " + icon)
            else:
                check(png_size(icon) == (size, size), "icon of the wrong size: " + icon)
        if os.path.isfile(os.path.join(source, "res/help/picstoc.htm")):
            check(os.path.isfile(os.path.join(share, "Quillanto/picstoc.htm")),
                  "help page not installed")

        mandir = cache_value(build, "CMAKE_INSTALL_MANDIR", "") or datadir + "/man"
        man = os.path.join(root, mandir, "man1/tavrinox.1.gz")
        if not os.path.isfile(man):
            failures.append("manual page missing: " + man)
        else:
            with gzip.open(man, "rt", encoding="utf-8") as f:
                page = f.read()
            check(page.startswith(".TH TAVRINOX 1 "), "the manual page is no tavrinox(1)")
            for command in ("get", "crawl", "search", "run", "list"):
                check(".SS %s\n" % command in page, "the manual page lacks " + command)
        completion = os.path.join(share, "bash-completion/completions/tavrinox")
        check(os.path.isfile(completion), "bash completion missing: " + completion)

        entry_path = os.path.join(share, "applications/tavrinox.desktop")
        if not os.path.isfile(entry_path):
            failures.append("menu entry missing: " + entry_path)
        else:
            entry = desktop_entry(entry_path)
            check(entry.get("Type") == "Application", "Type is not Application")
            check(entry.get("Icon") == "tavrinox", "Icon does not name the installed icon")
            check(entry.get("TryExec") == program, "TryExec is " + repr(entry.get("TryExec")))
            check(entry.get("Terminal") == "false", "would open a terminal")
            # Split Exec the way a launcher does and run it with the program
            # replaced by pwd: it must run in ~/Tavrinox, made if missing.
            argv = split_exec(entry.get("Exec", ""))
            check(argv[:2] == ["sh", "-c"] and len(argv) == 3, "Exec splits into %r" % argv)
            if len(argv) == 3:
                script = argv[2]
                check(program in script, "Exec does not start " + program)
                home = os.path.join(scratch, "home with space")
                os.makedirs(home)
                run = subprocess.run(["sh", "-c", script.replace('"%s"' % program, "pwd")],
                                     env=dict(os.environ, HOME=home), capture_output=True,
                                     text=True, timeout=30)
                folder = os.path.join(home, "Tavrinox")
                check(run.returncode == 0 and run.stdout.strip() == folder,
                      "Exec ran in %r (%s)" % (run.stdout.strip(), run.stderr.strip()))
                check(os.path.isdir(folder), "Exec did not make " + folder)

    for f in failures:
        print("FAIL:", f)
    if not failures:
        print("installed layout and menu entry are right")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
