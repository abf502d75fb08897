#include "LandedSound.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <numbers>

namespace tarvo::LandedSound {

namespace {

double sumOfSquares(std::span<const float> buffer) {
    double sum = 0;
    for (const float x : buffer)
        sum += double(x) * double(x);
    return sum;
}

void putLE(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(std::uint8_t((value >> (8 * i)) & 0xFF));
}

std::uint32_t getLE(std::span<const std::uint8_t> data, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= std::uint32_t(data[at + std::size_t(i)]) << (8 * i);
    return value;
}

bool tagAt(std::span<const std::uint8_t> data, std::size_t at, const char* tag) {
    return std::equal(tag, tag + 4, data.begin() + std::ptrdiff_t(at));
}

} // namespace

std::vector<float> samples() {
    std::vector<float> out;
    out.reserve(frameCount);
    std::uint64_t state = 0x2545F4914F6CDD1DULL;
    double y = 0;
    const double twoPi = 2 * std::numbers::pi;
    for (int n = 0; n < frameCount; ++n) {
        const double t = double(n) / sampleRate;
        const double a = 0.55 * std::sin(twoPi * 2100 * t) * std::exp(-90 * t);
        const double b = 0.25 * std::sin(twoPi * 3450 * t) * std::exp(-130 * t);
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        const double noise = double(static_cast<std::int64_t>(state)) * std::ldexp(1.0, -63);
        const double c = 0.6 * noise * std::exp(-700 * t);
        y += (a + b + c - y) * 0.35;
        const double attack = std::min(t / 0.001, 1.0);
        out.push_back(float(y * attack * std::exp(-55 * t)));
    }
    return normalised(out, targetRMSdBFS);
}

std::vector<float> normalised(std::span<const float> buffer, double targetdB) {
    std::vector<float> out(buffer.begin(), buffer.end());
    const double squares = sumOfSquares(buffer);
    if (buffer.empty() || squares == 0)
        return out;
    const double rms = std::sqrt(squares / double(buffer.size()));
    double gain = std::pow(10.0, targetdB / 20) / rms;
    const double top = peak(buffer);
    if (gain * top > peakLimit)
        gain = peakLimit / top;
    for (float& x : out)
        x = float(double(x) * gain);
    return out;
}

double rmsdBFS(std::span<const float> buffer) {
    const double squares = sumOfSquares(buffer);
    if (buffer.empty() || squares == 0)
        return -std::numeric_limits<double>::infinity();
    return 20 * std::log10(std::sqrt(squares / double(buffer.size())));
}

double peak(std::span<const float> buffer) {
    double top = 0;
    for (const float x : buffer)
        top = std::max(top, std::abs(double(x)));
    return top;
}

std::vector<std::uint8_t> wavData(std::span<const float> buffer) {
    constexpr int bytesPerSample = bitDepth / 8;
    const auto dataBytes = std::uint32_t(buffer.size() * bytesPerSample);
    std::vector<std::uint8_t> out;
    out.reserve(44 + dataBytes);
    auto tag = [&](const char* name) {
        for (int i = 0; i < 4; ++i)
            out.push_back(std::uint8_t(name[i]));
    };
    tag("RIFF");
    putLE(out, 36 + dataBytes, 4);
    tag("WAVE");
    tag("fmt ");
    putLE(out, 16, 4);
    putLE(out, 1, 2); // integer PCM
    putLE(out, 1, 2); // mono
    putLE(out, sampleRate, 4);
    putLE(out, sampleRate * bytesPerSample, 4);
    putLE(out, bytesPerSample, 2);
    putLE(out, bitDepth, 2);
    tag("data");
    putLE(out, dataBytes, 4);
    constexpr double fullScale = 8388608.0; // 2^23
    for (const float x : buffer) {
        const double scaled = std::round(double(x) * fullScale);
        const auto value = std::int32_t(std::clamp(scaled, -fullScale, fullScale - 1));
        putLE(out, std::uint32_t(value), 3);
    }
    return out;
}

std::optional<Decoded> readWav(std::span<const std::uint8_t> data) {
    if (data.size() < 12 || !tagAt(data, 0, "RIFF") || !tagAt(data, 8, "WAVE"))
        return std::nullopt;
    Decoded decoded;
    bool haveFormat = false;
    std::size_t at = 12;
    while (at + 8 <= data.size()) {
        const std::size_t size = getLE(data, at + 4, 4);
        const std::size_t body = at + 8;
        if (size > data.size() - body)
            return std::nullopt;
        if (tagAt(data, at, "fmt ")) {
            if (size < 16 || getLE(data, body, 2) != 1)
                return std::nullopt;
            decoded.channels = int(getLE(data, body + 2, 2));
            decoded.sampleRate = int(getLE(data, body + 4, 4));
            decoded.bitDepth = int(getLE(data, body + 14, 2));
            if (decoded.channels < 1 || (decoded.bitDepth != 16 && decoded.bitDepth != 24))
                return std::nullopt;
            haveFormat = true;
        } else if (tagAt(data, at, "data")) {
            if (!haveFormat)
                return std::nullopt;
            const int bytes = decoded.bitDepth / 8;
            const std::size_t frameBytes = std::size_t(bytes) * std::size_t(decoded.channels);
            const double fullScale = std::ldexp(1.0, decoded.bitDepth - 1);
            for (std::size_t frame = 0; frame + frameBytes <= size; frame += frameBytes) {
                std::uint32_t raw = getLE(data, body + frame, bytes);
                const std::uint32_t sign = 1u << (decoded.bitDepth - 1);
                const auto value = std::int32_t(raw ^ sign) - std::int32_t(sign);
                decoded.samples.push_back(float(double(value) / fullScale));
            }
            return decoded;
        }
        at = body + size + (size & 1);
    }
    return std::nullopt;
}

bool write(const std::string& path) {
    const auto data = wavData(samples());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    out.close();
    return bool(out);
}

} // namespace tarvo::LandedSound
