#include "core/players/mixer_volume.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace mev {

CMixerVolume::CMixerVolume(std::unique_ptr<IMixer> mixer) : m_mixer(std::move(mixer)) {}

int CMixerVolume::GetVolumePercent() const
{
    if (!IsAvailable())
        return 0;
    const auto maximum = m_mixer->GetMaximum();
    const auto value = m_mixer->ReadValue();
    if (!maximum || !value)
        return 0;
    return ValueToPercent(*value, *maximum);
}

bool CMixerVolume::WritePercent(int percent) const
{
    if (!IsAvailable())
        return false;
    const auto maximum = m_mixer->GetMaximum();
    if (!maximum)
        return false;
    return m_mixer->WriteValue(PercentToValue(percent, *maximum));
}

int CMixerVolume::ClampPercent(int percent)
{
    return std::clamp(percent, MIN_PERCENT, MAX_PERCENT);
}

int CMixerVolume::ValueToPercent(unsigned long value, unsigned long maximum)
{
    if (maximum == 0)
        return 0;
    // Rounds to nearest like printing with no decimals (halves to even).
    const double percent = std::nearbyint(static_cast<double>(value) * 100.0 / static_cast<double>(maximum));
    return ClampPercent(static_cast<int>(std::min(percent, 1000.0)));
}

unsigned long CMixerVolume::PercentToValue(int percent, unsigned long maximum)
{
    // The product in 64 bits: a control with a large range must not wrap around.
    const std::uint64_t product = static_cast<std::uint64_t>(ClampPercent(percent)) * maximum;
    const double value = std::nearbyint(static_cast<double>(product) * 0.01);
    return std::min(static_cast<unsigned long>(value), maximum);
}

bool CMixerVolume::IsOutOfStep(int position, int mixerPercent)
{
    return std::abs(position - mixerPercent) >= SYNC_DISTANCE;
}

} // namespace mev
