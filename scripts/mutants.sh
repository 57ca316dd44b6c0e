#!/usr/bin/env bash
# A small mutation run: how many deliberate faults in src/ does the test suite catch?
#
#   scripts/mutants.sh [--count N] [--seed S] [--work DIR] [--list]
#
# Copies the checkout to DIR (default /tmp/vantorix-mutants), builds it once, then
# applies one mutation at a time to the copy's src/: a flipped comparison, an
# off-by-one, a changed constant, swapped channels, a min/max exchanged (a removed
# clamp), a skipped early return. Sites are drawn with a fixed seed, the same number
# from each folder of src/. Each mutant is rebuilt incrementally and the normal suite
# runs until its first failure; a mutant that fails to compile is replaced by the
# next site of its folder, one that hangs past the time limit counts as killed.
# --list prints the chosen mutants without building anything.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
count=40 seed=20261206 work=/tmp/vantorix-mutants list=0
while [ $# -gt 0 ]; do
  case "$1" in
    --count) count="$2"; shift 2 ;;
    --seed) seed="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    --list) list=1; shift ;;
    *) echo "usage: $0 [--count N] [--seed S] [--work DIR] [--list]" >&2; exit 2 ;;
  esac
done
limit="${MUTANT_TIMEOUT:-600}"

# Candidate sites in seeded order, one JSON object per line.
sites() {
  python3 - "$1" "$seed" <<'PY'
import json, os, random, re, sys
src, seed = sys.argv[1], int(sys.argv[2])
ops = [
    ("flip <", r" < ", " >= "), ("flip >", r" > ", " <= "),
    ("edge <=", r" <= ", " < "), ("edge >=", r" >= ", " > "),
    ("flip ==", r" == ", " != "), ("flip !=", r" != ", " == "),
    ("off by one", r" \+ 1\b(?!\.)", " + 2"), ("off by one", r" - 1\b(?!\.)", " - 0"),
    ("constant", r"\b(\d+\.\d+)f\b", None),
    ("channels", r"\[0\]", "[2]"), ("channels", r"\[2\]", "[0]"),
    ("no clamp", r"std::min\(", "std::max("), ("no clamp", r"std::max\(", "std::min("),
    ("no early return", r"return[^;]*;\s*$", "{}"),
]
folders = {}
for folder in sorted(os.listdir(src)):
    found = []
    for dirpath, _, files in os.walk(os.path.join(src, folder)):
        for name in sorted(files):
            if not name.endswith((".cpp", ".h")):
                continue
            path = os.path.join(dirpath, name)
            for no, line in enumerate(open(path, encoding="utf-8").read().split("\n"), 1):
                code = line.split("//")[0]
                s = code.strip()
                if not s or s.startswith(("*", "/*", "#")) or '"' in code or "'" in code:
                    continue
                for kind, pat, rep in ops:
                    if kind == "no early return" and not re.match(r"\s*if \(.*\) return", code):
                        continue
                    for k, m in enumerate(re.finditer(pat, code)):
                        if kind == "constant":
                            v = float(m.group(1))
                            new = "%gf" % (v * 1.25 + 0.125)
                            if "." not in new and "e" not in new:
                                new = new[:-1] + ".0f"
                        else:
                            new = rep
                        after = code[:m.start()] + new + code[m.end():]
                        found.append(dict(file=os.path.relpath(path, os.path.dirname(src)), line=no,
                                          kind=kind, before=line, after=after + line[len(code):]))
    random.Random(seed).shuffle(found)
    folders[folder] = found
for f in folders.values():
    for site in f:
        print(json.dumps(site))
PY
}

if [ "$list" = 1 ]; then
  sites "$root/src" | python3 -c '
import json, sys, collections
quota = collections.Counter(); n = int(sys.argv[1]); per = -(-n // 5)
for line in sys.stdin:
    s = json.loads(line); f = s["file"].split("/")[1]
    if quota[f] < per:
        quota[f] += 1; print("%s:%d  %-15s %s" % (s["file"], s["line"], s["kind"], s["after"].strip()))
' "$count"
  exit 0
fi

echo "== copying the checkout to $work =="
rm -rf "$work"; mkdir -p "$work/tree"
(cd "$root" && git ls-files -co --exclude-standard -z | xargs -0 cp --parents -t "$work/tree" 2>/dev/null || true)
build="$work/build"
export CCACHE_DISABLE=1
cmake -S "$work/tree" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVANTORIX_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
echo "== the unmutated suite must pass =="
(cd "$build" && ctest -j "$(nproc)" --timeout 300 >/dev/null) || { echo "the suite fails without a mutant" >&2; exit 1; }

sites "$work/tree/src" > "$work/sites.jsonl"
per=$(( (count + 4) / 5 ))
report="$work/report.txt"; : > "$report"
killed=0 total=0
declare -A done_in
while IFS= read -r site; do
  file=$(python3 -c 'import json,sys; print(json.loads(sys.argv[1])["file"])' "$site")
  folder=$(echo "$file" | cut -d/ -f2)
  [ "${done_in[$folder]:-0}" -ge "$per" ] && continue
  python3 - "$work/tree" "$site" <<'PY'
import json, sys
root, s = sys.argv[1], json.loads(sys.argv[2])
p = root + "/" + s["file"]
lines = open(p, encoding="utf-8").read().split("\n")
assert lines[s["line"] - 1] == s["before"]
lines[s["line"] - 1] = s["after"]
open(p + ".orig", "w", encoding="utf-8").write(open(p, encoding="utf-8").read())
open(p, "w", encoding="utf-8").write("\n".join(lines))
PY
  desc=$(python3 -c 'import json,sys; s=json.loads(sys.argv[1]); print("%s:%d %s | %s" % (s["file"], s["line"], s["kind"], s["after"].strip()))' "$site")
  if timeout "$limit" cmake --build "$build" -j "$(nproc)" >/dev/null 2>&1; then
    total=$((total + 1)); done_in[$folder]=$(( ${done_in[$folder]:-0} + 1 ))
    if (cd "$build" && timeout "$limit" ctest -j "$(nproc)" --stop-on-failure --timeout 120 >/dev/null 2>&1); then
      result=SURVIVED
    else
      result=killed; killed=$((killed + 1))
    fi
    echo "$result  $desc" | tee -a "$report"
  fi
  mv "$work/tree/$file.orig" "$work/tree/$file"
  touch "$work/tree/$file"
  [ "$total" -ge "$count" ] && break
done < <(python3 -c '
import json, sys, itertools
by = {}
for line in open(sys.argv[1]):
    by.setdefault(json.loads(line)["file"].split("/")[1], []).append(line.rstrip("\n"))
for row in itertools.zip_longest(*by.values()):
    for s in row:
        if s: print(s)
' "$work/sites.jsonl")
cmake --build "$build" -j "$(nproc)" >/dev/null 2>&1 || true
echo "== $killed of $total mutants killed ($(( total ? killed * 100 / total : 0 )) %) ==" | tee -a "$report"
