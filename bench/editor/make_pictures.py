"""Writes the view benchmark's pictures: a 24-megapixel JPEG (6048x4032, a usual camera size)
and a 100-megapixel PNG (12240x8160), photo-like (smooth shapes, fine grain).
Usage: make_pictures.py FOLDER"""
import os
import sys

from PIL import Image, ImageChops


def picture(width, height):
    # Smooth large shapes: a Mandelbrot set at a small size, enlarged, in three channels.
    small = (width // 16, height // 16)
    red = Image.effect_mandelbrot(small, (-2.2, -1.2, 0.8, 1.2), 60)
    green = Image.linear_gradient("L").resize(small)
    blue = Image.radial_gradient("L").resize(small)
    shapes = Image.merge("RGB", (red, green, blue)).resize((width, height), Image.BICUBIC)
    # Sensor-like grain over it.
    grain = Image.effect_noise((width, height), 12).convert("RGB")
    return ImageChops.add(shapes, grain, scale=1.0, offset=-128)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    jpeg = os.path.join(folder, "photo-24mp.jpg")
    if not os.path.exists(jpeg):
        picture(6048, 4032).save(jpeg, quality=90)
    png = os.path.join(folder, "picture-100mp.png")
    if not os.path.exists(png):
        picture(12240, 8160).save(png, compress_level=1)


main()
