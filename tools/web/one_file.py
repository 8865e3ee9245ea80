#!/usr/bin/env python3
"""Makes the intro's page folder (the one `make web` builds) into one HTML file
that plays when opened from disk, with nothing beside it and no network.

    tools/web/one_file.py BUILD_WEB OUT.html

The page's two scripts go inline. The files the page loads (the program, the
music's player and its processor, the module) go in as script elements of type
application/octet-stream, each holding its file gzipped, in base64, which the
page's script reads in place of fetching (platform/web/velmor_page.js). A
browser opening a file:// page refuses to fetch even the file's neighbours, so
nothing may stay outside. The licences of the libraries compiled in travel as
a comment at the end, where a reader of the source finds them.
"""

import base64
import gzip
import pathlib
import re
import sys

# The page's scripts, inlined where index.html names them.
INLINE = ("velmor.js", "velmor_page.js")
# The files the page loads, with the type it reads them as.
CARRIED = {
    "velmor.wasm": "application/wasm",
    "velmor_worklet.wasm": "application/wasm",
    "velmor_processor.js": "text/javascript",
    "torva_velmor2.it": "application/octet-stream",
}
LICENCES = "licences"


class Refused(Exception):
    pass


def read(folder, name):
    path = folder / name
    try:
        return path.read_bytes()
    except OSError as e:
        raise Refused(f"{path}: {e.strerror}") from None


def script_text(folder, name):
    """The script `name`, as it may stand between <script> and </script>."""
    try:
        text = read(folder, name).decode("utf-8")
    except UnicodeDecodeError as e:
        raise Refused(f"{folder / name}: not UTF-8 ({e.reason} at byte {e.start})") from None
    # Inside a script element the HTML parser ends the script at "</script"
    # and changes its state at "<!--" and "<script", wherever they stand.
    for bad in ("</script", "<!--", "<script"):
        if bad in text.lower():
            raise Refused(f"{folder / name}: holds \"{bad}\", which would end or "
                          "change its script element inline")
    return text


def carried(folder, name, kind):
    # mtime=0: the same page gives the same file, byte for byte.
    packed = gzip.compress(read(folder, name), compresslevel=9, mtime=0)
    data = base64.b64encode(packed).decode("ascii")
    return (f'<script type="application/octet-stream" data-file="{name}" '
            f'data-type="{kind}" data-encoding="gzip">{data}</script>\n')


def licences(folder):
    texts = []
    for path in sorted((folder / LICENCES).glob("*")):
        text = read(folder, pathlib.Path(LICENCES) / path.name).decode("utf-8", "replace")
        if "-->" in text or "--!>" in text:
            raise Refused(f"{path}: holds \"-->\", which would end the comment it goes in")
        texts.append(f"==== {path.name} ====\n\n{text.rstrip()}\n")
    if not texts:
        raise Refused(f"{folder / LICENCES}: no licences (the page must carry them)")
    return ("<!--\nThe libraries compiled into this page, and their licences.\n\n"
            + "\n".join(texts) + "-->\n")


def one_file(folder):
    page = read(folder, "index.html").decode("utf-8")
    # Every file the page has must be one this script carries, or the one
    # file would fail where the folder works.
    known = {"index.html", LICENCES, *INLINE, *CARRIED}
    for path in sorted(folder.iterdir()):
        if path.name not in known:
            raise Refused(f"{path}: a file of the page that the one file would not carry")

    first = True

    def inline(match):
        nonlocal first
        name = match.group(1)
        if name not in INLINE:
            raise Refused(f"{folder / 'index.html'}: a script \"{name}\" that the one file "
                          "would not carry")
        data = "".join(carried(folder, n, k) for n, k in CARRIED.items()) if first else ""
        first = False
        return f"{data}<script>\n{script_text(folder, name)}</script>"

    page, count = re.subn(r'<script src="([^"]+)"></script>', inline, page)
    if count != len(INLINE):
        raise Refused(f"{folder / 'index.html'}: names {count} scripts, not the "
                      f"{len(INLINE)} the one file inlines")
    # Anything else the page would reach for outside itself.
    for where in re.findall(r'(?:src|href)="([^"]*)"', page):
        if not where.startswith("data:"):
            raise Refused(f"{folder / 'index.html'}: refers to \"{where}\", which a page "
                          "opened from disk cannot load")
    end = page.rfind("</html>")
    if end < 0:
        raise Refused(f"{folder / 'index.html'}: has no </html>")
    return page[:end] + licences(folder) + page[end:]


def main(argv):
    if len(argv) != 3:
        print("usage: one_file.py BUILD_WEB OUT.html", file=sys.stderr)
        return 2
    folder, out = pathlib.Path(argv[1]), pathlib.Path(argv[2])
    try:
        page = one_file(folder)
    except Refused as e:
        print(f"one_file: {e}", file=sys.stderr)
        return 1
    # Written beside and renamed, so that a stopped run leaves no half a page.
    part = out.with_name(out.name + ".part")
    try:
        part.write_text(page, encoding="utf-8")
        part.replace(out)
    except OSError as e:
        part.unlink(missing_ok=True)
        print(f"one_file: {e.filename}: {e.strerror}", file=sys.stderr)
        return 1
    print(f"one_file: {out} ({len(page.encode('utf-8'))} bytes)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
