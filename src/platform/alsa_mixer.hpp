#pragma once

#include <string>
#include <vector>

#include <alsa/asoundlib.h>
#include <glib.h>

#include "core/players/mixer.hpp"

namespace mev {

// The ALSA simple-mixer element "Master" of the "default" device: with PulseAudio or
// PipeWire that is the sound server's master volume. Changes are watched on the GLib
// main loop through the mixer's poll descriptors.
class CAlsaMixer : public IMixer {
public:
    static constexpr const char* DEFAULT_DEVICE = "default";
    static constexpr const char* MASTER_ELEMENT = "Master";

    explicit CAlsaMixer(std::string device = DEFAULT_DEVICE, std::string element = MASTER_ELEMENT);
    ~CAlsaMixer() override;
    CAlsaMixer(const CAlsaMixer&) = delete;
    CAlsaMixer& operator=(const CAlsaMixer&) = delete;

    bool IsOpen() const override { return m_handle != nullptr; }
    std::optional<unsigned long> GetMaximum() override;
    std::optional<unsigned long> ReadValue() override;
    bool WriteValue(unsigned long value) override;
    void SetChangeHandler(std::function<void()> handler) override;

private:
    snd_mixer_elem_t* FindControl();
    void StopWatching();
    static gboolean OnMixerEvent(gint fd, GIOCondition condition, gpointer self);

    std::string m_element;
    snd_mixer_t* m_handle = nullptr;
    std::function<void()> m_handler;
    std::vector<guint> m_watches;
};

} // namespace mev
