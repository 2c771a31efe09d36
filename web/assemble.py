#!/usr/bin/env python3
"""Puts the page together from web/ and the WebAssembly build.

kalmir.html holds everything: the style, the scripts, the worker's code
and the module's bytes (base64), so that it works opened from disk with no
server and no network. site/ is the same page as ordinary files, to serve.
"""
import argparse
import base64
import os
import shutil


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def inline(kind, text, attrs=""):
    # The browser ends a script or style element at the first "</script"
    # or "</style", whatever the type.
    assert f"</{kind}" not in text.lower(), f"</{kind} inside inlined text"
    return f"<{kind}{attrs}>\n{text}\n</{kind}>"


def write(path, text):
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(tmp, path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--web", required=True)
    parser.add_argument("--build", required=True)
    args = parser.parse_args()
    web, build = args.web, args.build
    page = read(os.path.join(web, "page.html"))
    style = read(os.path.join(web, "style.css"))
    scripts = [read(os.path.join(web, name)) for name in ("plot.js", "app.js")]
    worker = read(os.path.join(web, "worker.js"))
    glue = read(os.path.join(build, "kalmir-core.js"))
    with open(os.path.join(build, "kalmir-core.wasm"), "rb") as f:
        wasm = base64.b64encode(f.read()).decode("ascii")

    single = page.replace("<!--KALMIR:STYLE-->", inline("style", style))
    single = single.replace("connect-src 'self'", "connect-src 'none'")
    single = single.replace("<!--KALMIR:ASSETS-->", "\n".join([
        inline("script", glue, ' type="text/plain" id="kalmir-glue"'),
        inline("script", worker, ' type="text/plain" id="kalmir-worker"'),
        inline("script", wasm, ' type="text/plain" id="kalmir-wasm"'),
    ]))
    single = single.replace("<!--KALMIR:SCRIPTS-->",
                            "\n".join(inline("script", s) for s in scripts))
    write(os.path.join(build, "kalmir.html"), single)

    site = os.path.join(build, "site")
    os.makedirs(site, exist_ok=True)
    served = page.replace(
        "<!--KALMIR:STYLE-->", '<link rel="stylesheet" href="style.css">')
    served = served.replace("<!--KALMIR:ASSETS-->", "")
    served = served.replace(
        "<!--KALMIR:SCRIPTS-->",
        '<script src="plot.js"></script>\n<script src="app.js"></script>')
    for name in ("style.css", "plot.js", "app.js", "worker.js"):
        shutil.copyfile(os.path.join(web, name), os.path.join(site, name))
    for name in ("kalmir-core.js", "kalmir-core.wasm"):
        shutil.copyfile(os.path.join(build, name), os.path.join(site, name))
    write(os.path.join(site, "index.html"), served)


if __name__ == "__main__":
    main()
