# A photograph encoded at step 16, decoded, and shown next to the original (run from the
# checkout's root; writes photo.png and side_by_side.png).
import matplotlib

matplotlib.use("Agg")  # draw to files: no display needed
import matplotlib.pyplot as plt
import numpy as np
from PIL import Image

import kvrn

# The sample photograph as a PNG, to open the way any photograph is opened.
Image.fromarray(kvrn.decode(open("samples/default.kvrn", "rb").read())).save("photo.png")

original = np.asarray(Image.open("photo.png").convert("RGB"))
data = kvrn.encode(original, step=16)
decoded = kvrn.decode(data)
bits = 8 * len(data) / (original.shape[0] * original.shape[1])
print(f"step 16: {len(data)} bytes, {bits:.2f} bits per pixel")

figure, (left, right) = plt.subplots(1, 2, figsize=(12, 4.8))
left.imshow(original)
left.set_title("original")
right.imshow(decoded)
right.set_title(f"KVRN at step 16: {len(data)} bytes")
for axes in (left, right):
    axes.axis("off")
figure.savefig("side_by_side.png", dpi=100, bbox_inches="tight")
