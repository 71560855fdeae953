#include "platform/alsa_mixer.hpp"

#include <glib-unix.h>

namespace mev {

namespace {

// A missing device or sound server is an ordinary state here, not worth a line on stderr.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

} // namespace

CAlsaMixer::CAlsaMixer(std::string device, std::string element) : m_element(std::move(element))
{
    snd_lib_error_set_handler(&IgnoreAlsaError);
    snd_mixer_t* handle = nullptr;
    if (snd_mixer_open(&handle, 0) < 0)
        return;
    if (snd_mixer_attach(handle, device.c_str()) < 0 || snd_mixer_selem_register(handle, nullptr, nullptr) < 0 ||
        snd_mixer_load(handle) < 0) {
        snd_mixer_close(handle);
        return;
    }
    m_handle = handle;
}

CAlsaMixer::~CAlsaMixer()
{
    StopWatching();
    if (m_handle != nullptr)
        snd_mixer_close(m_handle);
}

snd_mixer_elem_t* CAlsaMixer::FindControl()
{
    if (m_handle == nullptr)
        return nullptr;
    // Pending changes first, so that a value read is the current one.
    snd_mixer_handle_events(m_handle);
    snd_mixer_selem_id_t* id = nullptr;
    snd_mixer_selem_id_alloca(&id);
    snd_mixer_selem_id_set_index(id, 0);
    snd_mixer_selem_id_set_name(id, m_element.c_str());
    snd_mixer_elem_t* elem = snd_mixer_find_selem(m_handle, id);
    if (elem == nullptr || !snd_mixer_selem_has_playback_volume(elem))
        return nullptr;
    return elem;
}

std::optional<unsigned long> CAlsaMixer::GetMaximum()
{
    snd_mixer_elem_t* elem = FindControl();
    long minimum = 0, maximum = 0;
    if (elem == nullptr || snd_mixer_selem_get_playback_volume_range(elem, &minimum, &maximum) < 0 || maximum <= 0)
        return std::nullopt;
    return static_cast<unsigned long>(maximum);
}

std::optional<unsigned long> CAlsaMixer::ReadValue()
{
    snd_mixer_elem_t* elem = FindControl();
    long value = 0;
    if (elem == nullptr || snd_mixer_selem_get_playback_volume(elem, SND_MIXER_SCHN_FRONT_LEFT, &value) < 0)
        return std::nullopt;
    return static_cast<unsigned long>(value < 0 ? 0 : value);
}

bool CAlsaMixer::WriteValue(unsigned long value)
{
    snd_mixer_elem_t* elem = FindControl();
    return elem != nullptr && snd_mixer_selem_set_playback_volume_all(elem, static_cast<long>(value)) >= 0;
}

void CAlsaMixer::SetChangeHandler(std::function<void()> handler)
{
    StopWatching();
    m_handler = std::move(handler);
    if (!m_handler || m_handle == nullptr)
        return;
    const int count = snd_mixer_poll_descriptors_count(m_handle);
    if (count <= 0)
        return;
    std::vector<pollfd> fds(static_cast<std::size_t>(count));
    const int filled = snd_mixer_poll_descriptors(m_handle, fds.data(), static_cast<unsigned>(count));
    for (int i = 0; i < filled; ++i) {
        const auto condition = static_cast<GIOCondition>(fds[static_cast<std::size_t>(i)].events);
        m_watches.push_back(g_unix_fd_add(fds[static_cast<std::size_t>(i)].fd, condition, &CAlsaMixer::OnMixerEvent, this));
    }
}

void CAlsaMixer::StopWatching()
{
    for (guint watch : m_watches)
        g_source_remove(watch);
    m_watches.clear();
}

gboolean CAlsaMixer::OnMixerEvent(gint, GIOCondition condition, gpointer self)
{
    auto* mixer = static_cast<CAlsaMixer*>(self);
    if ((condition & (G_IO_ERR | G_IO_HUP | G_IO_NVAL)) != 0) {
        // The device or the sound server went away: stop listening; reads find no control.
        const guint current = g_source_get_id(g_main_current_source());
        for (guint watch : mixer->m_watches) {
            if (watch != current)
                g_source_remove(watch);
        }
        mixer->m_watches.clear();
        return G_SOURCE_REMOVE;
    }
    snd_mixer_handle_events(mixer->m_handle);
    if (mixer->m_handler)
        mixer->m_handler();
    return G_SOURCE_CONTINUE;
}

} // namespace mev
