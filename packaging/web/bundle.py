#!/usr/bin/python3
"""Makes the show's single-file page: the site's index.html with the program's script, its
WebAssembly, its data files and the icon inside it, so that it opens from disk without a
server, and the licences of the show and its libraries in a template the page never shows."""
import base64
import html
import sys
from pathlib import Path


def embedded_script(text):
    """A script's text as the body of a <script> element, which ends at any "</script"."""
    return text.replace('</script', '<\\/script')


def licence_text(path):
    """A licence file's text: UTF-8, or Latin-1 as FreeType's is."""
    data = path.read_bytes()
    try:
        return data.decode('utf-8')
    except UnicodeDecodeError:
        return data.decode('latin-1')


def bundle(site):
    page = (site / 'index.html').read_text(encoding='utf-8')
    program = (site / 'frostfunkel.js').read_text(encoding='utf-8')
    files = {name: base64.b64encode((site / f'frostfunkel.{name}').read_bytes()).decode()
             for name in ('wasm', 'data')}
    icon = base64.b64encode((site / 'favicon.png').read_bytes()).decode()
    replacements = {
        '<script src="frostfunkel.js"></script>':
            '<script>window.frostfunkelFiles = {'
            f'wasm: "{files["wasm"]}", data: "{files["data"]}"}};</script>\n'
            f'<script>{embedded_script(program)}</script>',
        'href="favicon.png"': f'href="data:image/png;base64,{icon}"',
    }
    licences = "".join(
        f'<pre title="{path.stem}">{html.escape(licence_text(path))}</pre>\n'
        for path in sorted((site / 'licences').glob('*.txt')))
    replacements['</body>'] = f'<template id="licences">\n{licences}</template>\n</body>'
    for old, new in replacements.items():
        if page.count(old) != 1:
            sys.exit(f'bundle.py: index.html must hold {old!r} once')
        page = page.replace(old, new)
    return page


def main():
    if len(sys.argv) != 3:
        sys.exit('usage: bundle.py SITE_FOLDER OUTPUT.html')
    Path(sys.argv[2]).write_text(bundle(Path(sys.argv[1])), encoding='utf-8')


if __name__ == '__main__':
    main()
