#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "presence/record.h"
#include "tests/cli/child_process.h"
#include "tests/crypto/openssl_reference.h"

namespace wq {
namespace {

using testing::RunCommand;

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string hex;
  for (uint8_t b : bytes) {
    hex += "0123456789ABCDEF"[b >> 4];
    hex += "0123456789ABCDEF"[b & 15];
  }
  return hex;
}

std::string ReadFile(const char* path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every match of the first group of pattern in text.
std::set<std::string> Matches(const std::string& text, const std::string& pattern) {
  std::set<std::string> found;
  const std::regex re(pattern, std::regex::multiline);
  for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it) {
    found.insert((*it)[1]);
  }
  return found;
}

// The text between a line that is exactly heading and the next line starting with '#'.
std::string Section(const std::string& page, const std::string& heading) {
  const size_t start = page.find("\n" + heading + "\n");
  if (start == std::string::npos) return "";
  const size_t end = page.find("\n#", start + heading.size() + 2);
  return page.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The long options of CLI11's help text ("  -h,--help", "  --conn TEXT").
std::set<std::string> HelpOptions(const std::string& help) {
  return Matches(help, "^ +(?:-[a-z],)?(--[a-z-]+)");
}

const std::vector<std::string> kCp1252 = {"WEBQUORREL_CODEPAGE=CP1252"};
const std::vector<std::string> kCp936 = {"WEBQUORREL_CODEPAGE=CP936"};

TEST(SealCommand, SealsWithThePresenceKeyByDefault) {
  const Text key = presence::kPresenceKey;
  const std::vector<uint8_t> keyBytes(key.begin(), key.end());
  const auto sealed = RunCommand({"seal", "PC-7,2024-1-2 3:04:05"}, kCp1252);
  EXPECT_EQ(sealed.status, 0) << sealed.err;
  const std::string text = "PC-7,2024-1-2 3:04:05";
  EXPECT_EQ(sealed.out,
            Hex(reference::Rc4(keyBytes, std::vector<uint8_t>(text.begin(), text.end()))) + "\n");

  const auto custom = RunCommand({"seal", "--key", "Key", "Plaintext"}, kCp1252);
  EXPECT_EQ(custom.out, "BBF316E8D940AF0AD3\n");
}

TEST(SealCommand, UnsealGivesTheTextBack) {
  struct Case {
    std::vector<std::string> env;
    std::string text;
    std::string back;  // what the code page could keep
  };
  const std::string chinese = "工作站";
  const Case cases[] = {
      {kCp1252, "Straße 7, " + chinese, "Straße 7, ???"},
      {kCp936, "PC-7 " + chinese, "PC-7 " + chinese},
      {kCp936, "Straße", "Stra?e"},
  };
  for (const auto& c : cases) {
    const auto sealed = RunCommand({"seal", "--key", "kéy", c.text}, c.env);
    ASSERT_EQ(sealed.status, 0) << sealed.err;
    const std::string hex = sealed.out.substr(0, sealed.out.size() - 1);
    const auto unsealed = RunCommand({"unseal", "--key", "kéy", hex}, c.env);
    EXPECT_EQ(unsealed.status, 0) << unsealed.err;
    EXPECT_EQ(unsealed.out, c.back + "\n");
  }
  EXPECT_EQ(RunCommand({"unseal", "--key", "Key", "bbf316e8d940af0ad3"}, kCp1252).out,
            "Plaintext\n");
}

TEST(SealCommand, BadInputIsOneLineOnStderrAndStatusTwo) {
  struct Case {
    std::vector<std::string> args;
    std::string mentions;
  };
  const Case cases[] = {
      {{"unseal", ""}, "empty"},
      {{"unseal", "ABC"}, "odd"},
      {{"unseal", "12G4"}, "3-4"},
      {{"unseal", "0x12"}, "1-2"},
      {{"unseal", "\xEF\xBC\x91\xEF\xBC\x92"}, "1-2"},  // fullwidth digits
      {{"unseal", "\xFF\xFE"}, "1-2"},                  // not UTF-8
      {{"unseal", "12 345"}, "3-4"},
      {{"seal", "--key", "", "text"}, "key"},
      {{"unseal", "--key", "", "00"}, "key"},
  };
  for (const auto& c : cases) {
    const auto result = RunCommand(c.args, kCp1252);
    EXPECT_EQ(result.status, 2) << c.args.back();
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find(c.mentions), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
  }
}

TEST(SealCommand, UnknownCodePageIsReported) {
  const auto result = RunCommand({"seal", "x"}, {"WEBQUORREL_CODEPAGE=NO-SUCH-PAGE"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("NO-SUCH-PAGE"), std::string::npos) << result.err;
}

TEST(Command, HelpListsCommandsAndUsageErrorsFail) {
  const auto help = RunCommand({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("seal"), std::string::npos);
  EXPECT_NE(help.out.find("unseal"), std::string::npos);
  EXPECT_EQ(RunCommand({}).status, 2);
  EXPECT_EQ(RunCommand({"no-such-command"}).status, 2);
  const auto unknown = RunCommand({"--config", "x", "lsit", "--json"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.err,
            "webquorrel: unknown subcommand 'lsit'; see webquorrel --help for the "
            "subcommands\n");
  EXPECT_EQ(RunCommand({"seal"}).status, 2);
}

TEST(Command, VersionNamesTheProgramAndItsLibraries) {
  const auto version = RunCommand({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("webquorrel " WQ_PROJECT_VERSION "\n", 0), 0u) << version.out;
  EXPECT_TRUE(std::regex_search(version.out, std::regex("\nSQLite 3\\.[0-9]+"))) << version.out;
  EXPECT_NE(version.out.find("\nODBC driver manager: unixODBC 2."), std::string::npos)
      << version.out;
}

// The man page (its scdoc source) and the bash completion name exactly the subcommands and
// long options that --help shows: one "## webquorrel NAME" section per subcommand with its
// options in bold, one "NAME) options+=..." line per subcommand in the completion.
TEST(Command, ManPageAndCompletionMatchTheHelp) {
  const std::string page = ReadFile(WQ_MAN_SOURCE);
  const std::string completion = ReadFile(WQ_COMPLETION);
  ASSERT_FALSE(page.empty());
  ASSERT_FALSE(completion.empty());

  const auto help = RunCommand({"--help"});
  const std::set<std::string> subcommands =
      Matches(help.out.substr(help.out.find("Subcommands:")), "^  ([a-z]+) ");
  ASSERT_GE(subcommands.size(), 10u);
  EXPECT_EQ(Matches(page, "^## webquorrel ([a-z]+)$"), subcommands);
  EXPECT_EQ(Matches(completion, "^ +([a-z]+)\\) options"), subcommands);
  const auto words = Matches(completion, "^ +local subcommands=\"([a-z ]+)\"");
  ASSERT_EQ(words.size(), 1u);
  EXPECT_EQ(Matches(*words.begin(), "([a-z]+)"), subcommands);

  EXPECT_EQ(Matches(Section(page, "# OPTIONS"), "\\*(--[a-z-]+)\\*"), HelpOptions(help.out));
  for (const std::string& command : subcommands) {
    std::set<std::string> options = HelpOptions(RunCommand({command, "--help"}).out);
    options.erase("--help");
    EXPECT_EQ(Matches(Section(page, "## webquorrel " + command), "\\*(--[a-z-]+)\\*"), options)
        << "man page, " << command;
    const auto line = Matches(completion, "^ +" + command + "\\) options\\+=\"([^\"]*)\"");
    ASSERT_EQ(line.size(), 1u) << command;
    EXPECT_EQ(Matches(*line.begin(), "(--[a-z-]+)"), options) << "completion, " << command;
  }
}

}  // namespace
}  // namespace wq
