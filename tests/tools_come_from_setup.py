#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Every program the tests and scripts call comes with a Debian package the
set-up scripts install, with one such a package depends on, or with the base
system. A tool installed by hand on one machine would otherwise make the
suite green there and red on a newcomer's.

    tests/tools_come_from_setup.py SOURCE_DIR

Programs are read from the shell scripts (words in command position), the
Node and Python tests (the programs they start) and the CMake files
(find_program and COMMAND). A word in command position that is neither a
program, a shell builtin nor a function of the scripts is reported too: on
a machine without the tool it is a program the set-up forgot.
"""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

source = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent)

# Shell words that run something else, and what to skip after them.
PREFIXES = {"exec", "command", "sudo", "nohup", "time", "xargs", "nice", "setsid", "then", "do", "else", "elif",
            "if", "while", "until", "!", "{", "}", "(", "((", "in"}
KEYWORDS = {"fi", "done", "esac", "case", "for", "select", "function", "return", "local", "declare", "export",
            "readonly", "shift", "set", "source", ".", "trap", "wait", "cd", "eval", "exit", "read", "unset", "break",
            "continue", "echo", "printf", "test", "[", "[[", "]]", "true", "false", "kill", "let", "pwd", "type",
            "umask", "ulimit", "getopts", "shopt", "mapfile", "compgen", "builtin", "disown", "jobs", "fg", "bg",
            "pushd", "popd", "dirs", "hash", "alias", "unalias", "times", "caller", "enable", "help", "logout",
            "readarray", "suspend", "complete", "compopt", "history", "fc", "bind", "coproc"}
NAME = re.compile(r"^(/[\w./+-]+|[A-Za-z_][\w.+-]*)$")


def shell_files():
    files = [source / ".ci" / "run"]
    files += sorted((source / "scripts").glob("*.sh")) + sorted((source / "tests").glob("*.sh"))
    return [f for f in files if f.is_file()]


def scan(text, i=0, closing=None):
    """Shell text up to `closing`: the text with quoted parts blanked, and
    the commands of every $( ... ) and `...` in it, scanned alike. Returns
    (text, inner commands, where it ended)."""
    out, inner = [], []
    while i < len(text):
        c = text[i]
        if closing and c == closing:
            return "".join(out), inner, i + 1
        if c == "\\":
            out.append(" " if text[i + 1:i + 2] == "\n" else "x")
            i += 2
        elif c == "#" and (i == 0 or text[i - 1] in " \t\n;(|&"):
            while i < len(text) and text[i] != "\n":
                i += 1
        elif c == "'":
            end = text.find("'", i + 1)
            i = len(text) if end < 0 else end + 1
            out.append("Q")
        elif c == '"':
            i += 1
            while i < len(text) and text[i] != '"':
                if text[i] == "\\":
                    i += 2
                elif text.startswith("$((", i):
                    i = text.find("))", i) + 2 or len(text)
                elif text.startswith("$(", i) or text[i] == "`":
                    sub, subinner, i = scan(text, i + (1 if text[i] == "`" else 2), "`" if text[i] == "`" else ")")
                    inner += [sub] + subinner
                else:
                    i += 1
            i += 1
            out.append("Q")
        elif text.startswith("$((", i) or text.startswith("((", i):
            end = text.find("))", i)
            i = len(text) if end < 0 else end + 2
            out.append("0")
        elif text.startswith("$(", i) or c == "`":
            sub, subinner, i = scan(text, i + (1 if c == "`" else 2), "`" if c == "`" else ")")
            inner += [sub] + subinner
            out.append("Q")
        elif c == "(" and out and out[-1] == "=":
            _, _, i = scan(text, i + 1, ")") # an array's values
            out.append("Q")
        else:
            out.append(c)
            i += 1
    return "".join(out), inner, i


def shell_commands(text):
    """The words in command position: comments, quoted text, heredoc bodies,
    arithmetic and array values left out."""
    text = re.sub(r"<<-?\s*['\"]?(\w+)['\"]?([^\n]*)\n.*?\n\s*\1\n", r"\2\n", text, flags=re.S)
    outer, inner, _ = scan(text)
    words = []
    for line in [outer, *inner]:
        for piece in re.split(r"\|\||&&|[|;&\n(){}]|\bthen\b|\bdo\b|\belse\b", line):
            tokens = piece.split()
            while tokens and (re.match(r"^\w+(\[[^]]*\])?\+?=", tokens[0]) or tokens[0] in PREFIXES):
                tokens.pop(0)
            if tokens and tokens[0] in ("timeout", "env"):
                tokens.pop(0)
                while tokens and (tokens[0].startswith("-") or "=" in tokens[0] or re.match(r"^[\d.]+[smh]?$", tokens[0])):
                    tokens.pop(0)
            if tokens:
                words.append(tokens[0])
    return words


def shell_functions(text):
    return set(re.findall(r"^\s*(?:function\s+)?([\w-]+)\s*\(\)", text, re.M))


def started_programs(text):
    """Programs a Node or Python test starts by name."""
    found = re.findall(r"\b(?:spawn|spawnSync|execFile|execFileSync)\(\s*['\"]([^'\"$]+)['\"]", text)
    found += re.findall(r"subprocess\.\w+\(\s*\[\s*['\"]([^'\"]+)['\"]", text)
    found += re.findall(r"executablePath:\s*['\"]([^'\"]+)['\"]", text)
    return found


def cmake_programs(text):
    found = re.findall(r"find_program\(\s*\w+\s+([\w.+-]+)", text)
    found += [w for w in re.findall(r"\bCOMMAND\s+([^\s$)<\"]+)", text) if NAME.match(w)]
    return found


def setup_packages():
    """The packages the set-up scripts install."""
    names = set()
    for f in sorted((source / "scripts").glob("*.sh")):
        text = re.sub(r"(^|\s)#.*", "", f.read_text())
        for block in re.findall(r"\bpackages=\(([^)]*)\)", text, re.S):
            names.update(block.split())
        for args in re.findall(r"^\s*(?:.*\|\|\s*)?install_missing\s+\w+\s+(.*)$", text, re.M):
            names.update(w for w in args.split() if re.match(r"^[a-z0-9][a-z0-9.+-]+$", w))
    return names


def closure(packages):
    """The packages and everything they depend on, as installed."""
    out = subprocess.run(["apt-cache", "depends", "--recurse", "--installed", "--no-recommends", "--no-suggests",
                          "--no-conflicts", "--no-breaks", "--no-replaces", "--no-enhances", *sorted(packages)],
                         capture_output=True, text=True).stdout
    names = set(packages)
    for line in out.splitlines():
        m = re.match(r"^\s*\|?(?:\w+:\s*)?<?([a-z0-9][a-z0-9.+:-]*)>?$", line.strip())
        if m:
            names.add(m.group(1).split(":")[0])
    return names


def base_system():
    out = subprocess.run(["dpkg-query", "-W", "-f", "${Package} ${Essential} ${Priority}\n"],
                         capture_output=True, text=True).stdout
    return {p for p, essential, priority in (l.split() for l in out.splitlines() if len(l.split()) == 3)
            if essential == "yes" or priority == "required"}


def owners(paths):
    """The packages each path comes with, in one call to dpkg."""
    out = subprocess.run(["dpkg", "-S", *paths], capture_output=True, text=True).stdout
    found = {}
    for line in out.splitlines():
        if line.startswith("diversion") or ": " not in line:
            continue
        packages, path = line.split(": ", 1)
        found.setdefault(path, set()).update(p.strip().split(":")[0] for p in packages.split(","))
    return found


def executables(program):
    """Every executable of that name on PATH and in the system's own folders:
    a wrapper in /usr/local must not hide the packaged tool behind it, nor
    stand in for one that is missing."""
    if program.startswith("/"):
        return [program] if os.access(program, os.X_OK) else []
    folders = os.environ.get("PATH", "").split(":") + ["/usr/bin", "/bin", "/usr/sbin", "/sbin"]
    paths = [os.path.join(d, program) for d in dict.fromkeys(folders) if d]
    return [p for p in paths if os.path.isfile(p) and os.access(p, os.X_OK)]


def main():
    programs = {}  # name -> where it is called
    functions = set()
    for f in shell_files():
        functions |= shell_functions(f.read_text())
    for f in shell_files():
        for w in shell_commands(f.read_text()):
            if NAME.match(w) and w not in KEYWORDS and w not in functions and not w.isdigit():
                programs.setdefault(w, str(f.relative_to(source)))
    for f in sorted(source.glob("tests/**/*.mjs")) + sorted(source.glob("tools/**/*.mjs")) + \
            sorted(source.glob("tests/**/*.py")) + sorted(source.glob("tools/**/*.py")):
        for w in started_programs(f.read_text()):
            programs.setdefault(w, str(f.relative_to(source)))
    for f in [source / "CMakeLists.txt", *sorted(source.glob("*/**/CMakeLists.txt")), *sorted(source.glob("cmake/*.cmake"))]:
        if "build" not in f.parts[len(source.parts):][:1][0]:
            for w in cmake_programs(f.read_text()):
                programs.setdefault(w, str(f.relative_to(source)))

    # Only programs this machine has can be traced to a package; a missing
    # one fails the test that calls it.
    found = {name: executables(name) for name in programs}
    paths = sorted({p for ps in found.values() for p in ps})
    by_path = owners(paths)
    by_real = owners(sorted({os.path.realpath(p) for p in paths if p not in by_path}))
    allowed = closure(setup_packages()) | base_system()
    problems = []
    checked = 0
    for name, where in sorted(programs.items()):
        if not found[name]:
            continue
        checked += 1
        packages = set().union(*(by_path.get(p) or by_real.get(os.path.realpath(p), set()) for p in found[name]))
        if not packages:
            problems.append(f"{name} (called in {where}) is {found[name][0]}, which comes with no Debian package: "
                            "installed by hand?")
        elif not packages & allowed:
            problems.append(f"{name} (called in {where}) comes with {', '.join(sorted(packages))}, which no set-up "
                            "script installs")
    for p in problems:
        print(f"FAIL: {p}")
    if problems:
        return 1
    print(f"ok {checked} programs the tests and scripts call, each from a package the set-up installs or the base system")
    return 0


if __name__ == "__main__":
    sys.exit(main())
