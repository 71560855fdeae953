#pragma once

#include <functional>
#include <memory>
#include <optional>

namespace mev {

// The master playback volume of the system's sound device, as the raw value of its
// volume control. Nothing but the device is kept open: every read and write looks the
// control up again, so a control that comes or goes is noticed.
class IMixer {
public:
    virtual ~IMixer() = default;

    // False when no device could be opened; such a mixer stays closed.
    virtual bool IsOpen() const = 0;
    // The control's upper bound (its lower bound counts as 0); nothing without a control.
    virtual std::optional<unsigned long> GetMaximum() = 0;
    // The current value of all channels (the first channel's); nothing without a control.
    virtual std::optional<unsigned long> ReadValue() = 0;
    // Sets every channel; false without a control.
    virtual bool WriteValue(unsigned long value) = 0;
    // Called on the main loop whenever the control changes, also by another program.
    // An empty function stops the calls.
    virtual void SetChangeHandler(std::function<void()> handler) = 0;
};

using MixerFactory = std::function<std::unique_ptr<IMixer>()>;

// The platform installs the way to open the system mixer; tests install fakes. Without
// a factory CreateMixer gives nullptr.
void SetMixerFactory(MixerFactory factory);
std::unique_ptr<IMixer> CreateMixer();

} // namespace mev
