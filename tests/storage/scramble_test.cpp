#include "storage/scramble.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "errors/engine_error.h"
#include "storage/password_gate.h"

namespace pirin {
namespace {

TEST(Scramble, TenZeroBytesShowTheTwoCounters) {
    std::vector<std::uint8_t> bytes(10, 0);
    ScrambleBytes(bytes.data(), bytes.size(), kDataSeeds);
    std::uint8_t a = 0x5B, b = 0xA6;
    for (std::size_t i = 0; i < bytes.size(); ++i, ++a, --b) EXPECT_EQ(bytes[i], a ^ b) << i;
    EXPECT_EQ(bytes[0], 0x5B ^ 0xA6);
    EXPECT_EQ(bytes[1], 0x5C ^ 0xA5);
}

// Word-wise XOR, tails, the 256-byte period and a change of seeds between
// calls all give the bytes of the two counters.
TEST(Scramble, EveryLengthAndSeedPairMatchesTheCounters) {
    for (const TScrambleSeeds seeds : {kDataSeeds, kStringSeeds, TScrambleSeeds{0xFF, 0x00}}) {
        for (const std::size_t length : {1u, 7u, 8u, 9u, 255u, 256u, 257u, 700u, 4096u}) {
            std::vector<std::uint8_t> bytes(length);
            std::iota(bytes.begin(), bytes.end(), 0);
            ScrambleBytes(bytes.data(), bytes.size(), seeds);
            std::uint8_t a = seeds.First, b = seeds.Second;
            for (std::size_t i = 0; i < length; ++i, ++a, --b)
                ASSERT_EQ(bytes[i], static_cast<std::uint8_t>(i) ^ a ^ b) << length << " at " << i;
        }
    }
}

TEST(Scramble, IsItsOwnInverseAndRestartsFromTheSeedsEachCall) {
    std::vector<std::uint8_t> clear(700);
    std::iota(clear.begin(), clear.end(), 0);
    auto once = clear;
    ScrambleBytes(once.data(), once.size(), kStringSeeds);
    EXPECT_NE(once, clear);
    auto twice = once;
    ScrambleBytes(twice.data(), twice.size(), kStringSeeds);
    EXPECT_EQ(twice, clear);
    // Two equal slots scramble alike, since each run starts from the seeds.
    auto again = clear;
    ScrambleBytes(again.data(), again.size(), kStringSeeds);
    EXPECT_EQ(again, once);
}

TEST(Scramble, LengthsWithZeroLow16BitsAreLeftAlone) {
    std::vector<std::uint8_t> exact(65536, 0x11);
    ScrambleBytes(exact.data(), exact.size(), kDataSeeds);
    EXPECT_EQ(exact, std::vector<std::uint8_t>(65536, 0x11));

    std::vector<std::uint8_t> longer(65537, 0);
    ScrambleBytes(longer.data(), longer.size(), kDataSeeds);
    // Scrambled in full; the counters wrap every 256 bytes.
    EXPECT_EQ(longer[0], 0x5B ^ 0xA6);
    EXPECT_EQ(longer[65536], longer[0]);
    EXPECT_EQ(longer[256 + 7], longer[7]);
}

class TestSession : public TPasswordSource {
public:
    std::vector<std::string> List;
    std::vector<std::string> Offered;  // what each prompt registers, in turn
    int Prompts = 0;
    const std::vector<std::string>& Passwords() const override { return List; }
    bool PromptForPassword() override {
        if (Prompts >= static_cast<int>(Offered.size())) return false;
        List.push_back(Offered[Prompts++]);
        return true;
    }
};

int GateCode(bool encrypted, std::string_view stored, TestSession& session) {
    try {
        PassPasswordGate(encrypted, stored, session, "Bg_En");
        return 0;
    } catch (const EPirinEngineError& e) {
        EXPECT_EQ(e.ErrorTableName, "Bg_En");
        return e.ErrorCode;
    }
}

TEST(PasswordGate, ComparesCaseSensitivelyAndPromptsUntilDeclined) {
    TestSession plain;
    EXPECT_EQ(GateCode(false, "secret", plain), 0);
    EXPECT_EQ(plain.Prompts, 0);

    TestSession registered;
    registered.List = {"other", "secret"};
    EXPECT_EQ(GateCode(true, "secret", registered), 0);
    EXPECT_EQ(registered.Prompts, 0);

    TestSession wrongCase;
    wrongCase.List = {"SECRET"};
    EXPECT_EQ(GateCode(true, "secret", wrongCase), PIRIN_NOTSUFFTABLERIGHTS);

    TestSession prompted;  // a wrong answer prompts again; the right one passes
    prompted.Offered = {"guess", "secret"};
    EXPECT_EQ(GateCode(true, "secret", prompted), 0);
    EXPECT_EQ(prompted.Prompts, 2);

    TestSession declined;
    declined.Offered = {"guess"};
    EXPECT_EQ(GateCode(true, "secret", declined), PIRIN_NOTSUFFTABLERIGHTS);
    EXPECT_EQ(declined.Prompts, 1);
}

}  // namespace
}  // namespace pirin
