#pragma once
// The SQL statements the programs issue, grouped by the program that
// issues them, as text to be checked against the schema.
//
// Host variables are written either as the server sees them ($1, $2, ...)
// or as embedded SQL names them (:vendor); PgText() turns the latter into
// numbered parameters in order of appearance, one per occurrence, as the
// embedded SQL preprocessor does.

#include <string>
#include <vector>

struct SystemStatement {
  std::string program;  // "libQDora_gpl", "qdAnalyze", "qdNotify", "qdGrpNot"
  std::string name;     // the action text the program logs for it, or a short label
  std::string text;
};

// Every statement of every program, grouped by program in that order.
const std::vector<SystemStatement>& SystemStatements();

// The statements of one program; empty for an unknown name.
std::vector<SystemStatement> StatementsOf(const std::string& program);

// The statement of `program` labelled `name`; aborts the test binary when
// there is none (a typo in a test, not a fault of the schema).
const SystemStatement& FindStatement(const std::string& program, const std::string& name);

// `text` with every :name host variable outside quoted literals replaced
// by $1, $2, ... in order of appearance; "::" casts are left alone.
std::string PgText(const std::string& text);
