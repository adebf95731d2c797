// SQL text as the engines and the schema scripts read it: strings, quoted and bracketed names,
// comments and the ';' that ends a statement. One scanner, so that every check agrees on where
// a statement ends.
#pragma once

#include <vector>

#include "platform/text/text.h"

namespace wq::db {

enum class SqlPiece {
  kSpace,    // blanks, tabs and line breaks
  kComment,  // "--" to the end of the line, or "/* ... */"
  kString,   // '...', a doubled quote standing for one
  kName,     // "...", [...] (or `...` where enabled), a doubled closing character standing for one
  kWord,     // a run of ASCII letters, digits, '_', '$' and characters beyond ASCII
  kEnd,      // ';'
  kOther,    // any other single character
};

struct SqlToken {
  SqlPiece kind = SqlPiece::kOther;
  TextView text;
  size_t begin = 0;  // offset of text in the scanned SQL
};

class SqlScanner {
 public:
  // With backtickNames, `...` quotes a name as it does in SQLite.
  explicit SqlScanner(TextView sql, bool backtickNames = false)
      : sql_(sql), backticks_(backtickNames) {}

  // The next piece; false at the end of the text. Raises invalid procedure call for a string,
  // name or block comment that is not closed.
  bool Next(SqlToken& token);

 private:
  TextView sql_;
  bool backticks_;
  size_t pos_ = 0;
};

// The one statement that sql holds, without its closing ';' and what follows it (blanks and
// comments only). Raises invalid procedure call for anything else: a second statement, an
// unclosed quote or comment, a NUL character, no statement at all.
TextView SingleStatement(TextView sql, bool backtickNames = false);

// The statements of a script, split at the ';' outside strings, names and comments; comments
// become blanks, blanks around a statement are trimmed and empty statements dropped.
std::vector<Text> SplitStatements(TextView script);

// A keyset source, "SELECT * FROM <table> [WHERE ...] [ORDER BY ...]" as one statement. The
// table is one name or schema.name, each part bare (an ASCII letter or '_', then letters, digits,
// '_' and '$') or quoted and not empty. The views point into the text given.
struct KeysetSource {
  TextView table;               // as written, quotes included
  std::vector<TextView> parts;  // its one or two parts, as written
  TextView tail;                // what follows the name: empty, or leading to WHERE / ORDER BY
};
// Raises invalid procedure call for any other shape.
KeysetSource ParseKeysetSource(TextView sql, bool backtickNames = false);

// The name a part spells: quotes removed and doubled closing characters undone.
Text UnquoteName(TextView part);

}  // namespace wq::db
