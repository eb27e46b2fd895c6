// The voice, alarm and factory-restore frames.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/factory_frames.h"
#include "commands/voice_frames.h"

namespace commands {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(VoiceFrames, StepsAndListValues) {
    EXPECT_EQ(VolumeUpFrame(), (Bytes{0x1F, 0x1B, 0x79, 0x97, 0x00, 0x00, 0x00}));
    EXPECT_EQ(VolumeDownFrame(), (Bytes{0x1F, 0x1B, 0x7A, 0x98, 0x00, 0x00, 0x00}));
    EXPECT_EQ(AlarmVoiceFrame(7), (Bytes{0x1F, 0x1B, 0x7B, 0xAC, 0x07, 0x00, 0x00}));
    EXPECT_EQ(AlarmVoiceFrame(-1), (Bytes{0x1F, 0x1B, 0x7B, 0xAC, 0xFF, 0x00, 0x00}));
    EXPECT_EQ(AlarmIntervalFrame(6), (Bytes{0x1F, 0x1B, 0x7D, 0xCB, 0x06, 0x00, 0x00}));
    EXPECT_EQ(AlarmIntervalFrame(0), (Bytes{0x1F, 0x1B, 0x7D, 0xCB, 0x00, 0x00, 0x00}));
    EXPECT_EQ(AlarmIntervalFrame(-1), (Bytes{0x1F, 0x1B, 0x7D, 0xCB, 0xFF, 0x00, 0x00}));
}

struct FactoryCase {
    FactorySet set;
    LocalDate date;
    const char* text;
};

TEST(FactoryFrame, HeaderDateAndMarker) {
    const Bytes quietHead{0x1F, 0x1B, 0x76, 0xCA, 0x00, 0x01, 0x02, 0x01,
                          0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    const Bytes soundHead{0x1F, 0x1B, 0x77, 0xCA, 0x00, 0x01, 0x02, 0x01,
                          0x00, 0x58, 0x00, 0x00, 0x00, 0x07, 0x00, 0x06};
    const FactoryCase cases[] = {
        {FactorySet::Quiet, {2026, 12, 25}, "2026-12-25"},
        {FactorySet::SoundAndLight, {2027, 1, 1}, "2027- 1- 1"},
        {FactorySet::Quiet, {2026, 3, 8}, "2026- 3- 8"},
    };
    for (const FactoryCase& c : cases) {
        SCOPED_TRACE(c.text);
        Bytes expected = c.set == FactorySet::Quiet ? quietHead : soundHead;
        expected.insert(expected.end(), c.text, c.text + 10);
        expected.resize(48, 0x00);
        expected[33] = 0x01;
        EXPECT_EQ(FactoryFrame(c.set, c.date), expected);
    }
}

TEST(FactoryFrame, LocalDateFollowsTheZone) {
    // 2026-12-25 12:00 UTC is the 25th in every zone from UTC-11 to UTC+11.
    const LocalDate date = LocalDateOf(1798200000);
    EXPECT_EQ(date.year, 2026);
    EXPECT_EQ(date.month, 12);
    EXPECT_EQ(date.day, 25);
}

}  // namespace
}  // namespace commands
