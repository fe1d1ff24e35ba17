# The rate-distortion curve of the sample photograph: bits per pixel against PSNR and SSIM
# (run from the checkout's root; writes rate_distortion.png).
import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt
from skimage.metrics import peak_signal_noise_ratio, structural_similarity

import kvrn

original = kvrn.decode(open("samples/default.kvrn", "rb").read())
pixels = original.shape[0] * original.shape[1]
rows = []
for step in (8, 12, 16, 24, 32, 48, 64, 96, 128):
    data = kvrn.encode(original, step=step)
    decoded = kvrn.decode(data)
    psnr = peak_signal_noise_ratio(original, decoded)
    ssim = structural_similarity(original, decoded, channel_axis=2)
    rows.append((8 * len(data) / pixels, psnr, ssim))
    print(f"step {step:3}: {rows[-1][0]:.3f} bits per pixel, PSNR {psnr:.2f} dB, SSIM {ssim:.4f}")

plt.plot([r[0] for r in rows], [r[1] for r in rows], "o-")
plt.xlabel("bits per pixel")
plt.ylabel("PSNR (dB)")
plt.savefig("rate_distortion.png", dpi=100)
