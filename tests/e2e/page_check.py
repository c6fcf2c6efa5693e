#!/usr/bin/env python3
"""Checks pages as a browser read them.

    page_check.py [--expect-text FILE] [--unwritten NAME,...] REPORT_DIR PAGE.dom...

Each PAGE.dom is the document that headless Chromium built from REPORT_DIR's
PAGE (its --dump-dom output, UTF-8).  The checks:

- the document holds only the elements and attributes the writers use: no
  script, no event handler, no link with a scheme other than http, https
  and ftp, so nothing from the log became markup;
- every in-page link (#NAME) has its anchor on the page, except the
  sections named by --unwritten: the link bar may offer a section that the
  month does not have;
- every relative link and image names a file of REPORT_DIR, and every
  image is a PNG of the width and height its tag gives;
- the month page's tables are there, with their Polish headings as text;
- each line of FILE (UTF-8) is text of at least one page, as a reader sees it.

Exit status 0 when every page passes; the faults otherwise, one per line.
"""
import os
import re
import sys
from html.parser import HTMLParser

ELEMENTS = {
    "html", "head", "title", "meta", "body", "h2", "small", "strong", "center",
    "hr", "p", "a", "br", "img", "table", "tbody", "tr", "th", "td", "font", "b",
    "pre", "div",
}
ATTRIBUTES = {
    "lang", "http-equiv", "content", "bgcolor", "text", "link", "vlink", "alink",
    "href", "name", "src", "alt", "height", "width", "border", "cellspacing",
    "cellpadding", "colspan", "rowspan", "align", "valign", "size", "color",
    "nowrap", "rel",
}
LINK_SCHEMES = re.compile(r"^(https?|ftp)://", re.IGNORECASE)
ANY_SCHEME = re.compile(r"^[A-Za-z][A-Za-z0-9+.-]*:")

MONTH_TABLES = [
    "Statystyka w miesiącu:",
    "Dzienne statystyki - ",
    "Godzinowe statystyki - ",
]

# Each top table's section and the noun that ends its title.
TOP_TABLES = {
    "TOPURLS": "URLi", "TOPENTRY": "stron wejściowych", "TOPEXIT": "stron wyjściowych",
    "TOPSITES": "lokalizacji", "TOPREFS": "odnośników", "TOPSEARCH": "szukanych ciągów znaków",
    "TOPUSERS": "użytkowników", "TOPAGENTS": "przeglądarek", "TOPCTRYS": "krajów",
}


class Page(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.faults = []
        self.anchors = set()
        self.links = []
        self.images = []
        self.text = []
        self.headings = []  # the text of each table's first header cell
        self._in_th = False
        self._th_text = []
        self._table_started = False

    def handle_starttag(self, tag, attrs):
        if tag not in ELEMENTS:
            self.faults.append("element <%s>" % tag)
        for name, value in attrs:
            if name not in ATTRIBUTES:
                self.faults.append("attribute %s=%r on <%s>" % (name, value, tag))
            if name == "name" and tag == "a":
                self.anchors.add(value)
            if name == "href" and tag == "a":
                self.links.append(value or "")
        if tag == "img":
            a = dict(attrs)
            self.images.append((a.get("src") or "", a.get("width"), a.get("height")))
        if tag == "table":
            self._table_started = True
        if tag == "th" and self._table_started:
            self._in_th = True
            self._th_text = []

    def handle_endtag(self, tag):
        if tag == "th" and self._in_th:
            self._in_th = False
            text = "".join(self._th_text).strip()
            if text:
                self.headings.append(text)
                self._table_started = False

    def handle_data(self, data):
        self.text.append(data)
        if self._in_th:
            self._th_text.append(data)


def png_size(path):
    """Width and height from a PNG's IHDR chunk, or None."""
    with open(path, "rb") as f:
        head = f.read(24)
    if len(head) < 24 or head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")


def check(report_dir, dom_path, unwritten):
    page_name = os.path.basename(dom_path)[: -len(".dom")]
    with open(dom_path, encoding="utf-8") as f:
        page = Page()
        page.feed(f.read())
    faults = list(page.faults)
    for link in page.links:
        if link.startswith("#"):
            target = link[1:]
            if target not in page.anchors and target not in unwritten:
                faults.append("link %s has no anchor" % link)
        elif LINK_SCHEMES.match(link):
            continue
        elif ANY_SCHEME.match(link):
            faults.append("link with a scheme that must stay text: %s" % link)
        elif not os.path.isfile(os.path.join(report_dir, link)):
            faults.append("link to a file that was not written: %s" % link)
    for image, width, height in page.images:
        path = os.path.join(report_dir, image)
        if not os.path.isfile(path):
            faults.append("image that was not written: %s" % image)
            continue
        size = png_size(path)
        if size is None:
            faults.append("image that is no PNG: %s" % image)
        elif (str(size[0]), str(size[1])) != (width, height):
            faults.append("image %s is %dx%d, its tag says %sx%s" % (image, size[0], size[1], width, height))
    if page_name.startswith("usage_"):
        for heading in MONTH_TABLES:
            if not any(h.startswith(heading) for h in page.headings):
                faults.append("no table headed %r" % heading)
        for section, noun in TOP_TABLES.items():
            if section not in unwritten and not any(h.startswith("Pierwsze") and h.endswith(noun) for h in page.headings):
                faults.append("no top table of %s" % noun)
    return ["%s: %s" % (page_name, fault) for fault in faults], "".join(page.text)


def main():
    args = sys.argv[1:]
    expected = []
    unwritten = set()
    while len(args) >= 2 and args[0] in ("--expect-text", "--unwritten"):
        if args[0] == "--expect-text":
            with open(args[1], encoding="utf-8") as f:
                expected = [line.rstrip("\n") for line in f if line.strip()]
        else:
            unwritten = set(args[1].split(","))
        args = args[2:]
    if len(args) < 2:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    report_dir = args[0]
    faults = []
    texts = []
    for dom in args[1:]:
        page_faults, text = check(report_dir, dom, unwritten)
        faults += page_faults
        texts.append(text)
    for line in expected:
        if not any(line in text for text in texts):
            faults.append("no page shows the text %r" % line)
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
