#!/usr/bin/python3
"""The English translation catalogues, kept in step with the sources.

    scripts/translations.py update   # refresh both .ts files; new texts come in unfinished
    scripts/translations.py check    # exit 1 if a text has no finished translation
    scripts/translations.py apply F  # fill unfinished texts from F: "source<TAB>English" lines

Two Qt Linguist files live in ui/translations/:
  ht6630_en.ts        the forms' texts (lupdate over ui/*.ui, one context per form);
  ht6630_texts_en.ts  the texts the code shows: every string literal in protocol/, core/,
                      ui/ and app/ that holds Chinese, whole (context "Texts") and cut
                      into its runs of Chinese characters (context "Words"). At run time a
                      shown text is looked up whole first; a text composed of pieces is
                      translated run by run, the longest known run first.
The build runs `check`, so an unfinished translation stops it.
"""
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from xml.sax.saxutils import escape

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TS_DIR = os.path.join(ROOT, "ui", "translations")
FORMS_TS = os.path.join(TS_DIR, "ht6630_en.ts")
TEXTS_TS = os.path.join(TS_DIR, "ht6630_texts_en.ts")
CODE_DIRS = ["protocol", "core", "ui", "app"]
LUPDATE = os.environ.get("LUPDATE", "/usr/lib/qt6/bin/lupdate")

# The characters a run is made of; the run-by-run lookup at run time uses the same set.
RUN_CHARS = "\u3000-\u303f\u3400-\u4dbf\u4e00-\u9fff\uff00-\uffef\u2026\u201c\u201d"
RUN = re.compile("[%s]+" % RUN_CHARS)
MAX_WORD = 40   # the run-time lookup tries runs this long at most


def strip_comments(src):
    """C++ source with its comments blanked, string and character literals kept."""
    out, i, n = [], 0, len(src)
    while i < n:
        c = src[i]
        if src.startswith("//", i):
            j = src.find("\n", i)
            i = n if j < 0 else j
        elif src.startswith("/*", i):
            j = src.find("*/", i + 2)
            i = n if j < 0 else j + 2
            out.append(" ")
        elif c in "\"'":
            j = i + 1
            while j < n and src[j] != c:
                j += 2 if src[j] == "\\" else 1
            out.append(src[i:j + 1])
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


LITERAL = re.compile(r'"((?:[^"\\\n]|\\.)*)"')


def unescape(s):
    return s.replace('\\"', '"').replace("\\n", "\n").replace("\\\\", "\\")


def code_texts():
    """Every literal holding Chinese, adjacent literals joined as the compiler joins them."""
    texts = set()
    for d in CODE_DIRS:
        for dirpath, _, files in os.walk(os.path.join(ROOT, d)):
            for name in files:
                if not name.endswith((".cpp", ".h")):
                    continue
                with open(os.path.join(dirpath, name), encoding="utf-8") as f:
                    src = strip_comments(f.read())
                joined = re.sub(r'"\s*\n\s*"', "", src)   # "a"\n"b" -> "ab"
                for m in LITERAL.finditer(joined):
                    s = unescape(m.group(1))
                    if RUN.search(s):
                        texts.add(s)
    return texts


def words_of(texts):
    words = set()
    for t in texts:
        for w in RUN.findall(t):
            if len(w) > MAX_WORD:
                raise SystemExit("a run longer than %d characters: %s" % (MAX_WORD, w))
            words.add(w)
    return words


def read_ts(path):
    """{(context, source): (translation, finished)} of a .ts file."""
    out = {}
    if not os.path.exists(path):
        return out
    for ctx in ET.parse(path).getroot().iter("context"):
        cname = ctx.findtext("name")
        for msg in ctx.iter("message"):
            tr = msg.find("translation")
            kind = tr.get("type") if tr is not None else "unfinished"
            text = (tr.text or "") if tr is not None else ""
            out[(cname, msg.findtext("source"))] = (text, kind, msg)
    return out


def write_texts_ts(texts, words, old):
    lines = ['<?xml version="1.0" encoding="utf-8"?>', "<!DOCTYPE TS>",
             '<TS version="2.1" language="en_GB" sourcelanguage="zh_CN">']
    for ctx, items in (("Texts", sorted(texts)), ("Words", sorted(words, key=lambda w: (-len(w), w)))):
        lines.append("<context>")
        lines.append("    <name>%s</name>" % ctx)
        for s in items:
            tr, kind, _ = old.get((ctx, s), ("", "unfinished", None))
            attr = ' type="unfinished"' if kind == "unfinished" or not tr else ""
            lines.append("    <message>")
            lines.append("        <source>%s</source>" % escape(s))
            lines.append("        <translation%s>%s</translation>" % (attr, escape(tr)))
            lines.append("    </message>")
        lines.append("</context>")
    lines.append("</TS>")
    with open(TEXTS_TS, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


def run_lupdate(ts_path):
    forms = sorted(os.path.join(ROOT, "ui", n) for n in os.listdir(os.path.join(ROOT, "ui")) if n.endswith(".ui"))
    subprocess.run([LUPDATE, "-silent", "-locations", "none", "-no-obsolete", "-source-language", "zh_CN",
                    "-target-language", "en_GB"] + forms + ["-ts", ts_path], check=True)


def fill_untranslatable(path):
    """Form texts without Chinese (numbers, "TCP", "NONE") read the same in English."""
    tree = ET.parse(path)
    changed = False
    for msg in tree.getroot().iter("message"):
        src = msg.findtext("source") or ""
        tr = msg.find("translation")
        if tr is not None and tr.get("type") == "unfinished" and not RUN.search(src):
            tr.text = src
            del tr.attrib["type"]
            changed = True
    if changed:
        tree.write(path, encoding="utf-8", xml_declaration=True)


def unfinished(path, contexts=None):
    bad = []
    for (ctx, src), (tr, kind, _) in read_ts(path).items():
        if contexts and ctx not in contexts:
            continue
        if kind in ("vanished", "obsolete"):
            continue
        if kind == "unfinished" or not tr:
            bad.append("%s: %s" % (ctx, src))
    return bad


def update():
    os.makedirs(TS_DIR, exist_ok=True)
    run_lupdate(FORMS_TS)
    fill_untranslatable(FORMS_TS)
    texts = code_texts()
    write_texts_ts(texts, words_of(texts), read_ts(TEXTS_TS))
    bad = unfinished(FORMS_TS) + unfinished(TEXTS_TS)
    print("%d texts still to translate" % len(bad))
    return 0


def check():
    problems = []
    with tempfile.TemporaryDirectory() as tmp:
        forms = os.path.join(tmp, "forms.ts")
        with open(FORMS_TS, encoding="utf-8") as src, open(forms, "w", encoding="utf-8") as dst:
            dst.write(src.read())
        run_lupdate(forms)
        problems += ["form text " + b for b in unfinished(forms)]
    known = read_ts(TEXTS_TS)
    texts = code_texts()
    for ctx, items in (("Texts", texts), ("Words", words_of(texts))):
        for s in sorted(items):
            tr, kind, _ = known.get((ctx, s), ("", "missing", None))
            if kind in ("missing", "unfinished") or not tr:
                problems.append("code text %s: %s" % (ctx, s))
    if problems:
        sys.stderr.write("Unfinished English translation (run scripts/translations.py update, then translate):\n")
        for p in problems[:50]:
            sys.stderr.write("  " + p + "\n")
        if len(problems) > 50:
            sys.stderr.write("  ... and %d more\n" % (len(problems) - 50))
        return 1
    return 0


def apply(tsv):
    """Fills unfinished messages of both files whose source the table translates (\\n for a newline)."""
    table = {}
    with open(tsv, encoding="utf-8") as f:
        for line in f:
            if "\t" in line:
                src, english = line.rstrip("\n").split("\t", 1)
                table[src.replace("\\n", "\n")] = english.replace("\\n", "\n")
    for path in (FORMS_TS, TEXTS_TS):
        tree = ET.parse(path)
        for msg in tree.getroot().iter("message"):
            tr = msg.find("translation")
            src = msg.findtext("source")
            if tr is not None and tr.get("type") == "unfinished" and table.get(src):
                tr.text = table[src]
                del tr.attrib["type"]
        tree.write(path, encoding="utf-8", xml_declaration=True)
    return update()


if __name__ == "__main__":
    cmd = sys.argv[1] if len(sys.argv) > 1 else "check"
    if cmd == "apply":
        sys.exit(apply(sys.argv[2]))
    sys.exit(update() if cmd == "update" else check())
