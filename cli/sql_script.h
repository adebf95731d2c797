// The schema scripts' SQL text as init splits it into statements: strings, quoted and bracketed
// names, comments and the ';' that ends a statement.
#pragma once

#include <vector>

#include "platform/text/text.h"

namespace wq::cli {

enum class SqlPiece {
  kSpace,    // blanks, tabs and line breaks
  kComment,  // "--" to the end of the line, or "/* ... */"
  kString,   // '...', a doubled quote standing for one
  kName,     // "...", [...], a doubled closing character standing for one
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
  explicit SqlScanner(TextView sql) : sql_(sql) {}

  // The next piece; false at the end of the text. Raises invalid procedure call for a string,
  // name or block comment that is not closed.
  bool Next(SqlToken& token);

 private:
  TextView sql_;
  size_t pos_ = 0;
};

// The statements of a script, split at the ';' outside strings, names and comments; comments
// become blanks, blanks around a statement are trimmed and empty statements dropped.
std::vector<Text> SplitStatements(TextView script);

}  // namespace wq::cli
