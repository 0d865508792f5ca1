// ThlxSQLRTF: SQL: "--" comments to the line end, "/* */" comments across lines, strings in
// single quotes ('' stays inside), italic comments and bold keywords.
#include "preview/hlxTableSyntax.h"

namespace bq {

namespace {

const TKeywordTable kSQLKeywords(
    {"ACTIVE", "AFTER", "ALL", "ALTER", "AND", "ANY", "AS", "ASC", "ASCENDING", "AT", "AUTO", "BASE_NAME",
     "BEFORE", "BEGIN", "BETWEEN", "BY", "CACHE", "CAST", "CHECK", "COLUMN", "COMMIT", "COMMITTED", "COMPUTED",
     "CONDITIONAL", "CONSTRAINT", "CONTAINING", "COUNT", "CREATE", "CURRENT", "CURSOR", "DATABASE", "DEBUG",
     "DECLARE", "DEFAULT", "DELETE", "DESC", "DESCENDING", "DISTINCT", "DO", "DOMAIN", "DROP", "ELSE", "END",
     "ENTRY_POINT", "ESCAPE", "EXCEPTION", "EXECUTE", "EXISTS", "EXIT", "EXTERNAL", "EXTRACT", "FILTER", "FOR",
     "FOREIGN", "FROM", "FULL", "FUNCTION", "GENERATOR", "GRANT", "GROUP", "HAVING", "IF", "IN", "INACTIVE",
     "INDEX", "INNER", "INSERT", "INTO", "IS", "ISOLATION", "JOIN", "KEY", "LEFT", "LEVEL", "LIKE", "MERGE",
     "NAMES", "NO", "NOT", "NULL", "OF", "ON", "ONLY", "OR", "ORDER", "OUTER", "PARAMETER", "PASSWORD", "PLAN",
     "POSITION", "PRIMARY", "PRIVILEGES", "PROCEDURE", "PROTECTED", "READ", "RETAIN", "RETURNS", "REVOKE",
     "RIGHT", "ROLLBACK", "SCHEMA", "SELECT", "SET", "SHADOW", "SHARED", "SNAPSHOT", "SOME", "SUSPEND", "TABLE",
     "THEN", "TO", "TRANSACTION", "TRIGGER", "UNCOMMITTED", "UNION", "UNIQUE", "UPDATE", "USER", "USING", "VIEW",
     "WAIT", "WHEN", "WHERE", "WHILE", "WITH", "WORK",
     // the common words of today's dialects
     "VALUES", "LIMIT", "OFFSET", "CROSS", "NATURAL", "VARCHAR", "INTEGER", "BOOLEAN", "OVER", "PARTITION"});

TLanguageDef MakeSQLDef() {
  TLanguageDef d;
  d.Colors = {{0, 0, 128}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 255}, {0, 0, 0}};
  d.ColorOf.fill(8);  // null and the kinds SQL lacks: beyond the table
  d.ColorOf[tkComment] = 1;
  d.ColorOf[tkIdentifier] = 2;
  d.ColorOf[tkKeyword] = 3;
  d.ColorOf[tkNumber] = 4;
  d.ColorOf[tkString] = 6;
  d.ColorOf[tkSpace] = d.ColorOf[tkSymbol] = 5;
  d.ColorOf[tkUnknown] = 7;
  d.Styled = true;
  d.Keywords = &kSQLKeywords;
  d.LineComments = {"--"};
  d.BlockComments = {{"/*", "*/"}};
  d.Quotes = "'";
  d.DoubledQuote = true;
  d.Symbols = "(),;.=+-*/<>|%:!@[]";
  d.TwoCharSymbols = {"<=", "<>", ">=", "!=", "||"};
  return d;
}

const TLanguageDef kSQLDef = MakeSQLDef();

}  // namespace

std::unique_ptr<ThlxRTFSyntax> CreateSQLRTF() { return std::make_unique<ThlxTableSyntax>(kSQLDef); }

}  // namespace bq
