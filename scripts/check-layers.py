#!/usr/bin/env python3
"""Checks every #include of the product code against the layer order written in the README.

A file may include files of its own layer and of the layers below it, never above. The two
front ends sit side by side on top and never include each other. Portable code (outside the
win32/ folders and the Windows program) never includes a Windows header. Modules (a header with
its source and its win32/ and posix/ implementations, one node) never include each other in a
circle.
"""
import os
import re
import sys

# Lowest first. Names that share a rank may not include each other.
LAYERS = [
    ["support"],
    ["store"],
    ["tags"],
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


def module_of(path):
    """folder/name of a file, its win32/ or posix/ implementation counted with its header."""
    folder, name = os.path.split(path)
    if os.path.basename(folder) in ("win32", "posix"):
        folder = os.path.dirname(folder)
    return folder + "/" + os.path.splitext(name)[0]


def circles(edges):
    """Each circle of the include graph as one path that starts and ends at the same module."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []

    def visit(start):
        # Tarjan's strongly connected components, without recursion.
        work = [(start, iter(sorted(edges.get(start, ()))))]
        index[start] = low[start] = len(index)
        stack.append(start)
        on_stack.add(start)
        while work:
            node, targets = work[-1]
            for target in targets:
                if target not in index:
                    index[target] = low[target] = len(index)
                    stack.append(target)
                    on_stack.add(target)
                    work.append((target, iter(sorted(edges.get(target, ())))))
                    break
                if target in on_stack:
                    low[node] = min(low[node], index[target])
            else:
                work.pop()
                if work:
                    low[work[-1][0]] = min(low[work[-1][0]], low[node])
                if low[node] == index[node]:
                    part = set()
                    while True:
                        member = stack.pop()
                        on_stack.discard(member)
                        part.add(member)
                        if member == node:
                            break
                    if len(part) > 1:
                        found.append(path_round(edges, part))

    for node in sorted(edges):
        if node not in index:
            visit(node)
    return found


def path_round(edges, part):
    """The shortest way from the part's first module back to itself, inside the part."""
    first = min(part)
    before = {first: None}
    queue = [first]
    while queue:
        node = queue.pop(0)
        for target in sorted(edges.get(node, ())):
            if target == first:
                way = [node]
                while before[way[-1]] is not None:
                    way.append(before[way[-1]])
                return way[::-1] + [first]
            if target in part and target not in before:
                before[target] = node
                queue.append(target)
    return sorted(part)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    os.chdir(root)
    faults = []
    modules, includes = set(), []
    for top in RANK:
        for folder, _, names in os.walk(top):
            for name in sorted(names):
                if not name.endswith((".h", ".cpp", ".rc")):
                    continue
                path = os.path.join(folder, name)
                text = open(path, encoding="utf-8", errors="replace").read()
                here = layer_of(path)
                modules.add(module_of(path))
                platform_code = "/win32/" in path or here == "gui"
                for number, line in enumerate(text.splitlines(), 1):
                    match = INCLUDE.search(line)
                    if match and "/" in match.group(1):
                        includes.append((module_of(path), module_of(match.group(1))))
                        there = layer_of(match.group(1))
                        if there not in RANK:
                            faults.append(f"{path}:{number}: includes {match.group(1)} from no layer")
                        elif RANK[there] > RANK[here] or (RANK[there] == RANK[here] and there != here):
                            faults.append(f"{path}:{number}: {here} includes {match.group(1)} from the layer above")
                    if not platform_code and WINDOWS_HEADERS.search(line):
                        faults.append(f"{path}:{number}: portable code includes a Windows header")
    edges = {}
    for source, target in includes:
        if source != target and target in modules:
            edges.setdefault(source, set()).add(target)
    for circle in circles(edges):
        faults.append("include circle between modules: " + " -> ".join(circle))
    for fault in faults:
        print(fault)
    print(f"check-layers: {len(faults)} fault(s)")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
