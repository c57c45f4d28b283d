// Session components: the default session, activation through passwords,
// settings passed to the engine session, setter rules, session names and
// auto-session names.
#include <gmock/gmock.h>

#include <thread>

#include "engine/engine.h"
#include "tests/tables/tables_test_support.h"

namespace pirin::testing {
namespace {

using SessionTest = TablesTest;

TEST_F(SessionTest, DefaultSessionExistsInactiveAndIsFoundByEmptyOrAnyCaseName) {
    EXPECT_EQ(Session().SessionName(), "Default");
    EXPECT_FALSE(Session().Active());
    EXPECT_EQ(Sessions().FindSession(""), &Session());
    EXPECT_EQ(Sessions().FindSession("dEfAuLt"), &Session());
    EXPECT_EQ(Sessions().FindSession("Other"), nullptr);
    EXPECT_EQ(MessageOf([] { Sessions().GetSession("Other"); }), "Session name Other is not valid.");
    EXPECT_EQ(Session().EngineVersion(), "3.17");
    Session().SetEngineVersion("9.9");
    EXPECT_EQ(Session().EngineVersion(), "3.17");
}

TEST_F(SessionTest, AddPasswordOnInactiveDefaultSessionStartsTheEngine) {
    ASSERT_FALSE(EngineInitialized());
    Session().AddPassword("secret");
    EXPECT_TRUE(Session().Active());
    EXPECT_TRUE(EngineInitialized());
    Session().AddPassword("secret");
    EXPECT_THAT(Session().EngineSession()->Passwords(), ::testing::ElementsAre("secret"));
    Session().RemovePassword("secret");
    EXPECT_TRUE(Session().EngineSession()->Passwords().empty());
    // Deactivating the default session finalises the engine.
    Session().SetActive(false);
    EXPECT_FALSE(EngineInitialized());
}

TEST_F(SessionTest, SettingsReachTheEngineSessionOnActivationAndAfter) {
    TPirinSession& session = Session();
    EXPECT_EQ(session.LockRetryCount(), 15);
    EXPECT_EQ(session.LockWaitTime(), 100);
    EXPECT_TRUE(session.KeepConnections());
    EXPECT_EQ(session.RemoteAddress(), "127.0.0.1");
    EXPECT_EQ(session.RemotePort(), 12005);
    session.SetLockRetryCount(3);
    session.SetActive(true);
    TDataSession& engine = *session.EngineSession();
    EXPECT_EQ(engine.LockRetryCount(), 3);
    session.SetLockWaitTime(7);
    session.SetStrictChangeDetection(true);
    session.SetLockProtocol(TLockProtocol::Optimistic);
    EXPECT_EQ(engine.LockWaitTime(), 7);
    EXPECT_TRUE(engine.StrictChangeDetection());
    EXPECT_EQ(engine.LockProtocol(), TLockProtocol::Optimistic);
    EXPECT_EQ(engine.BufferLimits().BlobBytes, 32768);
}

TEST_F(SessionTest, ProgressStepsAbove100AreIgnored) {
    Session().SetActive(true);
    Session().SetProgressSteps(101);
    EXPECT_EQ(Session().ProgressSteps(), 20);
    Session().SetProgressSteps(100);
    EXPECT_EQ(Session().ProgressSteps(), 100);
    EXPECT_EQ(Session().EngineSession()->ProgressSteps(), 100);
}

TEST_F(SessionTest, SettingsReservedToInactiveSessionsRefuseWhileActive) {
    Session().SetActive(true);
    const std::string refusal = "Cannot perform this operation on an active session.";
    EXPECT_EQ(MessageOf([] { Session().SetSessionName("Other"); }), refusal);
    EXPECT_EQ(MessageOf([] { Session().SetRemoteHost("host"); }), refusal);
    EXPECT_EQ(MessageOf([] { Session().SetSessionType(TSessionType::Remote); }), refusal);
    EXPECT_EQ(Session().SessionName(), "Default");
}

TEST_F(SessionTest, SecondSessionHasItsOwnEngineSessionAndStartsTheDefaultOne) {
    TPirinSession& second = Sessions().AddSession("Second");
    EXPECT_EQ(MessageOf([&] { second.SetActive(true); }), "Session name is missing.");
    EXPECT_FALSE(second.Active());
    EXPECT_EQ(MessageOf([&] { second.SetSessionName("DEFAULT"); }),
              "Session name DEFAULT already exists.");
    second.SetSessionName("Work");
    second.AddPassword("x");
    EXPECT_TRUE(Session().Active());
    EXPECT_NE(second.EngineSession(), Session().EngineSession());
    EXPECT_FALSE(Session().EngineSession()->HasPassword("x"));
    Sessions().FreeSession(second);
    EXPECT_EQ(Sessions().FindSession("Work"), nullptr);
}

TEST_F(SessionTest, StoppingTheDefaultSessionStopsTheOthersFirst) {
    TPirinSession& second = Sessions().AddSession("Second");
    second.SetSessionName("Work");
    second.SetActive(true);
    Session().SetActive(false);
    EXPECT_FALSE(second.Active());
    EXPECT_EQ(second.EngineSession(), nullptr);
    second.AddPassword("again");
    EXPECT_TRUE(Session().Active());
    EXPECT_TRUE(second.EngineSession()->HasPassword("again"));
}

TEST_F(SessionTest, LockSessionNestsAndHoldsTheEngineLockUntilTheOutermostUnlock) {
    Session().LockSession();
    Session().LockSession();
    Session().UnlockSession();
    bool taken = true;
    std::thread([&] { taken = Sessions().EngineLock().try_lock(); }).join();
    EXPECT_FALSE(taken);
    Session().UnlockSession();
    std::thread([&] {
        taken = Sessions().EngineLock().try_lock();
        if (taken) Sessions().EngineLock().unlock();
    }).join();
    EXPECT_TRUE(taken);
}

TEST_F(SessionTest, AutoSessionNamesTakeTheLowestFreeNumber) {
    int ownerA = 0;
    int ownerB = 0;
    TPirinSession& a = Sessions().AddSession("Form", &ownerA);
    a.SetAutoSessionName(true);
    EXPECT_EQ(a.SessionName(), "Form_1");
    EXPECT_EQ(MessageOf([&] { a.SetSessionName("X"); }),
              "Cannot perform this operation on the active auto-session.");
    EXPECT_EQ(MessageOf([&] { Sessions().AddSession("More", &ownerA); }),
              "This auto-session already exists.");
    TPirinSession& b = Sessions().AddSession("Dialog", &ownerB);
    TPirinDatabase database(&ownerB);
    b.SetAutoSessionName(true);
    EXPECT_EQ(b.SessionName(), "Dialog_2");
    EXPECT_EQ(database.SessionName(), "Dialog_2");
    EXPECT_EQ(&database.Session(), &b);
    a.SetAutoSessionName(false);
    TPirinSession& c = Sessions().AddSession("Third", &ownerA);
    EXPECT_EQ(MessageOf([&] { c.SetAutoSessionName(true); }),
              "The active auto-session can be the only active session.");
    Sessions().FreeSession(a);
    c.SetAutoSessionName(true);
    EXPECT_EQ(c.SessionName(), "Third_1");
}

TEST_F(SessionTest, ActiveIsAppliedWhenLoadingEnds) {
    Session().BeginLoading();
    Session().SetActive(true);
    EXPECT_FALSE(Session().Active());
    Session().EndLoading();
    EXPECT_TRUE(Session().Active());
}

}  // namespace
}  // namespace pirin::testing
