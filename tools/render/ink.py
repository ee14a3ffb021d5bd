"""The ink of a frame of packed 24-bit pixels, for the render checks."""

INK = 40  # a channel above this is ink
_INK_TABLE = bytes(1 if b > INK else 0 for b in range(256))


def ink_box(frame, width, height):
    """The box (left, top, right, bottom; right and bottom exclusive) of the frame's ink, or None."""
    flags = frame.translate(_INK_TABLE)
    left, top, right, bottom = width, height, -1, -1
    row = width * 3
    for y in range(height):
        first = flags.find(1, y * row, (y + 1) * row)
        if first < 0:
            continue
        last = flags.rfind(1, y * row, (y + 1) * row)
        left, right = min(left, (first - y * row) // 3), max(right, (last - y * row) // 3 + 1)
        top, bottom = min(top, y), y + 1
    return None if right < 0 else (left, top, right, bottom)
