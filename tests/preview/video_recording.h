// Recordings with real MPEG-2 or H.264 video (and AAC audio when asked) for the picture tests,
// made with FFmpeg's encoders and muxer: every second of the stream's clock is one flat colour,
// and a time marker packet is written just before the first packet of each second (its key
// frame, unless the markers are shifted), as a broadcast carries one per second. A picture's
// colour tells which second it belongs to.
#pragma once

#include <cstdint>
#include <filesystem>
#include <utility>
#include <vector>

namespace trimora::testkit {

struct VideoOptions {
  int seconds = 10;          // markers 1..seconds-1 open seconds 1..seconds-1; marker `seconds` ends the file
  int fps = 10;
  int gop = 5;               // a key frame every `gop` pictures; two B-frames between references
  int width = 64, height = 48;
  int sar_num = 1, sar_den = 1;
  // Interlaced pictures whose bottom field is black: any mix of the two fields shows.
  bool interlaced = false;
  // For benchmarks: pictures that move and carry noise, at about this many bits per second,
  // instead of flat colours at a fixed quality.
  int busy_bit_rate = 0;
  int video_pid = 0;      // the video's PID; 0: the first of first_pid's
  int first_colour = 0;  // second s shows SecondColour(s + first_colour)
  bool h264 = false;         // H.264 (libx264, no scene-cut key frames) instead of MPEG-2
  bool open_gop = false;     // H.264: key frames are I pictures with a recovery point, not IDR
  bool video = true;         // without video: audio only, the markers by its clock
  bool audio = false;        // AAC stereo beside the video
  bool mp2 = false;          // the sound as MPEG-1 Layer II, as the recorder writes it, instead of AAC
  int marker_shift = 0;      // each marker this many pictures after its second's first one
  int first_pid = 0x100;     // the streams' PIDs, from this one up
  int tables_version = 0;    // the version of the PAT and the PMT
};

void WriteVideoRecording(const std::filesystem::path& path, const VideoOptions& options = {});

// The PAT of the given programs (number, PMT PID) and the PMT of one program with one MPEG-2 video
// stream, each in one packet with its continuity counter.
std::vector<uint8_t> PatPacket(const std::vector<std::pair<int, int>>& programs, int version, uint8_t cc);
std::vector<uint8_t> PmtPacket(int pmt_pid, int program, int video_pid, int version, uint8_t cc);

// The flat colour of second s as 0xRRGGBB.
uint32_t SecondColour(int s);

// The second whose colour is nearest to `rgb` (0xRRGGBB), or -1 when none is close.
int SecondOfColour(uint32_t rgb);

}  // namespace trimora::testkit
