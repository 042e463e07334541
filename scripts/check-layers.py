#!/usr/bin/env python3
"""Checks every #include of the product code against the layer order written in the README.

A file may include files of its own layer and of the layers below it, never above. The two
front ends sit side by side on top and never include each other. Portable code (outside the
win32/ folders and the Windows program) never includes a Windows header.
"""
import os
import re
import sys

# Lowest first. Names that share a rank may not include each other.
LAYERS = [
    ["support"],
    ["store"],
    ["core"],
    ["formats"],
    ["external"],
    ["cd"],
    ["convert"],
    ["app"],
    ["setup"],
    ["gui", "cli"],
]
RANK = {name: rank for rank, names in enumerate(LAYERS) for name in names}
WINDOWS_HEADERS = re.compile(
    r"#\s*include\s*<(windows|winsock2|ws2tcpip|mmsystem|mmreg|msacm|commctrl|commdlg|shlobj|"
    r"shellapi|wininet|dshow|objbase|ole2|shlwapi|winioctl|ntddcdrm|process|io)\.h>", re.I)
INCLUDE = re.compile(r'#\s*include\s*"([^"]+)"')


def layer_of(path):
    return path.split("/", 1)[0]


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    os.chdir(root)
    faults = []
    for top in RANK:
        for folder, _, names in os.walk(top):
            for name in sorted(names):
                if not name.endswith((".h", ".cpp", ".rc")):
                    continue
                path = os.path.join(folder, name)
                text = open(path, encoding="utf-8", errors="replace").read()
                here = layer_of(path)
                platform_code = "/win32/" in path or here == "gui"
                for number, line in enumerate(text.splitlines(), 1):
                    match = INCLUDE.search(line)
                    if match and "/" in match.group(1):
                        there = layer_of(match.group(1))
                        if there not in RANK:
                            faults.append(f"{path}:{number}: includes {match.group(1)} from no layer")
                        elif RANK[there] > RANK[here] or (RANK[there] == RANK[here] and there != here):
                            faults.append(f"{path}:{number}: {here} includes {match.group(1)} from the layer above")
                    if not platform_code and WINDOWS_HEADERS.search(line):
                        faults.append(f"{path}:{number}: portable code includes a Windows header")
    for fault in faults:
        print(fault)
    print(f"check-layers: {len(faults)} fault(s)")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
