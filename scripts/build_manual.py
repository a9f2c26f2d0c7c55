#!/usr/bin/env python3
"""Turns the user manuals docs/manual/en.md and docs/manual/ja.md into the
PDF files that sit beside Quorrin.exe: build/win/Quorrin_manual_en.pdf and
build/win/Quorrin_manual.pdf (the name Help > Manual opens for Japanese).

Each PDF gets a title page with the version from VERSION, a table of
contents made from the `##` chapters with their page numbers, and the
print style docs/manual/manual.css. Images are relative to docs/manual/.
A PDF is made again only when its Markdown, an image it shows, the style,
VERSION or this script is newer than it (--force makes it anyway).

A missing source or image stops the build with one line saying which,
and exit code 1.

    scripts/build_manual.py [--force] [--only en|ja]
    scripts/build_manual.py --source FILE --output FILE.pdf [--lang en|ja]
"""
import argparse
import html
import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
MANUAL = ROOT / "docs" / "manual"
CSS = MANUAL / "manual.css"
WIN = ROOT / "build" / "win"

# language: (source, PDF beside Quorrin.exe)
MANUALS = {
    "en": (MANUAL / "en.md", WIN / "Quorrin_manual_en.pdf"),
    "ja": (MANUAL / "ja.md", WIN / "Quorrin_manual.pdf"),
}

# The words of the title page and the contents, per language.
WORDS = {
    "en": {"version": "Version", "contents": "Contents"},
    "ja": {"version": "バージョン", "contents": "目次"},
}

EXTENSIONS = ["tables", "toc", "attr_list", "fenced_code"]
IMAGE = re.compile(r"!\[[^\]]*\]\(\s*([^)\s]+)(?:\s+\"[^\"]*\")?\s*\)")


class ManualError(Exception):
    pass


def version():
    return (ROOT / "VERSION").read_text(encoding="utf-8").strip()


def images_of(text):
    """The image paths a Markdown text refers to, in order (code blocks and
    inline code are left out, as they show image notation as text)."""
    text = re.sub(r"^```.*?^```", "", text, flags=re.S | re.M)
    text = re.sub(r"`[^`\n]*`", "", text)
    return IMAGE.findall(text)


def check_sources(source, base):
    if not source.exists():
        raise ManualError(f"{relative(source)} is missing")
    text = source.read_text(encoding="utf-8")
    images = []
    for ref in images_of(text):
        path = (base / ref).resolve()
        if not path.is_file():
            raise ManualError(f"{relative(source)}: image {ref} is missing ({relative(path)})")
        images.append(path)
    return text, images


def relative(path):
    try:
        return str(Path(path).resolve().relative_to(ROOT))
    except ValueError:
        return str(path)


def up_to_date(output, inputs):
    if not output.exists():
        return False
    made = output.stat().st_mtime
    return all(p.stat().st_mtime <= made for p in inputs)


def contents(tokens, title):
    """The table of contents: one line per `##` chapter, its page number
    filled in by the style (target-counter)."""
    lines = []
    for top in tokens:
        chapters = top["children"] if top["level"] == 1 else [top]
        for ch in chapters:
            if ch["level"] == 2:
                lines.append(f'<li><a href="#{html.escape(ch["id"])}">{ch["name"]}</a></li>')
    return f'<nav class="contents"><h2 class="contents-title">{title}</h2><ol>{"".join(lines)}</ol></nav>'


def render(text, lang):
    import markdown

    md = markdown.Markdown(extensions=EXTENSIONS, extension_configs={"toc": {"toc_depth": "2-3"}})
    body = md.convert(text)
    title_match = re.search(r"<h1[^>]*>(.*?)</h1>", body, flags=re.S)
    if not title_match:
        raise ManualError("the manual has no `#` title")
    title = title_match.group(1)
    body = body[:title_match.start()] + body[title_match.end():]
    words = WORDS.get(lang, WORDS["en"])
    return (f'<!DOCTYPE html><html lang="{lang}"><head><meta charset="utf-8"><title>{html.unescape(re.sub("<[^>]+>", "", title))}</title></head>'
            f'<body><section class="title-page"><h1>{title}</h1>'
            f'<p class="version">{words["version"]} {html.escape(version())}</p></section>'
            f'{contents(md.toc_tokens, words["contents"])}<main>{body}</main></body></html>')


def build(source, output, lang, force=False):
    base = source.parent
    text, images = check_sources(source, base)
    if not CSS.exists():
        raise ManualError(f"{relative(CSS)} is missing")
    inputs = [source, CSS, ROOT / "VERSION", Path(__file__).resolve()] + images
    if not force and up_to_date(output, inputs):
        print(f"build_manual: {relative(output)} is up to date")
        return False
    document = render(text, lang)
    from weasyprint import CSS as Style, HTML

    output.parent.mkdir(parents=True, exist_ok=True)
    part = output.with_name(output.name + ".part")
    HTML(string=document, base_url=str(base) + "/").write_pdf(part, stylesheets=[Style(filename=str(CSS))])
    part.replace(output)
    print(f"build_manual: {relative(source)} -> {relative(output)}")
    return True


def main(argv=None):
    ap = argparse.ArgumentParser(description="Builds the user manual PDFs.")
    ap.add_argument("--force", action="store_true", help="build even when the PDF is newer than its sources")
    ap.add_argument("--only", choices=sorted(MANUALS), help="build one language only")
    ap.add_argument("--source", type=Path, help="a Markdown file to build instead of the manuals")
    ap.add_argument("--output", type=Path, help="the PDF --source is built to")
    ap.add_argument("--lang", default="en", choices=sorted(WORDS), help="language of --source")
    args = ap.parse_args(argv)
    try:
        if args.source or args.output:
            if not (args.source and args.output):
                raise ManualError("--source and --output go together")
            build(args.source.resolve(), args.output.resolve(), args.lang, args.force)
        else:
            for lang, (source, output) in MANUALS.items():
                if args.only in (None, lang):
                    build(source, output, lang, args.force)
    except ManualError as e:
        print(f"build_manual: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
