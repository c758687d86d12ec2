"""Reference for bench_image: Pillow's BOX (area-averaging) resize of a noisy gradient.

Usage: pil_box.py SRC_W SRC_H DST_W DST_H [RUNS]
Prints "pil_box_ms <median wall ms> <median processor ms>"; exits with status 2 when Pillow is missing.
"""
import statistics
import sys
import time

try:
    from PIL import Image
except ImportError:
    sys.exit(2)


def main():
    sw, sh, dw, dh = (int(v) for v in sys.argv[1:5])
    runs = int(sys.argv[5]) if len(sys.argv) > 5 else 3
    gradient = Image.linear_gradient("L").resize((sw, sh))
    noise = Image.effect_noise((sw, sh), 16)
    source = Image.merge("RGB", (gradient, noise, gradient.transpose(Image.FLIP_LEFT_RIGHT)))
    wall, cpu = [], []
    for _ in range(runs):
        start, cpu_start = time.perf_counter(), time.process_time()
        source.resize((dw, dh), Image.BOX)
        cpu.append((time.process_time() - cpu_start) * 1000.0)
        wall.append((time.perf_counter() - start) * 1000.0)
    print(f"pil_box_ms {statistics.median(wall):.1f} {statistics.median(cpu):.1f}")


if __name__ == "__main__":
    main()
