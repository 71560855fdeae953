#pragma once

#include <memory>

#include "core/players/mixer.hpp"

namespace mev {

// The master volume as a percentage: the arithmetic between the mixer control's raw
// values and the slider's 0..100, and the rule that keeps the slider from jittering.
class CMixerVolume {
public:
    static constexpr int MIN_PERCENT = 0;
    static constexpr int MAX_PERCENT = 100;
    static constexpr int PAGE_SIZE = 10;
    static constexpr int KEY_STEP = 2;        // Ctrl+Left/Right and one wheel turn
    static constexpr int SYNC_DISTANCE = 3;   // smaller differences are rounding

    // mixer may be nullptr: then nothing is read or written.
    explicit CMixerVolume(std::unique_ptr<IMixer> mixer);

    bool IsAvailable() const { return m_mixer != nullptr && m_mixer->IsOpen(); }
    IMixer* GetMixer() const { return m_mixer.get(); }

    // The mixer's volume in percent; 0 without a mixer or control.
    int GetVolumePercent() const;
    // Writes percent, clamped to 0..100; false when nothing could be written.
    bool WritePercent(int percent) const;

    static int ClampPercent(int percent);
    // value * 100 / maximum and percent * maximum / 100, each rounded to nearest.
    static int ValueToPercent(unsigned long value, unsigned long maximum);
    static unsigned long PercentToValue(int percent, unsigned long maximum);
    // True when a slider at position should move to the mixer's percent.
    static bool IsOutOfStep(int position, int mixerPercent);

private:
    std::unique_ptr<IMixer> m_mixer;
};

} // namespace mev
