#!/usr/bin/env bash
# The window's texts are translatable and translated:
#  1. every text marked in src/ui and src/app, and every engine text marked
#     for the window in the layers below, has its German translation
#     (lupdate run over the sources into a copy of translations/quarlo_de.ts
#     finds nothing new or unfinished);
#  2. no user-visible text in src/ui or src/app is left unmarked: a literal
#     of two or more words handed to a caption, tooltip or message call
#     without tr(), or standing as an entry of a table of captions (the
#     window's menus and commands) without QT_TRANSLATE_NOOP.
# Usage: translations_test.sh <source dir> <lupdate>
set -euo pipefail
src="$1"
lupdate="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cp "$src/translations/quarlo_de.ts" "$work/quarlo_de.ts"
# The headers go in too: they hold the namespace the translation contexts
# are named with.
mapfile -t sources < <(find "$src/src/common" "$src/src/model" "$src/src/storage" "$src/src/scan" "$src/src/export" \
                            "$src/src/ui" "$src/src/app" -maxdepth 1 \( -name '*.cpp' -o -name '*.h' \) | sort)
"$lupdate" -silent -locations none -no-obsolete -I "$src/src" "${sources[@]}" -ts "$work/quarlo_de.ts" 2>"$work/lupdate.log" \
    || { cat "$work/lupdate.log" >&2; exit 1; }
if grep -q 'type="unfinished"' "$work/quarlo_de.ts"; then
    echo "Texts without a German translation (run the update_translations target and translate them):" >&2
    grep -B3 'type="unfinished"' "$work/quarlo_de.ts" | grep '<source>' | head -20 >&2
    exit 1
fi

python3 - "$src" <<'PY'
import pathlib, re, sys
src = pathlib.Path(sys.argv[1])
# Calls whose first text argument the user reads.
calls = (r"setText|setWindowTitle|setToolTip|setStatusTip|setPlaceholderText|setLabelText|setWhatsThis|"
         r"showMessage|setTitle|setTitleText|setSubTitle|setPackage|setName|setFormat|addTab|addItems?|addToolBar|"
         r"Message|OpenFile(?:In)?|SaveFile(?:In)?|QDockWidget|"
         r"new\s+Q(?:Label|PushButton|CheckBox|RadioButton|GroupBox|Action|Menu|ListWidgetItem)")
pattern = re.compile(r"\b(" + calls + r")\s*\(\s*(?:[\w.]+\(\)\s*,\s*)?QStringLiteral\(\s*\"([^\"]*)\"")
words = re.compile(r"[A-Za-z]{2,}\s+[A-Za-z]{2,}")
# A bare literal as an element of a brace initializer: {"Main:New", "&New ...", ...}.
element = re.compile(r'[{,]\s*"((?:[^"\\\n]|\\.)*)"\s*(?=[,}])')
found = []
for folder in ("src/ui", "src/app"):
    for path in sorted((src / folder).glob("*.cpp")):
        text = path.read_text(encoding="utf-8")
        for m in pattern.finditer(text):
            if words.search(m.group(2)):
                line = text.count("\n", 0, m.start()) + 1
                found.append(f"{path.relative_to(src)}:{line}: {m.group(2)[:60]}")
        for m in element.finditer(text):
            if words.search(m.group(1)):
                line = text.count("\n", 0, m.start()) + 1
                found.append(f"{path.relative_to(src)}:{line}: {m.group(1)[:60]}")
if found:
    print("User-visible texts without tr():", *found, sep="\n  ", file=sys.stderr)
    sys.exit(1)
PY
echo "translations: every marked text translated, no unmarked caption or message"
