// The metrics beyond PSNR and SSIM, as asked for.
#include "lab/butteraugli.h"
#include "lab/lab.h"
#include "lab/ms_ssim.h"

namespace kvrn::lab {

bool add_metrics(const picture_view& a, const picture_view& b, metric_set wanted, unsigned threads,
                 distortion& figures, std::string& error) {
    if ((wanted & metric_bit(metric_id::ms_ssim_y)) != 0)
        figures.ms_ssim_y = ms_ssim_y(a, b, threads);
    const metric_set butteraugli =
        metric_bit(metric_id::butteraugli) | metric_bit(metric_id::butteraugli_3norm);
    if ((wanted & butteraugli) == 0 || a.width < butteraugli_smallest_side ||
        a.height < butteraugli_smallest_side)
        return true;
    butteraugli_distances distances;
    if (!butteraugli_distance(a, b, threads, distances, error)) return false;
    if ((wanted & metric_bit(metric_id::butteraugli)) != 0)
        figures.butteraugli = distances.max_norm;
    if ((wanted & metric_bit(metric_id::butteraugli_3norm)) != 0)
        figures.butteraugli_3norm = distances.norm3;
    return true;
}

}  // namespace kvrn::lab
