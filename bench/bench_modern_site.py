#!/usr/bin/env python3
"""Writes the site of today that `bench crawl-modern` serves.

Albums of pages, every page minified onto one line:
  - a responsive picture: src plus a srcset of two candidates (one of them
    named only in the srcset),
  - on every other page a twin of that picture whose name differs only in
    letter case (IMG_12.JPG and img_12.jpg are two files on this server),
  - on one page in four a <picture> with a <source srcset> and its <img>
    fallback,
  - on another page in four a lazily loaded picture that only data-src and
    data-srcset name (its src is the shared placeholder),
  - links to the previous and next page of its album (relative, with ./ and
    ../), to the album's index and to the home page, plus a style sheet, a
    script, a fragment and a mailto link;
  - on one page in eight the style sheet's address without quotes, as a
    minifier leaves it.
Folder and file names keep their letter case.

Prints one line: pages=<n> pictures=<n> lazy=<n>
"""
import argparse
import os
import random


def write(root, path, data):
    full = os.path.join(root, path.lstrip("/"))
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def picture_bytes(rng, name):
    # A JPEG-like header and some noise: a few kilobytes, distinct per file.
    return b"\xff\xd8\xff\xe0JFIF" + name.encode() + rng.randbytes(rng.randint(1500, 4000))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out", required=True)
    ap.add_argument("--pages", type=int, default=2000)
    ap.add_argument("--albums", type=int, default=40)
    args = ap.parse_args()

    rng = random.Random(20240601)
    root = args.out
    albums = ["Album_%02d" % a if a % 2 else "album-%02d" % a for a in range(args.albums)]
    per_album = max(1, args.pages // args.albums)
    pictures = set()
    lazy = 0

    def add_picture(path):
        if path not in pictures:
            pictures.add(path)
            write(root, path, picture_bytes(rng, path))

    add_picture("/static/blank.gif")
    write(root, "/static/site.css", "body{margin:0}.hero{background:#fff}")
    write(root, "/static/app.js", "var lazy=document.querySelectorAll('img.lazy');")

    home = ['<!DOCTYPE html><html lang=en><head><meta charset=utf-8><title>Photos</title>'
            '<link rel=stylesheet href="/static/site.css"></head><body><nav>']
    pages = 1
    for a, album in enumerate(albums):
        home.append('<a href="gallery/%s/">%s</a>' % (album, album))
        index = ['<!DOCTYPE html><html><head><meta charset=utf-8><title>%s</title></head><body>'
                 '<a href="/">home</a><ul>' % album]
        for k in range(per_album):
            n = a * per_album + k
            name = "Page_%03d.html" % k
            index.append('<li><a href="%s">%d</a></li>' % (name, k))
            pic = "/photos/%s/IMG_%05d.JPG" % (album, n)
            small = "/photos/%s/IMG_%05d-480.jpg" % (album, n)
            add_picture(pic)
            add_picture(small)
            # A minifier drops every quote it can; one page in eight is
            # written so.
            sheet = "/static/site.css" if n % 8 == 5 else '"/static/site.css"'
            body = ['<!DOCTYPE html><html><head><meta charset=utf-8><title>%s %d</title>'
                    '<link rel=stylesheet href=%s></head><body><main>' % (album, k, sheet),
                    '<img alt="" src="%s" srcset="%s 480w, %s 1024w" sizes="100vw">'
                    % (pic, small, pic)]
            if n % 2 == 0:
                twin = "/photos/%s/img_%05d.jpg" % (album, n)
                add_picture(twin)
                body.append('<img src="%s" width=200>' % twin)
            if n % 4 == 1:
                source = "/photos/%s/Wide_%05d.png" % (album, n)
                fallback = "/photos/%s/wide_%05d.gif" % (album, n)
                add_picture(source)
                add_picture(fallback)
                body.append('<picture><source srcset="%s" type="image/png"><img src="%s"></picture>'
                            % (source, fallback))
            if n % 4 == 3:
                lazy_pic = "/photos/%s/Lazy/Photo_%05d.jpeg" % (album, n)
                add_picture(lazy_pic)
                lazy += 1
                body.append('<img class=lazy src="/static/blank.gif" data-src="%s" '
                            'data-srcset="%s 1x">' % (lazy_pic, lazy_pic))
            nav = ['<a href="./">index</a>', '<a href="../../">home</a>', '<a href="#top">top</a>',
                   '<a href="mailto:me@example.org">mail</a>']
            if k > 0:
                nav.append('<a href="./Page_%03d.html">prev</a>' % (k - 1))
            if k + 1 < per_album:
                nav.append('<a href="Page_%03d.html">next</a>' % (k + 1))
            other = albums[(a + 1) % len(albums)]
            nav.append('<a href="../%s/Page_%03d.html">more</a>' % (other, k))
            body.append('</main><nav>%s</nav><script src="/static/app.js"></script></body></html>'
                        % "".join(nav))
            write(root, "/gallery/%s/%s" % (album, name), "".join(body))
            pages += 1
        index.append("</ul></body></html>")
        write(root, "/gallery/%s/index.html" % album, "".join(index))
        pages += 1
    home.append("</nav></body></html>")
    write(root, "/index.html", "".join(home))
    print("pages=%d pictures=%d lazy=%d" % (pages, len(pictures), lazy))


if __name__ == "__main__":
    main()
