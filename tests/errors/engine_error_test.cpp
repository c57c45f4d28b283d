#include "errors/engine_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <stdexcept>
#include <thread>
#include <vector>

namespace pirin {
namespace {

EPirinEngineError Catch(const std::function<void()>& raise) {
    try {
        raise();
    } catch (const EPirinEngineError& e) {
        return e;
    }
    ADD_FAILURE() << "nothing raised";
    return EPirinEngineError(0);
}

TEST(EngineError, MessageNamesTheTableAndKeepsItInTheException) {
    auto e = Catch([] { RaiseEngineError(PIRIN_OSENOENT, {.table = "LangWords"}); });
    EXPECT_STREQ(e.what(), "Pirin Engine Error # 11010 Table 'LangWords' does not exist");
    EXPECT_EQ(e.ErrorCode, 11010);
    EXPECT_EQ(e.ErrorTableName, "LangWords");
    EXPECT_EQ(e.ErrorIndexName, "");
}

struct TextCase {
    std::uint16_t code;
    TErrorPlace place;
    const char* message;
};

TEST(EngineError, PlacesAreFilledInTheOrderOfEachText) {
    const TextCase cases[] = {
        {PIRIN_KEYVIOL, {.table = "Bg_En", .index = "IdxWord"},
         "Pirin Engine Error # 9729 Duplicate key found in the index 'IdxWord' of the table 'Bg_En'"},
        {PIRIN_INVALIDIDXDESC, {.table = "T", .field = "3", .index = "I"},
         "Pirin Engine Error # 10023 Invalid field number '3' specified in the index 'I' for the table 'T'"},
        {PIRIN_REMOTENOTAUTH, {.server = "srv", .user = "ann", .database = "db"},
         "Pirin Engine Error # 11288 The user 'ann' is not authorized to perform this operation with "
         "the database 'db' on the database server at 'srv'"},
        {PIRIN_REMOTEUNKNOWN, {.server = "srv", .message = "boom"},
         "Pirin Engine Error # 11279 An unknown error ('boom') occurred with the connection to the "
         "database server at 'srv', please check the server log"},
        {PIRIN_INVALIDFILTER, {.table = "T", .message = "bad"},
         "Pirin Engine Error # 10051 Filter error for the table 'T' - bad"},
        // Codes without a place keep the names in the exception only.
        {PIRIN_REMOTEINVUSER, {.user = "ann"},
         "Pirin Engine Error # 11290 The user name is either invalid or blank"},
        {PIRIN_OSENOMEM, {.table = "T"},
         "Pirin Engine Error # 11016 There is insufficient operating system memory available for the "
         "current operation"},
        // Unlisted codes, and the one listed code without a text of its own.
        {PIRIN_REMOTECALLBACK, {.table = "T"}, "Pirin Engine Error # 11284 An unknown error occurred"},
        {12345, {}, "Pirin Engine Error # 12345 An unknown error occurred"},
        // A "%s" inside a name is text, not a place.
        {PIRIN_OSENOENT, {.table = "a%sb"}, "Pirin Engine Error # 11010 Table 'a%sb' does not exist"},
    };
    for (const auto& c : cases) {
        auto e = Catch([&] { RaiseEngineError(c.code, c.place); });
        EXPECT_STREQ(e.what(), c.message) << c.code;
        EXPECT_EQ(e.ErrorCode, c.code);
    }
}

TEST(EngineError, ExceptionCarriesEveryNameAndTheThreadsErrno) {
    auto e = Catch([] {
        errno = ENOENT;
        RaiseEngineError(PIRIN_OSUNKNOWN, "srv", "usr", "db", "tbl", "fld", "idx", "msg");
    });
    EXPECT_EQ(e.ErrorRemoteName, "srv");
    EXPECT_EQ(e.ErrorUserName, "usr");
    EXPECT_EQ(e.ErrorDatabaseName, "db");
    EXPECT_EQ(e.ErrorTableName, "tbl");
    EXPECT_EQ(e.ErrorFieldName, "fld");
    EXPECT_EQ(e.ErrorIndexName, "idx");
    EXPECT_EQ(e.ErrorMessage, "msg");
    EXPECT_EQ(e.OSErrorCode, ENOENT);
    EXPECT_EQ(e.SocketErrorCode, 0);
    EXPECT_STREQ(e.what(), "Pirin Engine Error # 11047 An unknown operating system error occurred "
                           "with the table 'tbl'");
}

TEST(EngineError, LongTextsAreCutAt254AndNamesAt255) {
    const std::string longName(300, 'x');
    auto e = Catch([&] { RaiseEngineError(PIRIN_OSENOENT, {.table = longName}); });
    EXPECT_EQ(e.ErrorTableName, std::string(255, 'x'));
    EXPECT_EQ(EngineErrorText(PIRIN_OSENOENT).size(), 254u);
    EXPECT_EQ(std::string(e.what()), "Pirin Engine Error # 11010 Table '" + std::string(247, 'x'));
}

TEST(EngineError, RaisingByCodeAloneUsesTheLatestContext) {
    Catch([] { RaiseEngineError(PIRIN_READERR, {.table = "Bg_En", .field = "Desc"}); });
    auto e = Catch([] { RaiseEngineErrorCode(PIRIN_ENDOFBLOB); });
    EXPECT_STREQ(e.what(), "Pirin Engine Error # 8711 End of blob data in the table 'Bg_En' reached prematurely");
    EXPECT_EQ(e.ErrorFieldName, "Desc");
}

TEST(EngineError, AnExceptionIsNotChangedByLaterRaises) {
    auto first = Catch([] { RaiseEngineError(PIRIN_OSENOENT, {.table = "One"}); });
    Catch([] { RaiseEngineError(PIRIN_OSENOENT, {.table = "Two"}); });
    EXPECT_EQ(first.ErrorTableName, "One");
    EXPECT_STREQ(first.what(), "Pirin Engine Error # 11010 Table 'One' does not exist");
}

TEST(EngineError, ErrorCodeOfGives11047ForOtherExceptions) {
    auto engine = Catch([] { RaiseEngineError(PIRIN_KEYVIOL, {.table = "T"}); });
    EXPECT_EQ(ErrorCodeOf(engine), 9729);
    EXPECT_EQ(ErrorCodeOf(std::runtime_error("x")), 11047);
    EXPECT_EQ(ErrorCodeOf(EDatabaseError("Missing table name.")), 11047);
    EXPECT_EQ(ErrorCodeOf(std::make_exception_ptr(engine)), 9729);
    EXPECT_EQ(ErrorCodeOf(std::make_exception_ptr(42)), 11047);
    EXPECT_EQ(ErrorCodeOf(std::exception_ptr()), 0);
}

TEST(EngineError, ThreadsRaisingAtOnceEachGetTheirOwnNames) {
    constexpr int kThreads = 8;
    constexpr int kRaises = 2000;
    std::vector<int> mismatches(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &mismatches] {
            const std::string table = "Table" + std::to_string(t);
            for (int i = 0; i < kRaises; ++i) {
                try {
                    RaiseEngineError(PIRIN_OSENOENT, {.table = table});
                } catch (const EPirinEngineError& e) {
                    if (e.ErrorTableName != table ||
                        e.Message() != "Pirin Engine Error # 11010 Table '" + table + "' does not exist")
                        ++mismatches[t];
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

TEST(DatabaseError, FixedTextsFillTheirOnePlace) {
    try {
        DatabaseErrorFmt(messages::kInvalidDatabaseName, "C:\\x");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Database name C:\\x is not valid.");
    }
    EXPECT_THROW(DatabaseError(messages::kNoTableName), EDatabaseError);
}

}  // namespace
}  // namespace pirin
