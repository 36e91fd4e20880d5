"""References for the photo loading tests, by Pillow and Little CMS's tificc.

  photo_reference.py transpose OUT_DIR FILE...   ImageOps.exif_transpose of each FILE as OUT_DIR/<name>.ppm;
                                                 for TIFF ImageMagick's -auto-orient (Pillow 9.4 reads some
                                                 oriented TIFF files through libtiff already turned, and
                                                 exif_transpose then turns them again)
  photo_reference.py oriented DIR                a 13x7 photo as JPEG, PNG and TIFF, tagged by exiftool with
                                                 EXIF orientation 1 to 8 (PNG also with XMP only): DIR/*.{jpg,png,tif}
  photo_reference.py profiled DIR PROFILE NAME MODE
                                                 a 64x48 photo in MODE (RGB or CMYK) with the profile embedded, as
                                                 DIR/NAME.jpg, .png (RGB only) and .tif, and the reference
                                                 DIR/NAME.<ext>.ppm of each: its decoded samples converted by
                                                 tificc -t1 -b to sRGB
"""
import os
import subprocess
import sys

from PIL import Image, ImageOps


def write_ppm(image, path):
    image = image.convert("RGB")
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % image.size + image.tobytes())


def transpose(out_dir, files):
    for name in files:
        if name.lower().endswith((".tif", ".tiff")):
            convert = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"
            target = os.path.join(out_dir, os.path.basename(name) + ".ppm")
            subprocess.run([convert, name, "-auto-orient", "-depth", "8", "ppm:" + target], check=True)
            continue
        with Image.open(name) as image:
            upright = ImageOps.exif_transpose(image)
            write_ppm(upright, os.path.join(out_dir, os.path.basename(name) + ".ppm"))


def photo(width, height, mode):
    # Smooth ramps in every channel with some texture, so that each pixel is told from its neighbours.
    image = Image.new("RGB", (width, height))
    image.putdata([((x * 255) // (width - 1), (y * 255) // (height - 1), (x * 37 + y * 91) % 256)
                   for y in range(height) for x in range(width)])
    return image if mode == "RGB" else image.convert(mode)


def exiftool(*args):
    subprocess.run(["exiftool", "-q", "-q", "-overwrite_original", *args], check=True)


def oriented(folder):
    base = photo(13, 7, "RGB")
    for orientation in range(1, 9):
        for extension in ("jpg", "png", "tif"):
            path = os.path.join(folder, "exif%d.%s" % (orientation, extension))
            base.save(path, quality=95) if extension == "jpg" else base.save(path)
            exiftool("-n", "-IFD0:Orientation=%d" % orientation, path)
        path = os.path.join(folder, "xmp%d.png" % orientation)
        base.save(path)
        exiftool("-n", "-XMP-tiff:Orientation=%d" % orientation, path)


def profiled(folder, profile_path, name, mode):
    with open(profile_path, "rb") as f:
        profile = f.read()
    image = photo(64, 48, mode)
    extensions = ("jpg", "tif") if mode == "CMYK" else ("jpg", "png", "tif")
    for extension in extensions:
        path = os.path.join(folder, "%s.%s" % (name, extension))
        if extension == "jpg":
            image.save(path, quality=90, icc_profile=profile)
        else:
            image.save(path, icc_profile=profile)
        # The samples as the file holds them (a JPEG decoded), with the profile, through tificc.
        with Image.open(path) as stored:
            samples = os.path.join(folder, "%s.%s.samples.tif" % (name, extension))
            stored.save(samples, icc_profile=profile)
        converted = os.path.join(folder, "%s.%s.srgb.tif" % (name, extension))
        subprocess.run(["tificc", "-t1", "-b", samples, converted], check=True)
        with Image.open(converted) as reference:
            write_ppm(reference, os.path.join(folder, "%s.%s.ppm" % (name, extension)))


if __name__ == "__main__":
    command = sys.argv[1]
    if command == "transpose":
        transpose(sys.argv[2], sys.argv[3:])
    elif command == "oriented":
        oriented(sys.argv[2])
    elif command == "profiled":
        profiled(*sys.argv[2:6])
    else:
        sys.exit("unknown command " + command)
