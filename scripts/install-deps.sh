#!/usr/bin/env bash
# Installs the Debian 12 packages that the build, the program and the tests
# need. Does nothing when all of them are present; runs `apt-get update` only
# when something is missing. Works as root and, through sudo, as a user.
set -euo pipefail

packages=(
    # build
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    qt6-webengine-dev libqt6webenginecore6-bin
    libfreetype-dev libfontconfig-dev libharfbuzz-dev liblz4-dev libyaml-cpp-dev
    # zlib: the CRCs of the PNGs an APNG's frames are decoded from
    zlib1g-dev
    # metafiles: libwmf's player, libemf2svg, Qt SVG
    libwmf-dev libemf2svg-dev qt6-svg-dev
    # run (python3 also writes zentraq-cli's man page at build time)
    qt6-qpa-plugins qt6-image-formats-plugins qt6-translations-l10n fonts-arphic-uming python3
    # benchmarks: the NumPy script and the plain C program (libpng) that the
    # command-line tool is timed against; a photo (grace_hopper.jpg) for the
    # palette quantiser against pngquant (below)
    python3-numpy python3-pil libpng-dev python-matplotlib-data
    # the window's start watched through the X server (bench_window_start)
    libxcb1-dev
    # tests and end-to-end checks (make for the CMake package test)
    xvfb xauth xdotool xclip imagemagick x11-utils iproute2 make
    # checks against LVGL and the converters of the embedded GUI libraries
    # (tests/lvgl): the test fonts, LVGLImage.py's modules and pngquant;
    # lv_font_conv comes from npm (below); DejaVu is also the CMake package
    # test's second face
    fonts-dejavu-core fonts-arphic-gbsn00lp python3-png python3-lz4 pngquant nodejs
    # the icons the palettes are measured on against pngquant's (test_palette_quality)
    adwaita-icon-theme
    # FreeSerif, whose kerning test_font_kerning judges by HarfBuzz, and
    # hb-shape, to shape its pairs and the DejaVu faces' by hand alike
    libharfbuzz-bin fonts-freefont-ttf
    # the icon face of the fonts merged from several faces (test_cli_font,
    # tests/font/lvgl)
    fonts-font-awesome
    # u8g2 fonts and bitmap faces (tests/font/u8g2, bench_u8g2): WenQuanYi's
    # bitmap song as PCF, and pcf2bdf, which writes it as BDF for bdfconv
    xfonts-wqy pcf2bdf
    # the system calls of the durable write (test_cli_output)
    strace
    # source layout, installation and package checks
    git clang-format desktop-file-utils appstream man-db dpkg-dev passwd procps
    # fuzzing (scripts/fuzz.sh): clang, its libFuzzer and sanitizer runtimes,
    # llvm-symbolizer for readable stacks
    clang libclang-rt-14-dev llvm
)

# npm installs lv_font_conv. Node.js builds other than Debian's bring their
# own npm and conflict with Debian's package, so it is asked for only when
# there is no npm at all.
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all packages present"
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "install-deps: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
