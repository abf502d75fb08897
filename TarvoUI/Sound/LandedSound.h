#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The short click the shelf plays when something lands on it: two decaying
// tones and a burst of noise through a one-pole low-pass, normalised in
// loudness. The shipped resource "landed.wav" is written from these samples
// at build time (24-bit mono PCM), so the two can never drift apart.
namespace tarvo::LandedSound {

inline constexpr int sampleRate = 44100;
inline constexpr double durationSeconds = 0.06;
inline constexpr int frameCount = 2646; // sampleRate x durationSeconds
inline constexpr int bitDepth = 24;
inline constexpr double targetRMSdBFS = -22;
// Peaks are never louder than this fraction of full scale.
inline constexpr double peakLimit = 0.98;

// The frameCount samples of the sound, the same on every run.
std::vector<float> samples();

// `buffer` scaled to `targetdB` RMS, unless that would lift its peak past
// peakLimit, in which case the peak lands on peakLimit. An empty or silent
// buffer comes back unchanged.
std::vector<float> normalised(std::span<const float> buffer, double targetdB);

// 20 log10(rms); minus infinity for an empty or silent buffer.
double rmsdBFS(std::span<const float> buffer);
// The largest absolute sample; 0 for an empty buffer.
double peak(std::span<const float> buffer);

// A RIFF/WAVE file of mono 24-bit little-endian PCM at sampleRate.
std::vector<std::uint8_t> wavData(std::span<const float> buffer);

struct Decoded {
    int sampleRate = 0;
    int channels = 0;
    int bitDepth = 0;
    std::vector<float> samples; // the first channel, in [-1, 1)
};
// Reads the PCM WAV files wavData writes (and 16-bit ones); none for anything
// else or for a file cut short.
std::optional<Decoded> readWav(std::span<const std::uint8_t> data);

// Writes wavData(samples()) to `path`; false when it cannot be written.
bool write(const std::string& path);

} // namespace tarvo::LandedSound
