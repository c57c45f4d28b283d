// Engine globals, sessions and databases: the object tree above the tables.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/engine.h"
#include "errors/engine_error.h"

namespace pirin {
namespace {

class EngineGlobalsTest : public ::testing::Test {
  protected:
    void TearDown() override { FinalizeEngine(); }
};

TEST_F(EngineGlobalsTest, DefaultSessionExistsExactlyWhileInitialised) {
    FinalizeEngine();
    try {
        (void)DefaultSession();
        FAIL() << "no error before InitializeEngine";
    } catch (const EPirinEngineError& error) {
        EXPECT_EQ(error.ErrorCode, PIRIN_NOTINITIALIZED);
    }
    InitializeEngine();
    TDataSession& first = DefaultSession();
    first.AddPassword("kept");
    InitializeEngine();  // a second call changes nothing
    EXPECT_EQ(&DefaultSession(), &first);
    EXPECT_TRUE(DefaultSession().HasPassword("kept"));
    FinalizeEngine();
    EXPECT_FALSE(EngineInitialized());
    InitializeEngine();
    EXPECT_FALSE(DefaultSession().HasPassword("kept"));
}

TEST_F(EngineGlobalsTest, CreatedSessionsCanBeCurrentAndFallBackWhenFreed) {
    InitializeEngine();
    TDataSession& standard = DefaultSession();
    TDataSession& other = CreateSession(true);
    EXPECT_TRUE(other.ServerSide());
    EXPECT_FALSE(standard.ServerSide());
    SetCurrentSession(other);
    EXPECT_EQ(&DefaultSession(), &other);
    FreeSession(other);
    EXPECT_EQ(&DefaultSession(), &standard);
    FreeSession(standard);  // not made by CreateSession: left alone
    EXPECT_EQ(&DefaultSession(), &standard);
}

TEST(SessionTest, PasswordsAreCaseSensitiveWithoutDuplicatesAndCut) {
    TDataSession session;
    session.AddPassword("");
    session.AddPassword("Secret");
    session.AddPassword("Secret");
    session.AddPassword("secret");
    EXPECT_EQ(session.Passwords(), (std::vector<std::string>{"Secret", "secret"}));
    EXPECT_TRUE(session.HasPassword("Secret"));
    EXPECT_FALSE(session.HasPassword("SECRET"));

    const std::string longPassword(300, 'p');
    session.AddPassword(longPassword);
    EXPECT_TRUE(session.HasPassword(std::string(255, 'p')));
    session.AddPassword(longPassword + "x");  // the same once cut
    EXPECT_EQ(session.Passwords().size(), 3u);

    session.RemovePassword("secret");
    EXPECT_FALSE(session.HasPassword("secret"));
    session.RemoveAllPasswords();
    EXPECT_TRUE(session.Passwords().empty());
}

TEST(SessionTest, SettingsStartAtTheirDefaults) {
    TDataSession session;
    EXPECT_EQ(session.ProgressSteps(), 20);
    EXPECT_FALSE(session.ForceBufferFlush());
    EXPECT_FALSE(session.StrictChangeDetection());
    EXPECT_EQ(session.LockRetryCount(), 15);
    EXPECT_EQ(session.LockWaitTime(), 100);
    EXPECT_EQ(session.LockProtocol(), TLockProtocol::Pessimistic);
    const TCacheBudgets& limits = session.BufferLimits();
    EXPECT_EQ(limits.RecordBytes, 16384);
    EXPECT_EQ(limits.RecordCount, 8192);
    EXPECT_EQ(limits.IndexBytes, 16384);
    EXPECT_EQ(limits.BlobBytes, 32768);
    EXPECT_EQ(limits.BlobCount, 8192);
    EXPECT_EQ(session.CurrentDir().back(), '/');
    session.SetPrivateDir("");
    EXPECT_EQ(session.PrivateDir(), session.CurrentDir());
    session.SetPrivateDir("  C:\\Temp\\Work ");
    EXPECT_EQ(session.PrivateDir(), "C:/Temp/Work/");
}

TEST(SessionTest, OneDirectoryPerPathWhateverItsSpelling) {
    TDataSession session;
    TDataDirectory& first = session.OpenDatabase("Dict", "/tmp/Data");
    TDataDirectory& second = session.OpenDatabase("Other", " /TMP/data/ ");
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(first.RefCount(), 2);
    EXPECT_EQ(first.Path(), "/tmp/Data/");
    session.CloseDatabase(first);
    ASSERT_EQ(session.Directories().size(), 1u);
    session.CloseDatabase(first);
    EXPECT_TRUE(session.Directories().empty());
}

TEST(SessionTest, ErrorsNameThePathOrOnServerSideTheDatabase) {
    TDataSession local;
    TDataSession serverSide(true);
    EXPECT_EQ(local.OpenDatabase("Dict", "/data").ErrorName(), "/data/");
    EXPECT_EQ(serverSide.OpenDatabase("Dict", "/data").ErrorName(), "Dict");
}

TEST(SessionTest, EmptyDirectoryIsTheCurrentDirectoryAtCreationOrMemory) {
    const auto before = std::filesystem::current_path();
    TDataSession session;
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    TDataDirectory& plain = session.OpenDatabase("Dict", "");
    std::filesystem::current_path(before);
    EXPECT_EQ(plain.Path(), NormalizePath(before.string()));
    TDataDirectory& memory = session.OpenDatabase("MEMORY", "");
    EXPECT_EQ(memory.Path(), "");
    EXPECT_NE(&memory, &plain);
}

}  // namespace
}  // namespace pirin
