#include "setuptool/random_mac.h"

#include <gtest/gtest.h>

namespace setuptool {
namespace {

using Mac = std::array<uint8_t, 6>;

// The generator written out independently in 64-bit arithmetic, without the byte-0 mend.
Mac RawDraws(int64_t seconds) {
    uint64_t state = static_cast<uint64_t>(seconds) & 0xFFFFFFFFu;
    Mac mac{};
    for (int i = 0; i < 3; ++i) {
        state = (state * 214013u + 2531011u) % (uint64_t{1} << 32);
        const unsigned r = static_cast<unsigned>((state >> 16) & 0x7FFF);
        mac[2 * i] = static_cast<uint8_t>(r % 256);
        mac[2 * i + 1] = static_cast<uint8_t>(r / 256);
    }
    return mac;
}

TEST(RandomMac, KnownVectors) {
    // Seed 0: the first state is 2531011 = 0x269EC3, so r1 = 0x26; the draws are 38, 7719, 21238.
    EXPECT_EQ(RawDraws(0), (Mac{0x26, 0x00, 0x27, 0x1E, 0xF6, 0x52}));
    EXPECT_EQ(RandomMac(0), (Mac{0x26, 0x00, 0x27, 0x1E, 0xF6, 0x52}));
    // Seed 1: draws 41, 18467, 6334; byte 0 0x29 is a group address and becomes 0x2A.
    EXPECT_EQ(RandomMac(1), (Mac{0x2A, 0x00, 0x23, 0x48, 0xBE, 0x18}));
    EXPECT_EQ(RandomMac(1700000000), (Mac{0x2E, 0x6F, 0x03, 0x04, 0x87, 0x58}));
    // Only the low 32 bits of the time seed the generator.
    EXPECT_EQ(RandomMac((int64_t{1} << 32) + 1), RandomMac(1));
    EXPECT_EQ(RandomMac(-1), (Mac{0x22, 0x00, 0x2B, 0x74, 0x2E, 0x0D}));
}

TEST(RandomMac, SameSecondSameAddressAndByteZeroIsUnicastLocal) {
    for (int64_t s = 1700000000; s < 1700000000 + 5000; ++s) {
        const Mac mac = RandomMac(s);
        ASSERT_EQ(mac, RandomMac(s));
        const Mac raw = RawDraws(s);
        ASSERT_EQ(mac[0] & 0x01, 0) << s;     // unicast
        ASSERT_EQ(mac[0] & 0x02, 0x02) << s;  // locally administered
        ASSERT_EQ(mac[0] & 0xFC, raw[0] & 0xFC) << s;
        for (int i = 1; i < 6; ++i) ASSERT_EQ(mac[i], raw[i]) << s << " byte " << i;
        ASSERT_LE(mac[1], 0x7F);
        ASSERT_LE(mac[3], 0x7F);
        ASSERT_LE(mac[5], 0x7F);
    }
}

}  // namespace
}  // namespace setuptool
