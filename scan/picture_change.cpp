#include "scan/picture_change.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

namespace trimora::scan {

namespace {

// A cut changes the mean colour of the cells by this much at least (on 0..255), and by several
// times what the other steps among the same pictures do: movement and noise change a little of
// every picture, a fade changes it gradually.
constexpr double kLeastCut = 10;
constexpr double kCutOverOthers = 3;

// The mean of one plane over each cell, sampling every other pixel of every other row.
void PlaneMeans(const AVFrame& f, int plane, int width, int height, int bytes, float* out) {
  const uint8_t* data = f.data[plane];
  const int stride = f.linesize[plane];
  for (int r = 0; r < kGridRows; ++r) {
    for (int c = 0; c < kGridColumns; ++c) {
      const int x0 = c * width / kGridColumns, x1 = std::max(x0 + 1, (c + 1) * width / kGridColumns);
      const int y0 = r * height / kGridRows, y1 = std::max(y0 + 1, (r + 1) * height / kGridRows);
      double sum = 0;
      int count = 0;
      for (int y = y0; y < y1 && y < height; y += 2) {
        const uint8_t* line = data + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = x0; x < x1 && x < width; x += 2) {
          sum += bytes == 1 ? line[x] : (line[2 * x] | line[2 * x + 1] << 8) >> 2;  // 10 bits to 8
          ++count;
        }
      }
      out[r * kGridColumns + c] = count ? static_cast<float>(sum / count) : 0.0f;
    }
  }
}

double Difference(const PictureGrid& a, const PictureGrid& b) {
  constexpr std::size_t kCells = kGridColumns * kGridRows;
  double sum = 0;
  for (std::size_t i = 0; i < a.cells.size(); ++i)
    sum += std::abs(a.cells[i] - b.cells[i]) * (i < kCells ? 1.0 : 0.5);  // luma counts as much as both chromas
  return sum / kCells;
}

}  // namespace

std::optional<PictureGrid> GridOf(const AVFrame& f) {
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f.format));
  if (!desc || desc->nb_components < 3 || !(desc->flags & AV_PIX_FMT_FLAG_PLANAR) || (desc->flags & AV_PIX_FMT_FLAG_RGB) ||
      desc->comp[0].depth > 16 || f.width <= 0 || f.height <= 0)
    return std::nullopt;
  const int bytes = desc->comp[0].depth > 8 ? 2 : 1;
  if (bytes == 2 && desc->comp[0].depth != 10) return std::nullopt;
  PictureGrid grid;
  constexpr int kCells = kGridColumns * kGridRows;
  PlaneMeans(f, 0, f.width, f.height, bytes, grid.cells.data());
  const int cw = AV_CEIL_RSHIFT(f.width, desc->log2_chroma_w), ch = AV_CEIL_RSHIFT(f.height, desc->log2_chroma_h);
  PlaneMeans(f, 1, cw, ch, bytes, grid.cells.data() + kCells);
  PlaneMeans(f, 2, cw, ch, bytes, grid.cells.data() + 2 * kCells);
  return grid;
}

std::optional<Boundary> CutAmong(const std::vector<TimedGrid>& pictures) {
  if (pictures.size() < 2) return std::nullopt;
  std::vector<double> steps;
  for (std::size_t i = 1; i < pictures.size(); ++i) steps.push_back(Difference(pictures[i - 1].grid, pictures[i].grid));
  const auto best = std::max_element(steps.begin(), steps.end());
  const auto at = static_cast<std::size_t>(best - steps.begin()) + 1;
  std::vector<double> others(steps.begin(), steps.end());
  others.erase(others.begin() + (best - steps.begin()));
  double typical = 0;
  if (!others.empty()) {
    std::nth_element(others.begin(), others.begin() + others.size() / 2, others.end());
    typical = others[others.size() / 2];
  }
  if (*best < kLeastCut || *best < kCutOverOthers * typical) return std::nullopt;
  return Boundary{pictures[at].pts, pictures[at - 1].pts};
}

}  // namespace trimora::scan
