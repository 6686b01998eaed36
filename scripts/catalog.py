#!/usr/bin/python3
"""The message catalogs: what the sources mark for translation, and whether
every catalog translates it.

  scripts/catalog.py update   write po/vakomidi.pot from the sources and merge
                              it into every po/<language>.po (new texts come
                              in untranslated, for a translator to fill in)
  scripts/catalog.py check    fail, naming each text, when a marked text has no
                              translation in a catalog, when a translation
                              drops or invents a {place}, or when a Japanese
                              text in the sources is not marked at all

A text is marked by passing it to translated(...) or markForTranslation(...)
(or as the caption of a menu item, item(menu, name, caption)). Japanese texts
that stay Japanese whatever the language (file-format labels, control names)
are listed in po/not-translated.txt.
"""
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PO = os.path.join(ROOT, "po")
KEYWORDS = ["translated:1", "markForTranslation:1", "item:3"]
# The names the window registers its menu items under, item(menu, name,
# caption): identifiers, never shown, never translated.
NAME_KEYWORDS = ["item:2"]
JAPANESE = re.compile("[\u3040-\u30ff\u4e00-\u9fff\uff00-\uffef]")
PLACE = re.compile(r"\{([A-Za-z][A-Za-z0-9]*)\}")


def sources():
    found = []
    for folder, _, names in os.walk(os.path.join(ROOT, "src")):
        for name in names:
            if name.endswith((".cpp", ".h")):
                found.append(os.path.relpath(os.path.join(folder, name), ROOT))
    return sorted(found)


def xgettext(args, files, quiet=False):
    with tempfile.TemporaryDirectory() as tmp:
        pot = os.path.join(tmp, "out.pot")
        subprocess.run(["xgettext", "--from-code=UTF-8", "--language=C++", "--no-wrap",
                        "--add-comments=TRANSLATORS:", "--package-name=vakomidi",
                        "-o", pot] + args + files, cwd=ROOT, check=True,
                       stderr=subprocess.DEVNULL if quiet else None)
        with open(pot, encoding="utf-8") as f:
            return f.read()


def unquote(s):
    return bytes(s, "utf-8").decode("unicode_escape").encode("latin-1").decode("utf-8")


def parse_po(text):
    """Entries of a .po/.pot: list of dict(msgid, msgstr, refs, fuzzy, obsolete)."""
    entries, e, field = [], None, None

    def flush():
        if e is not None and "msgid" in e:
            entries.append(e)
    for line in text.splitlines() + [""]:
        if not line.strip():
            flush()
            e, field = None, None
            continue
        if e is None:
            e = {"refs": [], "fuzzy": False, "obsolete": False}
        if line.startswith("#~"):
            e["obsolete"] = True
            line = line[2:].lstrip()
            if not line:
                continue
        if line.startswith("#:"):
            e["refs"] += line[2:].split()
        elif line.startswith("#,"):
            e["fuzzy"] = e["fuzzy"] or "fuzzy" in line
        elif line.startswith("#"):
            continue
        else:
            m = re.match(r'(msgid|msgstr|msgctxt|msgid_plural)\s+"(.*)"$', line)
            if m:
                field = m.group(1)
                e[field] = unquote(m.group(2))
            elif line.startswith('"') and field:
                e[field] += unquote(line[1:-1])
    return entries


def languages():
    with open(os.path.join(PO, "LINGUAS"), encoding="utf-8") as f:
        return [l.strip() for l in f if l.strip() and not l.startswith("#")]


def not_translated():
    path = os.path.join(PO, "not-translated.txt")
    keep = set()
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line and not line.startswith("#"):
                keep.add(line)
    return keep


def marked_texts(files):
    args = ["--keyword"] + ["--keyword=" + k for k in KEYWORDS]
    return xgettext(args, files)


NEW_CATALOG_HEADER = """# {lang} texts of vakomidi. The message ids are the program's Japanese texts;
# a {{name}} in braces is a value the program fills in, kept in the translation.
msgid ""
msgstr ""
"Project-Id-Version: vakomidi\\n"
"Language: {lang}\\n"
"MIME-Version: 1.0\\n"
"Content-Type: text/plain; charset=UTF-8\\n"
"Content-Transfer-Encoding: 8bit\\n"
"""


def update():
    pot = marked_texts(sources())
    pot_path = os.path.join(PO, "vakomidi.pot")
    with open(pot_path, "w", encoding="utf-8") as f:
        f.write(pot)
    for lang in languages():
        po = os.path.join(PO, lang + ".po")
        if not os.path.exists(po):
            with open(po, "w", encoding="utf-8") as f:
                f.write(NEW_CATALOG_HEADER.format(lang=lang))
        subprocess.run(["msgmerge", "--quiet", "--update", "--backup=none", "--no-wrap",
                       "--no-fuzzy-matching", po, pot_path], check=True)
    print("po/vakomidi.pot written; catalogs merged:", ", ".join(languages()))


def where(entry):
    return " ".join(entry["refs"][:3]) or "?"


def check():
    files = sources()
    marked = [e for e in parse_po(marked_texts(files)) if e["msgid"]]
    marked_ids = {e["msgid"] for e in marked}
    problems = []
    for lang in languages():
        with open(os.path.join(PO, lang + ".po"), encoding="utf-8") as f:
            catalog = {e["msgid"]: e for e in parse_po(f.read()) if not e["obsolete"]}
        for e in marked:
            text = e["msgid"]
            if not JAPANESE.search(text):
                continue  # digits and signs read the same in every language
            entry = catalog.get(text)
            if entry is None:
                problems.append(f'{lang}: text not in po/{lang}.po: "{text}" ({where(e)})')
            elif not entry.get("msgstr") or entry["fuzzy"]:
                problems.append(f'{lang}: text without a translation: "{text}" ({where(e)})')
            elif sorted(PLACE.findall(text)) != sorted(PLACE.findall(entry["msgstr"])):
                problems.append(f'{lang}: the places {{...}} differ: "{text}" -> '
                                f'"{entry["msgstr"]}" ({where(e)})')
            elif JAPANESE.search(entry["msgstr"]):
                problems.append(f'{lang}: translation still in Japanese: "{text}" -> '
                                f'"{entry["msgstr"]}" ({where(e)})')
    keep = not_translated()
    names = parse_po(xgettext(["--keyword"] + ["--keyword=" + k for k in NAME_KEYWORDS], files))
    keep |= {e["msgid"] for e in names}
    everything = parse_po(xgettext(["--extract-all"], files, quiet=True))
    for e in everything:
        text = e["msgid"]
        if JAPANESE.search(text) and text not in marked_ids and text not in keep:
            problems.append(f'text not marked for translation: "{text}" ({where(e)}): pass it '
                            f'to translated(...) or markForTranslation(...)')
    for p in problems:
        print(p)
    if problems:
        print(f"{len(problems)} text(s) to mend; after marking, `scripts/catalog.py update` "
              f"brings new texts into po/*.po for their translation")
        return 1
    print(f"every one of {len(marked_ids)} marked texts is translated in "
          f"{', '.join(languages())}")
    return 0


if __name__ == "__main__":
    command = sys.argv[1] if len(sys.argv) > 1 else "check"
    if command == "update":
        update()
    elif command == "check":
        sys.exit(check())
    else:
        print(__doc__)
        sys.exit(2)
