#!/usr/bin/python3
"""Fails when a function of the public header lacks its documentation.

Every VANTORIX_API declaration must have a /** ... */ block right before it
(only blank lines between), and that block must name each of the function's
parameters. Usage: check-header-docs.py [include/vantorix.h]
"""
import pathlib
import re
import sys

header = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else
                      pathlib.Path(__file__).resolve().parent.parent / "include" / "vantorix.h")
lines = header.read_text(encoding="utf-8").splitlines()
problems = []
count = 0
i = 0
while i < len(lines):
    if not lines[i].startswith("VANTORIX_API"):
        i += 1
        continue
    start = i
    decl = lines[i]
    while ";" not in decl:
        i += 1
        decl += " " + lines[i].strip()
    i += 1
    count += 1
    name = re.search(r"(vantorix_\w+)\s*\(", decl)
    name = name.group(1) if name else decl
    # The documentation block: the comment that ends right before (blank lines allowed).
    j = start - 1
    while j >= 0 and not lines[j].strip():
        j -= 1
    if j < 0 or not lines[j].rstrip().endswith("*/"):
        problems.append(f"{header}:{start + 1}: {name} has no documentation block before it")
        continue
    k = j
    while k >= 0 and "/*" not in lines[k]:
        k -= 1
    if k < 0 or "/**" not in lines[k]:
        problems.append(f"{header}:{start + 1}: {name}: the comment before it is not a /** block")
        continue
    block = "\n".join(lines[k:j + 1])
    params = decl[decl.index("(") + 1:decl.rindex(")")]
    for p in params.split(","):
        p = p.strip()
        if p in ("", "void"):
            continue
        pname = re.findall(r"\w+", p)[-1]
        if not re.search(r"\b" + re.escape(pname) + r"\b", block):
            problems.append(f"{header}:{start + 1}: {name}: parameter '{pname}' is not described")

for p in problems:
    print(p)
if count == 0:
    print(f"{header}: no VANTORIX_API declarations found")
    sys.exit(1)
print(f"{header}: {count} functions, {len(problems)} problems")
sys.exit(1 if problems else 0)
