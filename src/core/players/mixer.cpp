#include "core/players/mixer.hpp"

#include <mutex>

namespace mev {

namespace {
std::mutex g_mixerFactoryMutex;
MixerFactory g_mixerFactory;
} // namespace

void SetMixerFactory(MixerFactory factory)
{
    std::lock_guard lock(g_mixerFactoryMutex);
    g_mixerFactory = std::move(factory);
}

std::unique_ptr<IMixer> CreateMixer()
{
    MixerFactory factory;
    {
        std::lock_guard lock(g_mixerFactoryMutex);
        factory = g_mixerFactory;
    }
    return factory ? factory() : nullptr;
}

} // namespace mev
