// Whether a video PES begins a picture that a decoder can start from, told from the start codes
// at the head of its elementary-stream bytes: the PES is never decoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace trimora::cleancut {

enum class VideoKind {
  kNone,         // not video
  kMpeg2,        // MPEG-1/2 video (stream types 0x01, 0x02)
  kH264,         // stream type 0x1B
  kUnsupported,  // video whose random-access pictures this program cannot tell (HEVC, VC-1, ...)
};

VideoKind VideoKindOf(uint8_t stream_type);

// The program's streams as the tables in force at a point name them.
struct ProgramStreams {
  uint16_t video_pid = 0;
  VideoKind video = VideoKind::kNone;
  std::vector<uint16_t> sound;  // the other elementary streams, each timed by its PES headers
};

enum class Verdict { kYes, kNo, kNeedMore };

// `es`: the elementary-stream bytes of one PES from just after its header, as far as gathered;
// `whole`: nothing more of the PES follows, so the verdict cannot wait for more.
//   MPEG-2: a sequence header (00 00 01 B3) before the first picture start code.
//   H.264: before the first slice, a sequence and a picture parameter set, and then an IDR slice,
//   or an I slice after a recovery-point SEI. A start without the parameter sets cannot be decoded;
//   `sets_before`: they came in the PES just before this one, which the cut then starts with.
Verdict RandomAccessPicture(VideoKind kind, const uint8_t* es, std::size_t size, bool whole,
                            bool sets_before = false);

// H.264: whether the PES holds a sequence and a picture parameter set and no slice, as some
// encoders send them in a PES of their own just before a key picture.
Verdict ParameterSetsOnly(const uint8_t* es, std::size_t size, bool whole);

}  // namespace trimora::cleancut
