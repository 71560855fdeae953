#include "core/players/mixer_volume.hpp"

#include <gtest/gtest.h>

namespace mev {
namespace {

// A volume control that holds its value; closed or without a control on request.
class CFakeMixer : public IMixer {
public:
    bool IsOpen() const override { return open; }
    std::optional<unsigned long> GetMaximum() override { return control ? std::optional(maximum) : std::nullopt; }
    std::optional<unsigned long> ReadValue() override { return control ? std::optional(value) : std::nullopt; }
    bool WriteValue(unsigned long v) override
    {
        ++writes;
        if (control)
            value = v;
        return control;
    }
    void SetChangeHandler(std::function<void()>) override {}

    bool open = true;
    bool control = true;
    unsigned long maximum = 65535;
    unsigned long value = 0;
    int writes = 0;
};

TEST(MixerVolume, ConversionsRoundToNearest)
{
    struct Case {
        unsigned long maximum;
        int percent;
        unsigned long value;
    };
    // Each value reads back as its percentage.
    for (const Case& c : {Case{65535, 33, 21627}, Case{65535, 100, 65535}, Case{65535, 0, 0}, Case{65536, 33, 21627},
                          Case{65536, 1, 655}, Case{100, 37, 37}, Case{31, 3, 1},
                          Case{4000000000ul, 70, 2800000000ul}}) {
        EXPECT_EQ(CMixerVolume::PercentToValue(c.percent, c.maximum), c.value) << c.maximum << " " << c.percent;
        EXPECT_EQ(CMixerVolume::ValueToPercent(c.value, c.maximum), c.percent) << c.maximum << " " << c.value;
    }
    EXPECT_EQ(CMixerVolume::ValueToPercent(21626, 65535), 33);
    EXPECT_EQ(CMixerVolume::ValueToPercent(5, 0), 0);
    EXPECT_EQ(CMixerVolume::ValueToPercent(70000, 65535), 100);
    EXPECT_EQ(CMixerVolume::PercentToValue(101, 65535), 65535u);
    EXPECT_EQ(CMixerVolume::PercentToValue(-1, 65535), 0u);
}

TEST(MixerVolume, ThreePointRule)
{
    EXPECT_FALSE(CMixerVolume::IsOutOfStep(50, 51));
    EXPECT_FALSE(CMixerVolume::IsOutOfStep(50, 48));
    EXPECT_TRUE(CMixerVolume::IsOutOfStep(50, 53));
    EXPECT_TRUE(CMixerVolume::IsOutOfStep(50, 47));
    EXPECT_TRUE(CMixerVolume::IsOutOfStep(50, 60));
}

TEST(MixerVolume, ReadsAndWritesThroughTheMixerOrNotAtAll)
{
    auto owned = std::make_unique<CFakeMixer>();
    CFakeMixer& mixer = *owned;
    CMixerVolume volume(std::move(owned));
    EXPECT_TRUE(volume.IsAvailable());
    EXPECT_TRUE(volume.WritePercent(33));
    EXPECT_EQ(mixer.value, 21627u);
    EXPECT_EQ(volume.GetVolumePercent(), 33);
    EXPECT_TRUE(volume.WritePercent(130));
    EXPECT_EQ(volume.GetVolumePercent(), 100);

    mixer.control = false;  // the control went away: reads 0, writes fail
    EXPECT_EQ(volume.GetVolumePercent(), 0);
    EXPECT_FALSE(volume.WritePercent(50));

    mixer.open = false;
    mixer.control = true;
    mixer.writes = 0;
    EXPECT_FALSE(volume.IsAvailable());
    EXPECT_FALSE(volume.WritePercent(50));
    EXPECT_EQ(mixer.writes, 0);

    CMixerVolume none(nullptr);
    EXPECT_FALSE(none.IsAvailable());
    EXPECT_EQ(none.GetVolumePercent(), 0);
    EXPECT_FALSE(none.WritePercent(10));
}

} // namespace
} // namespace mev
