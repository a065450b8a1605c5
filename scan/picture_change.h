// The cut to another picture: each decoded picture shrunk to a grid of mean colours, so that noise
// and movement average out while a cut changes most cells at once.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "scan/break_chains.h"

extern "C" {
struct AVFrame;
}

namespace trimora::scan {

inline constexpr int kGridColumns = 16, kGridRows = 12;

// The mean luma and chroma of each cell, 0..255.
struct PictureGrid {
  std::array<float, 3 * kGridColumns * kGridRows> cells{};
};

// The grid of a decoded picture in a planar YUV format; nullopt for any other format.
std::optional<PictureGrid> GridOf(const AVFrame& picture);

struct TimedGrid {
  int64_t pts = 0;
  PictureGrid grid;
};

// The cut among pictures in display order: the step between neighbours that changes the picture
// far more than any other step there does; nullopt when none stands out so.
std::optional<Boundary> CutAmong(const std::vector<TimedGrid>& pictures);

}  // namespace trimora::scan
