#!/usr/bin/env python3
"""Builds the Debian package of a build folder with CPack, checks its files
(the manual page and shell completion among them) and the dependencies it
declares, unpacks it into a scratch folder and starts the program it holds
(offscreen) until it has drawn its main window, and with a command without
any display.

    check_package.py <build folder>
"""
import glob
import os
import re
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


def main():
    build = os.path.abspath(sys.argv[1])
    prefix = cache_value(build, "CMAKE_INSTALL_PREFIX", "/usr/local").rstrip("/")
    failures = []

    def check(ok, what):
        if not ok:
            failures.append(what)

    with tempfile.TemporaryDirectory(prefix="tavrinox-package-") as scratch:
        out = os.path.join(scratch, "out")
        subprocess.run(["cpack", "-G", "DEB", "--config",
                        os.path.join(build, "CPackConfig.cmake"), "-B", out],
                       check=True, stdout=subprocess.DEVNULL, cwd=build, timeout=240)
        debs = glob.glob(os.path.join(out, "*.deb"))
        if len(debs) != 1:
            print("FAIL: expected one package, found", debs)
            return 1
        deb = debs[0]

        def field(name):
            return subprocess.run(["dpkg-deb", "-f", deb, name], check=True,
                                  capture_output=True, text=True).stdout.strip()

        check(field("Package") == "tavrinox", "package name " + field("Package"))
        check(re.fullmatch(r"\d+\.\d+\.\d+", field("Version")) is not None,
              "version " + field("Version"))
        depends = {d.strip().split(" ")[0] for d in field("Depends").split(",") if d.strip()}
        for needed in ("libc6", "libstdc++6", "libcurl4", "libqt6core6", "libqt6gui6",
                       "libqt6widgets6", "libqt6dbus6", "libsqlite3-0"):
            check(needed in depends, "Depends lacks %s: %s" % (needed, sorted(depends)))
        check("xdg-utils" in field("Recommends"), "xdg-utils not recommended")

        listing = subprocess.run(["dpkg-deb", "-c", deb], check=True, capture_output=True,
                                 text=True).stdout
        files = {line.split()[-1].lstrip(".") for line in listing.splitlines() if line}
        program = prefix + "/bin/tavrinox"
        for path in (program,
                     prefix + "/share/applications/tavrinox.desktop",
                     prefix + "/share/icons/hicolor/48x48/apps/tavrinox.png",
                     prefix + "/share/icons/hicolor/256x256/apps/tavrinox.png",
                     prefix + "/share/Quillanto/picstoc.htm",
                     prefix + "/share/man/man1/tavrinox.1.gz",
                     prefix + "/share/bash-completion/completions/tavrinox"):
            check(path in files, "not in the package: " + path)

        root = os.path.join(scratch, "root")
        subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
        with open(root + prefix + "/share/applications/tavrinox.desktop",
                  encoding="utf-8") as f:
            entry = f.read()
        check("TryExec=" + program + "\n" in entry, "menu entry does not name " + program)

        # The program from the package, in a fresh working folder: it draws its
        # window, saves a picture of it and ends.
        work = os.path.join(scratch, "work")
        os.makedirs(work)
        shot = os.path.join(scratch, "window.png")
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", TAVRINOX_SCREENSHOT=shot,
                   HOME=scratch)
        run = subprocess.run([root + program], cwd=work, env=env, capture_output=True,
                             text=True, timeout=120)
        check(run.returncode == 0, "the packaged program ended with %d: %s"
              % (run.returncode, run.stderr[-500:]))
        check(os.path.isfile(shot) and os.path.getsize(shot) > 1000,
              "the packaged program drew no window")

        # With a command it needs no display: its version, and a list of a
        # fresh folder.
        bare = {k: v for k, v in env.items()
                if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                             "TAVRINOX_SCREENSHOT")}
        run = subprocess.run([root + program, "--version"], cwd=work, env=bare,
                             capture_output=True, text=True, timeout=60)
        check(run.returncode == 0 and re.fullmatch(r"tavrinox \d+\.\d+\.\d+\n", run.stdout),
              "tavrinox --version gave %d: %r" % (run.returncode, run.stdout))
        run = subprocess.run([root + program, "list", "downloaded-files"], cwd=work, env=bare,
                             capture_output=True, text=True, timeout=60)
        check(run.returncode == 0 and run.stdout == "" and run.stderr == "",
              "tavrinox list gave %d: %r %r" % (run.returncode, run.stdout, run.stderr))

    for f in failures:
        print("FAIL:", f)
    if not failures:
        print("package files, dependencies and the packaged program are right")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
