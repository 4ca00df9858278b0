#!/usr/bin/env python3
"""Writes the static sites the crawl benchmark serves.

site:    a few thousand pages in nested folders, linked to each other with
         relative, parent-relative, rooted and absolute links, and picture
         files of a few kilobytes in nested folders. Every page and picture
         can be reached from /index.html. One link per line, lower-case names.
scaling: /<prefix>/index.html lists hub pages, each hub lists `leaves` leaf
         pages; every leaf URL /<prefix>/leaf/... is answered by the one file
         /<prefix>-leaf.html (the server maps them), so a crawl of 100,000
         URLs needs only a few files.
wide:    /<prefix>/index.html, one page holding `links` links to pages of the
         same site, one a line, and a last line without a link.
"""
import argparse
import os
import random


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    mode = "wb" if isinstance(data, bytes) else "w"
    with open(path, mode) as f:
        f.write(data)


def folder_of(i):
    # Depth 0 to 3: "", "d3/", "d3/e1/", "d3/e1/f0/".
    depth = i % 4
    parts = ["d%d" % (i % 7), "e%d" % (i % 5), "f%d" % (i % 3)][:depth]
    return "".join(p + "/" for p in parts)


def relative_link(from_folder, to_path):
    """A link from a page in from_folder to to_path: plain relative when the
    target lies below the page's folder, with leading '..' when it lies
    below one of the page's parent folders, rooted otherwise."""
    up = 0
    folder = from_folder
    while True:
        if to_path.startswith(folder):
            return "../" * up + to_path[len(folder):]
        if not folder:
            return "/" + to_path
        folder = folder[: folder.rstrip("/").rfind("/") + 1]
        up += 1


def make_site(out, port, pages, pictures, seed):
    rnd = random.Random(seed)
    page_paths = ["index.html"] + [folder_of(i) + "p%d.html" % i for i in range(1, pages)]
    picture_paths = []
    for k in range(pictures):
        ext = "jpg" if k % 3 else "gif"
        picture_paths.append("pics/a%d/b%d/pic%d.%s" % (k % 9, k % 4, k, ext))
    unwanted = ["pics/other/skip%d.png" % k for k in range(max(1, pictures // 20))]

    origin = "http://127.0.0.1:%d/" % port
    total = 0
    for i, path in enumerate(page_paths):
        folder = path[: path.rfind("/") + 1]
        targets = [(i * 2 + 1), (i * 2 + 2), i + 1] + [rnd.randrange(pages) for _ in range(3)]
        lines = ["<html><head><title>page %d</title></head><body>" % i]
        for n, t in enumerate(t for t in targets if t < pages):
            target = page_paths[t]
            style = (i + n) % 4
            if style == 0:
                link = relative_link(folder, target)
            elif style == 1:
                link = "/" + target
            elif style == 2:
                link = origin + target
            else:
                link = relative_link(folder, target)
            lines.append('<p><a href="%s">page %d</a></p>' % (link, t))
        # Pictures: every picture has a home page, plus a few shared ones.
        for k in range(i, pictures, pages):
            pic = picture_paths[k]
            if k % 2:
                lines.append('<img src="%s" alt="p">' % relative_link(folder, pic))
            else:
                lines.append('<p><a href="/%s">picture</a></p>' % pic)
        lines.append('<img src="/%s" alt="shared">' % picture_paths[rnd.randrange(pictures)])
        if i % 10 == 0:
            lines.append('<p><a href="/%s">not wanted</a></p>' % unwanted[i % len(unwanted)])
            lines.append('<p><a href="http://elsewhere.invalid/x.html">another site</a></p>')
            lines.append('<p><a href="mailto:someone@elsewhere.invalid">mail</a></p>')
        lines.append("</body></html>")
        text = "\n".join(lines) + "\n"
        total += len(text)
        write(os.path.join(out, path), text)

    for k, path in enumerate(picture_paths + unwanted):
        data = rnd.randbytes(rnd.randrange(2000, 30000))
        total += len(data)
        write(os.path.join(out, path), data)
    print("site: %d pages, %d pictures, %d bytes" % (pages, pictures, total))


def make_scaling(out, prefix, hubs, leaves):
    hub_lines = ['<p><a href="/%s/hub%d.html">hub</a></p>' % (prefix, h) for h in range(hubs)]
    write(os.path.join(out, prefix, "index.html"), "<html><body>\n" + "\n".join(hub_lines) + "\n")
    for h in range(hubs):
        lines = ['<p><a href="leaf/%d/%d.html">leaf</a></p>' % (h, n) for n in range(leaves)]
        write(os.path.join(out, prefix, "hub%d.html" % h),
              "<html><body>\n" + "\n".join(lines) + "\n")
    # Each leaf links back to the start page, a URL the crawl has seen.
    write(os.path.join(out, prefix + "-leaf.html"),
          '<html><body>\n<a href="/%s/index.html">up</a>\n' % prefix)
    print("scaling site: %d URLs" % (1 + hubs + hubs * leaves))


def make_wide(out, prefix, links):
    lines = ['<a href="p%07d.html">' % n for n in range(links)]
    lines.append("<p>end</p>")
    write(os.path.join(out, prefix, "index.html"), "\n".join(lines) + "\n")
    print("wide page: %d links" % links)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("kind", choices=["site", "scaling", "wide"])
    ap.add_argument("--out", required=True)
    ap.add_argument("--port", type=int, default=80)
    ap.add_argument("--pages", type=int, default=3000)
    ap.add_argument("--pictures", type=int, default=2000)
    ap.add_argument("--prefix", default="s")
    ap.add_argument("--hubs", type=int, default=10)
    ap.add_argument("--leaves", type=int, default=1000)
    ap.add_argument("--links", type=int, default=1000000)
    ap.add_argument("--seed", type=int, default=7)
    args = ap.parse_args()
    if args.kind == "site":
        make_site(args.out, args.port, args.pages, args.pictures, args.seed)
    elif args.kind == "scaling":
        make_scaling(args.out, args.prefix, args.hubs, args.leaves)
    else:
        make_wide(args.out, args.prefix, args.links)


if __name__ == "__main__":
    main()
