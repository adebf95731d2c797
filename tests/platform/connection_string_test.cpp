#include "platform/db/connection_string.h"

#include <gtest/gtest.h>

#include "platform/error.h"

namespace wq::db {
namespace {

using Pairs = std::vector<std::pair<Text, Text>>;

TEST(ConnectionStringParse, TrimsKeysAndValuesAndSkipsEmptyParts) {
  const auto cs = ConnectionString::Parse(u" ;Provider = SQLite ;; Data Source=  /tmp/a b.db ; ");
  EXPECT_EQ(cs.pairs(), (Pairs{{u"Provider", u"SQLite"}, {u"Data Source", u"/tmp/a b.db"}}));
  EXPECT_TRUE(ConnectionString::Parse(u"").pairs().empty());
  EXPECT_TRUE(ConnectionString::Parse(u" ; ;\t").pairs().empty());
}

TEST(ConnectionStringParse, LooksUpKeysIgnoringCaseAndTakesTheLastOne) {
  const auto cs = ConnectionString::Parse(u"DATA SOURCE=a;provider=x;Data Source=b;Empty=");
  EXPECT_EQ(cs.Get(u"data source"), Text(u"b"));
  EXPECT_EQ(cs.Get(u"PROVIDER"), Text(u"x"));
  EXPECT_EQ(cs.Get(u"Empty"), Text());
  EXPECT_EQ(cs.Get(u"Missing"), std::nullopt);
}

TEST(ConnectionStringParse, QuotedValuesHoldSeparatorsAndDoubledQuotes) {
  const auto cs = ConnectionString::Parse(
      u"A=\"x;y=z\";B='it''s';C=\"say \"\"hi\"\"\" ; D=a'b\"c;E = ' padded ' ");
  EXPECT_EQ(cs.Get(u"A"), Text(u"x;y=z"));
  EXPECT_EQ(cs.Get(u"B"), Text(u"it's"));
  EXPECT_EQ(cs.Get(u"C"), Text(u"say \"hi\""));
  EXPECT_EQ(cs.Get(u"D"), Text(u"a'b\"c"));  // quotes inside a bare value are plain characters
  EXPECT_EQ(cs.Get(u"E"), Text(u" padded "));
  EXPECT_EQ(cs.pairs().size(), 5u);
}

TEST(ConnectionStringParse, BracedValuesHoldSeparatorsAndDoubledBraces) {
  const auto cs = ConnectionString::Parse(u"Driver={SQL Server};PWD={a;b}}c=d};X=1");
  EXPECT_EQ(cs.Get(u"Driver"), Text(u"SQL Server"));
  EXPECT_EQ(cs.Get(u"PWD"), Text(u"a;b}c=d"));
  EXPECT_EQ(cs.Get(u"X"), Text(u"1"));
}

TEST(ConnectionStringParse, KeepsEqualsSignsUnicodeAndLongValues) {
  const Text long_value(200000, u'x');
  const auto cs =
      ConnectionString::Parse(u"Server=a=b==c;名前=计算机 \U0001F600;Long=" + long_value);
  EXPECT_EQ(cs.Get(u"Server"), Text(u"a=b==c"));
  EXPECT_EQ(cs.Get(u"名前"), Text(u"计算机 \U0001F600"));
  EXPECT_EQ(cs.Get(u"long"), long_value);
}

TEST(ConnectionStringParse, MalformedTextIsRefusedWithoutEchoingValues) {
  const Text cases[] = {
      u"Provider=SQLite;Password=\"s3cr3t;more",  // unterminated double quote
      u"Provider=SQLite;Password='s3cr3t",        // unterminated single quote
      u"Provider=SQLite;PWD={s3cr3t",             // unterminated brace
      u"Provider=SQLite;s3cr3t",                  // missing '='
      u"Provider=SQLite;=s3cr3t",                 // empty key
      u"Provider=SQLite;Password='ab's3cr3t'",    // text after the closing quote
      u"Provider=SQLite;PWD={ab}s3cr3t",          // text after the closing brace
      Text(100000, u'\'') + u"s3cr3t",            // many quotes, no '='
  };
  for (const Text& text : cases) {
    try {
      ConnectionString::Parse(text);
      ADD_FAILURE() << "accepted: " << ToUtf8(text);
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kInvalidProcedureCall);
      EXPECT_EQ(e.description().find("s3cr3t"), std::string::npos) << e.description();
    }
  }
}

TEST(ConnectionStringRedact, HidesEveryPasswordValueAndKeepsTheRest) {
  EXPECT_EQ(ConnectionString::Redact(u"Server=db;User ID=sa;Password=hunter2;Database=x"),
            Text(u"Server=db;User ID=sa;Password=***;Database=x"));
  EXPECT_EQ(ConnectionString::Redact(u"pwd = 'a;b' ; DSN=q"), Text(u"pwd = *** ; DSN=q"));
  EXPECT_EQ(ConnectionString::Redact(u"PWD={x;y}}z};Driver={SQL Server}"),
            Text(u"PWD=***;Driver={SQL Server}"));
  EXPECT_EQ(ConnectionString::Redact(u"Jet OLEDB:Database Password=abc"),
            Text(u"Jet OLEDB:Database Password=***"));
}

TEST(ConnectionStringRedact, HidesSecretsOfMalformedText) {
  // An unterminated quote hides everything after it; a part without '=' may be the end of a
  // password that held a bare ';'.
  EXPECT_EQ(ConnectionString::Redact(u"Password=\"abc;Server=x"), Text(u"Password=***"));
  EXPECT_EQ(ConnectionString::Redact(u"Server=x;Password=ab;cd;Database=y"),
            Text(u"Server=x;Password=***;***;Database=y"));
  const Text redacted = ConnectionString::Redact(u"PWD='it''s' tail;Server=x");
  EXPECT_EQ(redacted.find(u"it"), Text::npos);
  EXPECT_NE(redacted.find(u"Server=x"), Text::npos);
}

TEST(ConnectionStringWrite, BracesOnlyWhatNeedsItAndRefusesNul) {
  EXPECT_EQ(QuoteValue(u"plain value"), u"plain value");
  EXPECT_EQ(QuoteValue(u""), u"");
  EXPECT_EQ(QuoteValue(u"a;b"), u"{a;b}");
  EXPECT_EQ(QuoteValue(u"a}b"), u"{a}}b}");
  EXPECT_EQ(QuoteValue(u" lead"), u"{ lead}");
  EXPECT_EQ(QuoteValue(u"'q'"), u"{'q'}");
  try {
    QuoteValue(Text(u"sec") + u'\0' + u"ret");
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kInvalidProcedureCall);
    EXPECT_EQ(e.description().find("sec"), std::string::npos);
  }
}

TEST(ConnectionStringWrite, HostileValuesReadBackUnchanged) {
  for (const Text& value :
       {Text(u"a;b"), Text(u"}"), Text(u"{"), Text(u"}}{{"), Text(u"x}=y;z"), Text(u" both "),
        Text(u"'quoted\""), Text(u"\"dq\""), Text(u"PWD=evil;UID=root"), Text(u"{already braced}"),
        Text(u"中文;密码}"), Text(u"\U0001F600;")}) {
    Text s;
    AppendPair(s, u"Driver", u"PostgreSQL Unicode");
    AppendPair(s, u"PWD", value);
    AppendPair(s, u"UID", u"me");
    EXPECT_EQ(ConnectionString::Parse(s).pairs(),
              (Pairs{{u"Driver", u"PostgreSQL Unicode"}, {u"PWD", value}, {u"UID", u"me"}}))
        << ToUtf8(s);
    EXPECT_EQ(ConnectionString::Redact(s).find(value), Text::npos) << ToUtf8(s);
  }
}

TEST(ConnectionStringSecrets, OneRuleForSecretKeys) {
  for (TextView key : {u"pwd", u"PASSWORD", u" Password ", u"Jet OLEDB:Database Password",
                       u"Passwd", u"token", u"AccessToken", u"Client Secret", u"ClientSecret"}) {
    EXPECT_TRUE(IsSecretKey(key)) << ToUtf8(key);
  }
  for (TextView key : {u"UID", u"User ID", u"PasswordHint", u"PW", u"TokenType", u"SecretName"}) {
    EXPECT_FALSE(IsSecretKey(key)) << ToUtf8(key);
  }
  EXPECT_EQ(ConnectionString::Redact(u"Server=x;AccessToken=abc;Client Secret={d;e}"),
            Text(u"Server=x;AccessToken=***;Client Secret=***"));
}

// One masking for driver texts and trace lines: the secret where it stands as a value, and
// elsewhere only where it cannot be taken for ordinary words, so masking tells nothing.
TEST(ConnectionStringSecrets, MaskingIsNoOracle) {
  struct Case {
    const char16_t* connection;
    const char16_t* text;
    const char16_t* shown;
  };
  const Case cases[] = {
      {u"PWD=data", u"Cannot open the database", u"Cannot open the database"},
      {u"PWD=data", u"login: PWD=data; PWD = 'data'", u"login: PWD=***; PWD = '***'"},
      {u"Password=s3cr3t!", u"bad password s3cr3t! given", u"bad password *** given"},
      {u"Password=s3cr3t!", u"xs3cr3t!y", u"xs3cr3t!y"},
      {u"Token=ab1", u"ab1 ab1", u"ab1 ab1"},  // too short to mask outside a value
      {u"Passwd=hunter2;ClientSecret=hunter22", u"hunter22 hunter2", u"*** ***"},
      // FreeTDS's braces: up to "};", '}' single.
      {u"Driver={FreeTDS};PWD={pa;ss{w}rd};UID=u;", u"x=pa;ss{w}rd", u"x=***"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToUtf8(Secrets::Of(c.connection).Mask(TextView(c.text))), ToUtf8(c.shown))
        << ToUtf8(c.connection);
  }
  EXPECT_EQ(Secrets::Of(u"PWD=s3cr3t!").Mask(std::string_view("pw s3cr3t!")), "pw ***");
}

}  // namespace
}  // namespace wq::db
