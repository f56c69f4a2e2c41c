#!/usr/bin/env python3
"""The help page as the build installs it: the source's bytes, UTF-8 that
says so, well-formed enough for any browser (every element closed, every
in-page link has its target), a section for every menu, and menu texts
without their mnemonics."""
import argparse
import html.parser
import sys

VOID = {"meta", "br", "img", "link", "input", "hr"}
MENUS = ["文件", "编辑", "视图", "插入", "音符", "符号", "工具", "窗口", "帮助"]


class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.open, self.errors, self.ids, self.links, self.h3 = [], [], set(), [], []
        self.charset = None
        self._in_h3 = False

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "meta" and "charset" in a:
            self.charset = a["charset"].lower()
        if "id" in a:
            if a["id"] in self.ids:
                self.errors.append("id %s twice" % a["id"])
            self.ids.add(a["id"])
        if tag == "a" and a.get("href", "").startswith("#"):
            self.links.append(a["href"][1:])
        if tag == "h3":
            self._in_h3 = True
            self.h3.append("")
        if tag not in VOID:
            self.open.append((tag, self.getpos()[0]))

    def handle_endtag(self, tag):
        if tag == "h3":
            self._in_h3 = False
        if not self.open or self.open[-1][0] != tag:
            self.errors.append("line %d: </%s> closes %s" % (self.getpos()[0], tag, self.open[-1] if self.open else "nothing"))
            return
        self.open.pop()

    def handle_data(self, data):
        if self._in_h3:
            self.h3[-1] += data.strip()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--source", required=True)
    ap.add_argument("--installed", required=True)
    args = ap.parse_args()
    failures = []
    source = open(args.source, "rb").read()
    installed = open(args.installed, "rb").read()
    if installed != source:
        failures.append("the installed page differs from its source")
    text = source.decode("utf-8")  # raises on anything that is not UTF-8
    page = Page()
    page.feed(text)
    page.close()
    failures += page.errors
    if page.open:
        failures.append("never closed: %s" % page.open)
    if page.charset != "utf-8":
        failures.append("no <meta charset=\"utf-8\">")
    failures += ["link to missing #%s" % l for l in page.links if l not in page.ids]
    failures += ["no section for the %s menu" % m for m in MENUS if m not in page.h3]
    if "(&" in text:
        failures.append("a menu text keeps its mnemonic")
    for f in failures:
        print("help page:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
