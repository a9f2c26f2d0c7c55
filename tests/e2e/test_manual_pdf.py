"""The user manuals as built: the English PDF names every macro keyword
and every menu and menu item in the program's own English words, both
PDFs sit beside Quorrin.exe, and the two Markdown sources show exactly the
pictures the screenshot script makes, each once. Plain checks of files;
no Wine. The same checks also run against a small manual made here, so
that they are known to catch what they look for."""
import importlib.util
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import harness

ROOT = harness.ROOT
MANUAL = ROOT / "docs" / "manual"
PDFS = {"en": harness.WIN_BUILD / "Quorrin_manual_en.pdf", "ja": harness.WIN_BUILD / "Quorrin_manual.pdf"}


def load_script(name):
    found = importlib.util.spec_from_file_location(name, ROOT / "scripts" / f"{name}.py")
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def macro_keywords():
    source = (ROOT / "macro" / "macro.cpp").read_text(encoding="utf-8")
    table = re.search(r"kKeywords\[[^\]]*\]\[\d+\]\s*=\s*\{(.*?)\};", source, flags=re.S)
    assert table, "kKeywords table not found in macro/macro.cpp"
    words = re.findall(r'"([A-Z0-9]{4})"', table.group(1))
    assert len(words) >= 11
    return words


def menu_words():
    """Every menu title and item of kMenuBar in English, without "&" and a
    trailing "..."."""
    source = (ROOT / "app" / "chrome.cpp").read_text(encoding="utf-8")
    bar = re.search(r"kMenuBar\[[^\]]*\]\s*=\s*\{(.*?)\n\};", source, flags=re.S)
    assert bar, "kMenuBar not found in app/chrome.cpp"
    texts = harness.texts()
    words = []
    for name in re.findall(r"\b(kText\w+)", bar.group(1)):
        english = texts[harness.text_number(name)][1].replace("&", "")
        english = re.sub(r"(\.\.\.|…)$", "", english).strip()
        words.append(english)
    assert len(words) >= 30
    return words


def pdf_text(path):
    out = subprocess.run(["pdftotext", "-layout", str(path), "-"], capture_output=True, text=True, check=True)
    return " ".join(out.stdout.split())


def missing_words(text, words):
    return [w for w in words if " ".join(w.split()) not in text]


def image_refs(markdown_text):
    return re.findall(r"!\[[^\]]*\]\(\s*([^)\s]+)", markdown_text)


def picture_faults(markdown_text, lang, names, base):
    """What is wrong with a manual's pictures: a missing file, a picture the
    script does not make, a shot not shown or shown twice."""
    faults = []
    refs = image_refs(markdown_text)
    for ref in refs:
        m = re.fullmatch(rf"img/{lang}/([a-z0-9-]+)\.png", ref)
        if not m or m.group(1) not in names:
            faults.append(f"{ref} is not a picture the screenshot script makes")
        if not (base / ref).is_file():
            faults.append(f"{ref} is missing")
    for name in names:
        n = refs.count(f"img/{lang}/{name}.png")
        if n != 1:
            faults.append(f"{name} is shown {n} times")
    return faults


def shot_names():
    return load_script("manual_shots").NAMES


def test_manual_pdfs_are_built_beside_the_program():
    for lang, pdf in PDFS.items():
        assert (MANUAL / f"{lang}.md").exists(), f"docs/manual/{lang}.md is missing"
        assert pdf.exists(), f"{pdf} is missing: scripts/build.sh makes it"
        assert pdf.read_bytes()[:5] == b"%PDF-"
    text = pdf_text(PDFS["en"])
    assert not missing_words(text, macro_keywords()), "macro keywords missing from the English manual"
    assert not missing_words(text, menu_words()), "menu texts missing from the English manual"


def test_manual_pictures_are_the_screenshot_scripts():
    names = shot_names()
    for lang in PDFS:
        source = MANUAL / f"{lang}.md"
        assert source.exists(), f"docs/manual/{lang}.md is missing"
        assert picture_faults(source.read_text(encoding="utf-8"), lang, names, MANUAL) == []


def test_the_checks_catch_a_manual_that_lacks_something(tmp_path):
    """A small manual with every keyword, menu text and picture passes the
    checks above; one keyword, one menu text or one picture taken away,
    or a picture shown twice, fails them."""
    pytest.importorskip("weasyprint")
    if not shutil.which("pdftotext"):
        pytest.skip("pdftotext is missing (scripts/setup.sh installs poppler-utils)")
    names = shot_names()
    (tmp_path / "img" / "en").mkdir(parents=True)
    for name in names:
        shutil.copy(ROOT / "docs" / "img" / "main-light.png", tmp_path / "img" / "en" / f"{name}.png")
    keywords, menus = macro_keywords(), menu_words()
    lines = ["# Quorrin", "", "## Macros", "", "| Keyword | What |", "|---|---|"]
    lines += [f"| {k} | one command |" for k in keywords]
    lines += ["", "## Menus", ""] + [f"- {m}" for m in menus]
    lines += [""] + [f"![{n}](img/en/{n}.png)" for n in names]
    good = "\n".join(lines) + "\n"
    build = load_script("build_manual")

    def made(text, name):
        source = tmp_path / f"{name}.md"
        source.write_text(text, encoding="utf-8")
        pdf = tmp_path / f"{name}.pdf"
        assert build.main(["--source", str(source), "--output", str(pdf), "--force"]) == 0
        return pdf_text(pdf)

    text = made(good, "good")
    assert missing_words(text, keywords) == [] and missing_words(text, menus) == []
    assert picture_faults(good, "en", names, tmp_path) == []

    without_keyword = good.replace(f"| {keywords[-1]} |", "| |")
    assert missing_words(made(without_keyword, "nokey"), keywords) == [keywords[-1]]
    without_menu = good.replace(f"- {menus[3]}\n", "")
    assert menus[3] in missing_words(made(without_menu, "nomenu"), menus)
    twice = good + f"![again](img/en/{names[0]}.png)\n"
    assert picture_faults(twice, "en", names, tmp_path) == [f"{names[0]} is shown 2 times"]
    (tmp_path / "img" / "en" / f"{names[1]}.png").unlink()
    assert picture_faults(good, "en", names, tmp_path) == [f"img/en/{names[1]}.png is missing"]
    # A missing picture also stops the PDF build, with one line saying which.
    source = tmp_path / "good.md"
    run = subprocess.run([sys.executable, str(ROOT / "scripts" / "build_manual.py"), "--source", str(source),
                          "--output", str(tmp_path / "x.pdf")], capture_output=True, text=True)
    assert run.returncode == 1 and f"img/en/{names[1]}.png is missing" in run.stderr, run.stderr
    assert not Path(tmp_path / "x.pdf").exists()
