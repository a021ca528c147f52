#pragma once

#include <string>
#include <string_view>

// The statements the database phase sends. Every database name stands between brackets with
// each "]" doubled, so that a name holding "]" neither breaks the statement nor adds SQL to it.
std::string QuoteName(std::string_view name);

// The user databases (ids 1 to 4 are the system's), ascending by name in the server's collation.
std::string DatabaseListQuery();
// The user tables of one database, addressed by its fully qualified catalog view.
std::string TableListQuery(std::string_view database);
std::string SwitchCommand(std::string_view database);
// Sets the version in every row of the database's table Verzija, named as the database spells it
// (a database with a case-sensitive collation may hold it as VERZIJA).
std::string StampCommand(std::string_view database, std::string_view programVersion,
                         std::string_view table = "Verzija");
// The number of transactions the connection has open, in the column TranCount.
std::string TranCountQuery();
// Ends every open transaction of the connection, undoing its work.
std::string RollbackCommand();

// The state of every user database in one query, for the pre-flight before anything changes:
// columns Name, State (state_desc), ReadOnly (is_read_only, 0 or 1), Access (user_access_desc),
// Collation (collation_name), CodePage (the code page of its non-Unicode text) and Writable: 1 when the login holds CREATE TABLE, ALTER, INSERT, UPDATE and DELETE on the
// database, 0 when it lacks one, NULL where it is not asked (a database that is not ONLINE and
// MULTI_USER, whose permissions cannot be evaluated without opening it).
std::string DatabaseStatesQuery();
