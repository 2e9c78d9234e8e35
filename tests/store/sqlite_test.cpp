#include "store/sqlite.h"

#include "platform/error.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <stdexcept>

namespace quorva::sqlite {
namespace {

// Values go in and come back byte for byte (a blob's zero byte too), and only a committed
// transaction's rows stay.
TEST(SqliteTest, OnlyCommittedRowsStayWithTheirExactValues) {
    Database db(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, "test: ");
    db.exec("CREATE TABLE t (n INTEGER, bytes BLOB, absent TEXT)");
    const std::string bytes("a\0b", 3);
    {
        Transaction transaction(db);
        Statement insert(db, "INSERT INTO t VALUES (?, ?, ?)");
        insert.bind(1, std::int64_t{1}).bindBlob(2, bytes).bindNull(3).step();
        insert.reset();
        insert.bind(1, std::int64_t{2}).step();
        transaction.commit();
    }
    try {
        Transaction transaction(db);
        Statement(db, "INSERT INTO t (n) VALUES (3)").step();
        throw std::runtime_error("cut before the commit");
    } catch (const std::runtime_error&) {
    }
    Statement rows(db, "SELECT n, bytes, absent FROM t ORDER BY n");
    ASSERT_TRUE(rows.step());
    EXPECT_EQ(rows.blob(1), bytes);
    EXPECT_TRUE(rows.isNull(2));
    ASSERT_TRUE(rows.step());
    EXPECT_EQ(rows.integer(0), 2);
    EXPECT_EQ(rows.blob(1), bytes); // reset keeps the values bound before
    EXPECT_FALSE(rows.step());
    EXPECT_THROW(Statement(db, "SELECT * FROM missing"), Error);
}

} // namespace
} // namespace quorva::sqlite
