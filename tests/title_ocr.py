"""Reading text off the screen as a person would: tesseract OCR of a crop of a screenshot, scaled
up with ImageMagick. Used to check that a title bar shows the whole caption and that a tooltip
shows its text."""

import os
import re
import subprocess
import tempfile

TOOLS = ["tesseract", "convert"]

# What the running caption is made of, the only characters read in a title bar that shows it.
CAPTION_WHITELIST = "QVTICKSPAN-:0123456789dhms, "
# How long OCR may go on reading a title bar: a few rounds of readings.
READ_TIMEOUT_S = 10
# At 144 DPI a title font is 1.5 times as high as at 96; well below that, it did not grow.
LEAST_GROWTH = 1.3

# Scales and filters to try: small title fonts read best at different enlargements, and a
# reading that misses one digit at one scale gets it at another.
_VARIANTS = [(400, "point"), (300, "point"), (500, "Lanczos"), (400, "Lanczos")]


def _prepare(png, crop, scale, flt, negate, out):
    x, y, w, h = crop
    args = ["convert", png, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-colorspace", "Gray"]
    if negate:
        args.append("-negate")
    # A white margin: tesseract reads text that touches the image's edge poorly.
    args += ["-filter", flt, "-resize", f"{scale}%", "-bordercolor", "white", "-border", "24",
             out]
    subprocess.run(args, check=True, capture_output=True, timeout=30)


def _tesseract(image, whitelist, tsv=False):
    args = ["tesseract", image, "stdout", "--psm", "7"]
    if whitelist:
        args += ["-c", "tessedit_char_whitelist=" + whitelist]
    if tsv:
        args.append("tsv")
    # NOTE: tesseract warns about the DPI of images without one; only stdout counts.
    env = dict(os.environ, OMP_THREAD_LIMIT="1")
    return subprocess.run(args, check=True, capture_output=True, text=True, timeout=60,
                          env=env).stdout


def normalised(text):
    """The text without blanks: OCR is unsure where a title font's narrow spaces fall."""
    return re.sub(r"\s+", "", text)


def readings(png, crop, whitelist=None):
    """The readings of a crop (x, y, w, h) of the screenshot `png`, one variant after another,
    dark text on light and light on dark alike."""
    with tempfile.TemporaryDirectory(prefix="qv-ocr-") as folder:
        image = os.path.join(folder, "crop.png")
        for scale, flt in _VARIANTS:
            for negate in (False, True):
                _prepare(png, crop, scale, flt, negate, image)
                yield _tesseract(image, whitelist).strip()


def shows_whole(png, crop, texts, whitelist=None):
    """(True, readings) when some reading of the crop holds one of `texts` whole, every
    character in order (blanks aside); a cut text, missing any of them, never counts."""
    wanted = [normalised(t) for t in texts]
    found = []
    for reading in readings(png, crop, whitelist):
        found.append(reading)
        if any(w in normalised(reading) for w in wanted):
            return True, found
    return False, found


def word_height(png, crop, word, whitelist=None):
    """The height in screen pixels of the first word that OCR reads as containing `word`, or
    None when no reading finds it."""
    scale = _VARIANTS[0][0]
    with tempfile.TemporaryDirectory(prefix="qv-ocr-") as folder:
        image = os.path.join(folder, "crop.png")
        for negate in (False, True):
            _prepare(png, crop, scale, _VARIANTS[0][1], negate, image)
            for line in _tesseract(image, whitelist, tsv=True).splitlines()[1:]:
                cells = line.split("\t")
                if len(cells) == 12 and word in cells[11]:
                    return int(cells[9]) * 100 / scale
    return None
