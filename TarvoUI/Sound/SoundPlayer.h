#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace tarvo {

class SoundOutput;

// Plays the landing sound when the user wants it. The sound is read once from
// the program's resources; a missing or unreadable resource leaves the player
// silent without a word. Main thread.
class SoundPlayer final {
public:
    static constexpr const char* landedResource = ":/Tarvo/landed.wav";

    // `enabled` is asked at every landing, so a changed preference takes
    // effect at the next one.
    SoundPlayer(std::function<bool()> enabled, std::unique_ptr<SoundOutput> output,
                const QString& resource = QString::fromLatin1(landedResource));
    ~SoundPlayer();
    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;

    // A landing while the sound still plays starts it again from the top
    // rather than layering a second one over it.
    void playLanded();

    bool isLoaded() const { return !m_sound.empty(); }

private:
    std::vector<float> m_sound;
    int m_sampleRate = 0;
    std::function<bool()> m_enabled;
    std::unique_ptr<SoundOutput> m_output;
};

// Trackpad feedback has no counterpart on this desktop: the calls stay where
// the feedback belongs and do nothing.
namespace Haptics {
inline void dragEnteredCatch() {}
inline void landed() {}
inline void pickedUp() {}
} // namespace Haptics

} // namespace tarvo
