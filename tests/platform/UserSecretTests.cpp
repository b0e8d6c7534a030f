#include <gtest/gtest.h>

#include "platform/InstanceLock.h"
#include "platform/UserSecret.h"
#include "support/TestHelpers.h"

using testing_support::ScopedHome;

//==============================================================================
TEST (SingleInstance, OneLockPerUserNotPerMachine)
{
    auto home = std::make_unique<ScopedHome>();
    auto first = std::make_unique<InstanceLock>();
    EXPECT_EQ (first->getState(), InstanceLock::State::held);
    EXPECT_EQ (InstanceLock().getState(), InstanceLock::State::heldElsewhere);

    {
        // Another user (another HOME) starts while the first one runs.
        ScopedHome otherUser;
        InstanceLock other;
        EXPECT_EQ (other.getState(), InstanceLock::State::held);
    }

    first.reset();
    EXPECT_EQ (InstanceLock().getState(), InstanceLock::State::held);
}

TEST (UserSecret, HmacSha256MatchesThePublishedVectors)
{
    auto hex = [] (const juce::MemoryBlock& block) { return juce::String::toHexString (block.getData(), (int) block.getSize(), 0); };
    auto bytes = [] (const char* text) { return juce::MemoryBlock (text, strlen (text)); };

    // RFC 4231, cases 2 and 6 (a key longer than the block is hashed first).
    EXPECT_EQ (hex (UserSecret::hmacSha256 (bytes ("Jefe"), bytes ("what do ya want for nothing?"))),
               "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");

    juce::MemoryBlock longKey (131);
    longKey.fillWith (0xaa);
    EXPECT_EQ (hex (UserSecret::hmacSha256 (longKey, bytes ("Test Using Larger Than Block-Size Key - Hash Key First"))),
               "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
}
