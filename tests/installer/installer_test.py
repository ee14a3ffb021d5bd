#!/usr/bin/env python3
"""The Windows release of one architecture under Wine: builds the zip and the installer, checks
what the zip holds, installs silently, starts the installed program from its Start-menu shortcut,
and uninstalls silently, which must take the files and the shortcuts but leave the user's
settings. ARCH is win32 (a 32-bit installer of the 32-bit program) or win64 (a 64-bit installer
of the 64-bit program, which runs where no 32-bit program can); the Wine on PATH must run it. The
64-bit installer also replaces a 32-bit installation that it finds.

    installer_test.py --cmake CMAKE --build DIR --arch win32|win64 --zip ZIP --setup EXE
                      --version X.Y.Z --quorvane EXE --quorvane-srt EXE --uiprobe EXE
                      --artifacts DIR --work DIR
"""

import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import traceback
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
from e2e_harness import SETTINGS_KEY, Checks, Session, TestFailure  # noqa: E402

UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane"
TEXT_FILES = ("Quorvane.txt", "LICENSE.txt")
DOCS = Path(__file__).resolve().parents[2] / "docs"
# One HTML page for each guide in docs/ (guide.en.md -> guide/guide.en.html).
GUIDE_PAGES = sorted(f"guide/{md.stem}.html" for md in DOCS.glob("guide.*.md"))
# The NSIS uninstaller copies itself to the temporary folder and runs from there ("Un.exe" in
# NSIS 3, "Au_.exe" before), so the one we start ends before the work is done.
UNINSTALLER_COPY = re.compile(r"(un(_\w)?|au_)\.exe", re.IGNORECASE)
# The machine field of a PE file's header for each architecture, and how the output names it.
MACHINES = {"win32": 0x14C, "win64": 0x8664}
DESCRIBED = {"win32": "32-bit installer and program", "win64": "64-bit installer and program"}


# ---- the version resource of a PE file -----------------------------------------------------

def pe_machine(data):
    """The machine a PE file's bytes are built for (IMAGE_FILE_HEADER.Machine), or None."""
    pe = struct.unpack_from("<I", data, 0x3C)[0] if len(data) > 0x40 else 0
    if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", data, pe + 4)[0]


def resources(path):
    """A PE file's resources: (bytes of the resource of a type, or None; the types present)."""
    data = Path(path).read_bytes()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise TestFailure(f"{path} is not a PE file")
    sections = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    directories = optional + (96 if struct.unpack_from("<H", data, optional)[0] == 0x10B else 112)
    resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    if resource_rva == 0:
        raise TestFailure(f"{path} has no resources")

    def offset(rva):
        for i in range(sections):
            header = optional + optional_size + 40 * i
            size, address, raw_size, raw = struct.unpack_from("<IIII", data, header + 8)
            if address <= rva < address + max(size, raw_size):
                return rva - address + raw
        raise TestFailure(f"{path}: address {rva:#x} lies in no section")

    base = offset(resource_rva)

    def entries(directory):
        named, numbered = struct.unpack_from("<HH", data, base + directory + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, base + directory + 16 + 8 * i)
            yield name, target & 0x7FFFFFFF

    by_type = dict(entries(0))

    def first(resource_type):
        """The first name's first language of the type, or None."""
        if resource_type not in by_type:
            return None
        leaf = next(entries(next(entries(by_type[resource_type]))[1]))[1]
        rva, size = struct.unpack_from("<II", data, base + leaf)
        return data[offset(rva):offset(rva) + size]

    return first, set(by_type)


def version_resource(path):
    """The VS_VERSIONINFO block of a PE file's RT_VERSION resource (type 16), as bytes."""
    block = resources(path)[0](16)
    if block is None:
        raise TestFailure(f"{path} has no version resource")
    return block


def version_blocks(block, pos=0):
    """One node of the version tree at pos: (key, value bytes or text, children)."""
    length, value_length, is_text = struct.unpack_from("<HHH", block, pos)
    key_end = pos + 6
    while block[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = block[pos + 6:key_end].decode("utf-16-le")
    value_start = (key_end + 2 + 3) & ~3
    value_bytes = value_length * 2 if is_text else value_length
    value = block[value_start:value_start + value_bytes]
    if is_text:
        value = value.decode("utf-16-le").rstrip("\0")
    children, child = [], (value_start + value_bytes + 3) & ~3
    while child < pos + length:
        children.append(version_blocks(block, child))
        child = (child + struct.unpack_from("<H", block, child)[0] + 3) & ~3
    return key, value, children


def version_info(path):
    """(file version, product version, {string: text}) as the file's properties show them."""
    key, fixed, children = version_blocks(version_resource(path))
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    if key != "VS_VERSION_INFO" or signature != 0xFEEF04BD:
        raise TestFailure(f"{path}: the version resource is malformed")
    numbers = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    strings = {name: text for child_key, _, tables in children if child_key == "StringFileInfo"
               for _, _, table in tables for name, text, _ in table}
    return numbers(file_ms, file_ls), numbers(product_ms, product_ls), strings


# ---- the test ------------------------------------------------------------------------------

def unix_path(s, windows):
    """Where Wine keeps a Windows path, or None. Read from the prefix's drive links
    (dosdevices/c: and so on), which is what Wine itself follows; `winepath` only when the prefix
    has no such link. Asking `winepath` alone once came back empty in a fresh prefix, and Debian's
    `winepath` takes the 32-bit loader, which machines without 32-bit emulation cannot run, so it
    goes through the session's own `wine`."""
    prefix = s.env().get("WINEPREFIX")
    if prefix and len(windows) >= 2 and windows[1] == ":":
        drive = Path(prefix, "dosdevices", windows[0].lower() + ":")
        if drive.exists():
            rest = [part for part in windows[2:].replace("\\", "/").split("/") if part]
            return drive.joinpath(*rest)
    done = s.wine("winepath", "-u", windows)
    unix = done.stdout.decode("utf-8", "replace").strip()
    return Path(unix) if done.returncode == 0 and unix else None


def windows_folder(s, variable):
    """A folder that Wine names by an environment variable (%ProgramFiles%): its Windows path
    and its Unix path."""
    done = s.wine("cmd", "/c", f"echo %{variable}%")
    folder = done.stdout.decode("utf-8", "replace").strip()
    unix = unix_path(s, folder)
    if done.returncode != 0 or "%" in folder or unix is None:
        raise TestFailure(f"Wine does not know %{variable}%")
    return folder, unix.resolve()


def wine_processes(s):
    return [p["exe"] for p in s.probe("procs") or []]


def check_zip(args, checks):
    with zipfile.ZipFile(args.zip) as archive:
        names = set(archive.namelist())
        top = sorted(n for n in names if not n.startswith("guide/"))
        checks.equal("files in the zip beside the guide", top,
                     sorted(["quorvane.exe", "quorvane-srt.exe", *TEXT_FILES]))
        checks.equal("the guide's pages in the zip",
                     sorted(n for n in names if n.endswith(".html")), GUIDE_PAGES)
        for page in GUIDE_PAGES:
            if page in names:
                check_guide_page(checks, page, archive.read(page).decode("utf-8"),
                                 lambda src: f"guide/{src}" in names)
        for name, built in (("quorvane.exe", args.quorvane), ("quorvane-srt.exe", args.quorvane_srt)):
            data = archive.read(name)
            checks.true(f"{name} in the zip is the one built", data == Path(built).read_bytes())
            checks.equal(f"machine of {name} in the {args.arch} zip", pe_machine(data),
                         MACHINES[args.arch])
        for name in TEXT_FILES:
            text = archive.read(name)
            checks.true(f"{name} has CRLF line ends only",
                        text.count(b"\n") > 0 and text.count(b"\n") == text.count(b"\r\n"))
        license_file = Path(__file__).resolve().parents[2] / "LICENSE"
        checks.true("LICENSE.txt is the repository's LICENSE",
                    archive.read("LICENSE.txt").replace(b"\r\n", b"\n") == license_file.read_bytes())


def check_guide_page(checks, page, html, present):
    """A guide page is a whole HTML document in its language whose images are all present."""
    language = page.split(".", 1)[1].rsplit(".", 1)[0]
    checks.true(f'{page} is an HTML page with lang="{language}"',
                html.lstrip().startswith("<!DOCTYPE html>") and f'lang="{language}"' in html)
    sources = re.findall(r'<img src="([^"]+)"', html)
    missing = [src for src in sources if not present(src)]
    checks.true(f"{page} shows images, all of them there (missing: {missing})",
                sources and not missing)
    checks.true(f"{page} links to no Markdown file", not re.search(r'href="[^"#]*\.md\b', html))


def uninstall_entry(s):
    """The uninstall entry's values, texts as str and DWORDs as int."""
    names = ("DisplayVersion", "UninstallString", "InstallLocation", "EstimatedSize")
    entry = s.probe("regget", "HKLM", UNINSTALL_KEY, *names) or {}
    shown = {}
    for name, value in entry.items():
        if value:
            raw = bytes.fromhex(value["hex"])
            shown[name] = (int.from_bytes(raw[:4], "little") if name == "EstimatedSize"
                           else raw.split(b"\0")[0].decode("cp1252"))
    return shown


def refusals(s, checks, setup, install_windows, install_dir, menu_dir):
    """With quorvane.exe running, the installer and the uninstaller change nothing and say so in
    the system's language."""
    checks.equal("silent install's exit code while the program runs",
                 s.wine(setup, "/S", timeout=60).returncode, 2)
    # _?= runs the uninstaller in place rather than from a copy, so its exit code is the answer.
    uninstall = s.wine(install_dir / "uninstall.exe", "/S", f"_?={install_windows}", timeout=60)
    checks.equal("silent uninstall's exit code while the program runs", uninstall.returncode, 2)
    checks.true("the uninstaller left the running program's files and shortcuts",
                (install_dir / "quorvane.exe").is_file() and (menu_dir / "Quorvane.lnk").is_file())
    for lang, words in (("zh_CN.UTF-8", "正在运行"), ("zh_TW.UTF-8", "正在執行"),
                        ("en_US.UTF-8", "is running")):
        s.start(setup, extra_env={"LANG": lang, "LC_ALL": lang})
        box = s.probe("controls", "--exe", setup.name, "--timeout", "20000")
        texts = [c.get("text") or "" for c in (box or {}).get("controls", [])]
        checks.true(f"the installer under {lang} says that Quorvane runs, with {words!r}: {texts}",
                    any(words in text for text in texts))
        s.wine("taskkill", "/f", "/im", setup.name)
        s.wait_for("the installer to end", lambda: setup.name.lower() not in
                   [exe.lower() for exe in wine_processes(s)])


def remove_leftovers(s, args, folders):
    """A run that failed half-way leaves an installation behind; start from none."""
    if any(folder.exists() for folder in folders):
        s.log("removing an installation left over from an earlier run")
        s.wine("taskkill", "/f", "/im", "quorvane.exe")
        for folder in folders:
            shutil.rmtree(folder, ignore_errors=True)
    s.wine("reg", "delete", f"HKLM\\{UNINSTALL_KEY}", "/f")
    if args.arch == "win64":  # the other architecture's entry that the replacement check plays
        s.wine("reg", "delete", f"HKLM\\{UNINSTALL_KEY}", "/f", "/reg:32")


def installer(s, args):
    checks = Checks()
    check_zip(args, checks)

    # The 32-bit installer's default folder on 64-bit Windows is the 32-bit Program Files.
    folder_variable = "ProgramFiles"
    if args.arch == "win32" and "%" not in s.wine("cmd", "/c", "echo %ProgramFiles(x86)%").stdout.decode(
            "utf-8", "replace"):
        folder_variable = "ProgramFiles(x86)"
    _, program_files_unix = windows_folder(s, folder_variable)
    program_data, program_data_unix = windows_folder(s, "ProgramData")
    default_dir = program_files_unix / "Quorvane"
    # Installed first into a folder of the user's choice (/D= takes no quotes, so no spaces).
    install_windows = "C:\\Apps\\Quorvane"
    install_dir = unix_path(s, install_windows)
    if install_dir is None:
        raise TestFailure(f"Wine does not know {install_windows}")
    menu_dir = program_data_unix / "Microsoft/Windows/Start Menu/Programs/Quorvane"
    leftovers = [default_dir, install_dir, menu_dir]
    if args.arch == "win64":
        leftovers.append(windows_folder(s, "ProgramFiles(x86)")[1] / "Quorvane")
    remove_leftovers(s, args, leftovers)
    s.clear_settings()
    s.set_setting("directory", "C:\\films\\")

    setup = Path(args.setup)
    checks.equal(f"machine of the {args.arch} installer", pe_machine(setup.read_bytes()),
                 MACHINES[args.arch])
    checks.equal("silent install's exit code",
                 s.wine(setup, "/S", f"/D={install_windows}", timeout=120).returncode, 0)
    installed = sorted(p.name for p in install_dir.iterdir()) if install_dir.is_dir() else []
    checks.equal(f"files in {install_dir}", installed,
                 sorted(["quorvane.exe", "quorvane-srt.exe", "uninstall.exe", "guide", *TEXT_FILES]))
    pages = sorted(f"guide/{p.name}" for p in install_dir.glob("guide/*.html"))
    checks.equal("the installed guide's pages", pages, GUIDE_PAGES)
    for page in pages:
        check_guide_page(checks, page, (install_dir / page).read_text(encoding="utf-8"),
                         lambda src: (install_dir / "guide" / src).is_file())
    if "quorvane.exe" not in installed:
        raise TestFailure("nothing to start: " + "; ".join(checks.failures))
    checks.true("the installed quorvane.exe is the one built",
                (install_dir / "quorvane.exe").read_bytes() == Path(args.quorvane).read_bytes())
    checks.true("the installed quorvane-srt.exe is the one built",
                (install_dir / "quorvane-srt.exe").read_bytes() == Path(args.quorvane_srt).read_bytes())
    shortcuts = sorted(p.name for p in menu_dir.glob("*.lnk"))
    checks.true(f"Start-menu shortcuts to the program, the guide and the uninstaller: {shortcuts}",
                "Quorvane.lnk" in shortcuts and len(shortcuts) == 3)
    shown = uninstall_entry(s)
    checks.equal("version in the uninstall entry", shown.get("DisplayVersion"), args.version)
    checks.true(f"the uninstall entry names the installed uninstaller: {shown.get('UninstallString')!r}",
                f"{install_windows}\\uninstall.exe" in shown.get("UninstallString", ""))
    # Programs and Features shows the size from EstimatedSize, in KiB.
    size = sum(p.stat().st_size for p in install_dir.rglob("*") if p.is_file()) // 1024
    estimate = shown.get("EstimatedSize")
    checks.true(f"EstimatedSize {estimate} KiB is the installed {size} KiB",
                estimate is not None and abs(estimate - size) <= max(16, size // 20))

    # An upgrade without /D= goes into the folder of the installation it replaces; made on a
    # Traditional Chinese system, it names the Start-menu links in that language instead.
    (install_dir / "Quorvane.txt").unlink()
    s.lang = "zh_TW.UTF-8"
    try:
        checks.equal("upgrade's exit code", s.wine(setup, "/S", timeout=120).returncode, 0)
    finally:
        s.lang = "en_US.UTF-8"
    renamed = sorted(p.name for p in menu_dir.glob("*.lnk"))
    checks.true(f"Start-menu links after the upgrade in Traditional Chinese: {renamed}",
                "Quorvane.lnk" in renamed and len(renamed) == 3
                and all(name.isascii() == (name == "Quorvane.lnk") for name in renamed))
    checks.true(f"the upgrade wrote into {install_dir}", (install_dir / "Quorvane.txt").is_file())
    checks.true(f"the upgrade left {default_dir} alone", not default_dir.exists())
    checks.equal("InstallLocation after the upgrade", uninstall_entry(s).get("InstallLocation"),
                 install_windows)

    # The version of the build, as Windows shows it in the file's properties: four numbers; the
    # icon; and the copyright holder of LICENSE, as the installer names it too.
    numbers = tuple(int(n) for n in args.version.split(".")) + (0,) * (4 - len(args.version.split(".")))
    dotted = ".".join(map(str, numbers))
    license_text = (Path(__file__).resolve().parents[2] / "LICENSE").read_text()
    copyright_line = next(line for line in license_text.splitlines() if line.startswith("Copyright"))
    for name in ("quorvane.exe", "quorvane-srt.exe"):
        file_version, product_version, strings = version_info(install_dir / name)
        checks.equal(f"FILEVERSION of {name}", file_version, numbers)
        checks.equal(f"PRODUCTVERSION of {name}", product_version, numbers)
        checks.equal(f'"FileVersion" of {name}', strings.get("FileVersion"), dotted)
        checks.equal(f'"ProductVersion" of {name}', strings.get("ProductVersion"), dotted)
        checks.equal(f'"LegalCopyright" of {name}', strings.get("LegalCopyright"), copyright_line)
        checks.true(f"{name} has an icon", 14 in resources(install_dir / name)[1])  # RT_GROUP_ICON
    checks.equal('"LegalCopyright" of the installer', version_info(setup)[2].get("LegalCopyright"),
                 copyright_line)

    # Started as a user would, from the Start menu; closed with Escape, it stores "process".
    if "quorvane.exe" in wine_processes(s):
        raise TestFailure("another quorvane.exe runs in this Wine prefix")
    s.start("start", f"{program_data}\\Microsoft\\Windows\\Start Menu\\Programs\\Quorvane\\Quorvane.lnk")
    window = s.probe("wait", "--class", s.window_class, "--exe", "quorvane.exe", "--timeout", "20000")
    if not window:
        raise TestFailure("the installed program's main window did not appear within 20 s")
    s.move_mouse_away()
    time.sleep(0.3)
    s.screenshot("installed-program", window["rect"])
    refusals(s, checks, setup, install_windows, install_dir, menu_dir)
    s.click(s.control("FontLabel"))
    s.key("Escape")
    s.wait_for("the installed program to end", lambda: "quorvane.exe" not in wine_processes(s))
    checks.equal('"process" stored by the installed program', s.setting("process"), "PowerDVDMovie.exe")

    checks.equal("silent uninstall's exit code",
                  s.wine(install_dir / "uninstall.exe", "/S", timeout=60).returncode, 0)
    s.wait_for("the uninstaller to end", lambda: not any(UNINSTALLER_COPY.fullmatch(exe)
                                                         for exe in wine_processes(s)), timeout=60)
    left = sorted(str(p) for p in install_dir.rglob("*")) if install_dir.exists() else []
    checks.true(f"{install_dir} is gone after uninstalling (left: {left})", not install_dir.exists())
    checks.true(f"{menu_dir} is gone after uninstalling", not menu_dir.exists())
    checks.equal("uninstall entry after uninstalling",
                 s.reg_get("HKLM", UNINSTALL_KEY, "DisplayVersion"), None)
    checks.equal('"process" after uninstalling', s.setting("process"), "PowerDVDMovie.exe")
    checks.equal('"directory" after uninstalling', s.setting("directory"), "C:\\films\\")
    if args.arch == "win64":
        replace_other_architecture(s, checks, setup, default_dir, menu_dir)
    return checks


def uninstall_entry_in_view(s, view):
    """The InstallLocation of the uninstall entry in a registry view ("32" or "64"), or None."""
    done = s.wine("reg", "query", f"HKLM\\{UNINSTALL_KEY}", "/v", "InstallLocation", f"/reg:{view}")
    found = re.search(r"InstallLocation\s+REG_SZ\s+(.+)", done.stdout.decode("utf-8", "replace"))
    return found.group(1).strip() if done.returncode == 0 and found else None


def replace_other_architecture(s, checks, setup, default_dir, menu_dir):
    """An installation found in the 32-bit registry view, in the 32-bit Program Files folder, is
    uninstalled by its own uninstaller before the 64-bit program goes into the 64-bit folder. The
    32-bit installation is played by one of this installer moved there, its entry moved to the
    32-bit view."""
    other_windows, other_dir = windows_folder(s, "ProgramFiles(x86)")
    other_windows += "\\Quorvane"
    other_dir /= "Quorvane"
    # Installed into the default folder and moved: /D= takes no quotes, and Wine quotes an
    # argument with spaces.
    checks.equal("exit code of the installation that plays the other architecture's",
                 s.wine(setup, "/S", timeout=120).returncode, 0)
    shutil.move(default_dir, other_dir)
    s.wine("reg", "delete", f"HKLM\\{UNINSTALL_KEY}", "/f", "/reg:64")
    s.wine("reg", "add", f"HKLM\\{UNINSTALL_KEY}", "/v", "InstallLocation", "/d", other_windows, "/f",
           "/reg:32")
    checks.equal("exit code of the installation that replaces the other architecture's",
                 s.wine(setup, "/S", timeout=120).returncode, 0)
    left = sorted(p.name for p in other_dir.iterdir()) if other_dir.exists() else []
    checks.true(f"the other architecture's folder {other_dir} is gone (left: {left})", not other_dir.exists())
    checks.equal("uninstall entry in the 32-bit view after the replacement", uninstall_entry_in_view(s, 32), None)
    checks.equal("InstallLocation in the 64-bit view after the replacement", uninstall_entry_in_view(s, 64),
                 f"{windows_folder(s, 'ProgramFiles')[0]}\\Quorvane")
    checks.true(f"the replacement installed into {default_dir}", (default_dir / "quorvane.exe").is_file())
    checks.equal("Start-menu links after the replacement", len(list(menu_dir.glob("*.lnk"))), 3)
    checks.equal("exit code of uninstalling the replacement",
                 s.wine(default_dir / "uninstall.exe", "/S", timeout=60).returncode, 0)
    s.wait_for("the uninstaller to end", lambda: not any(UNINSTALLER_COPY.fullmatch(exe)
                                                         for exe in wine_processes(s)), timeout=60)
    checks.true(f"{default_dir} is gone after uninstalling the replacement", not default_dir.exists())


def main():
    parser = argparse.ArgumentParser()
    for option in ("cmake", "build", "zip", "setup", "version", "quorvane", "quorvane-srt",
                   "uiprobe", "artifacts", "work"):
        parser.add_argument(f"--{option}", required=True)
    parser.add_argument("--arch", required=True, choices=sorted(MACHINES))
    args = parser.parse_args()
    print(f"installer: the {args.arch} release ({DESCRIBED[args.arch]}) under {shutil.which('wine')}",
          flush=True)
    args.programs = {"uiprobe": args.uiprobe, "quorvane": args.quorvane}
    # No desktop menu entries in the user's home for the shortcuts the installer makes.
    overrides = os.environ.get("WINEDLLOVERRIDES")
    os.environ["WINEDLLOVERRIDES"] = ";".join(filter(None, [overrides, "winemenubuilder.exe=d"]))

    started = time.monotonic()
    built = subprocess.run([args.cmake, "--build", args.build, "--target", "release"])
    if built.returncode != 0:
        print("FAIL installer: the release target did not build")
        return 1
    try:
        session = Session("installer", args)
    except TestFailure as failure:
        print(f"FAIL installer: {failure}")
        return 1
    try:
        failures = installer(session, args).failures
    except TestFailure as failure:
        failures = [str(failure)]
    except Exception:
        failures = [traceback.format_exc()]
    try:
        if failures:
            session.screenshot("screen-at-failure")
    finally:
        session.stop_all()
        if "quorvane.exe" in wine_processes(session):
            session.wine("taskkill", "/f", "/im", "quorvane.exe")
        session.clear_settings()
    for failure in failures:
        print(f"FAIL installer: {failure}")
    print(f"{'FAILED' if failures else 'PASSED'} installer ({args.arch}: {DESCRIBED[args.arch]}) "
          f"in {time.monotonic() - started:.1f}s "
          f"(artefacts: {session.artifacts})")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
