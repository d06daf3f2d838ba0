#!/usr/bin/env python3
"""Runs LVGLImage.py on many pictures in one process: lvglimage_jobs.py
LVGLImage.py JOBS, a job a line, tab-separated: input CF COMPRESS ALIGN
BACKGROUND output [premultiply]; an output ending in .bin is the image file,
else the C file (RAW and RAW_ALPHA: C only)."""
import importlib.util
import os
import sys


def main():
    script, jobs = sys.argv[1], sys.argv[2]
    found = importlib.util.spec_from_file_location("LVGLImage", script)
    lvgl = importlib.util.module_from_spec(found)
    found.loader.exec_module(lvgl)
    with open(jobs) as f:
        lines = [l.rstrip("\n") for l in f if l.strip()]
    for line in lines:
        fields = line.split("\t")
        src, cf, compress, align, background, out = fields[:6]
        try:
            name = os.path.splitext(os.path.basename(out))[0]
            if cf in ("RAW", "RAW_ALPHA"):
                lvgl.RAWImage().from_file(src, lvgl.ColorFormat[cf]).to_c_array(out, outputname=name)
                continue
            img = lvgl.LVGLImage().from_png(src, lvgl.ColorFormat[cf], background=int(background, 0))
            img.adjust_stride(align=int(align))
            if fields[6:] == ["premultiply"]:
                img.premultiply()
            method = lvgl.CompressMethod[compress]
            if out.endswith(".bin"):
                img.to_bin(out, compress=method)
            else:
                img.to_c_array(out, compress=method, outputname=name)
        except Exception as e:  # the job that failed, and why
            sys.stderr.write(f"{line}: {e!r}\n")
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
