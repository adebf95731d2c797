// seal and unseal: a text to sealed hex text and back, with the presence key or another.
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "crypto/hex.h"
#include "crypto/rc4.h"
#include "platform/error.h"
#include "platform/text/ansi.h"
#include "presence/record.h"

namespace wq::cli {
namespace {

// An empty key would leave the cipher unkeyed, so the text would not be sealed at all.
Text KeyText(const std::string& key) {
  if (key.empty()) throw Error::InvalidProcedureCall("the key must not be empty");
  return FromUtf8(key);
}

// Adds a subcommand that takes --key and one argument and prints what convert makes of them.
void AddKeyedCommand(CLI::App& app, const char* name, const char* description, const char* argument,
                     const char* argumentHelp,
                     std::string (*convert)(const Text& key, const std::string& argument)) {
  struct Options {
    std::string key;
    std::string argument;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand(name, description);
  options->key = ToUtf8(presence::kPresenceKey);
  command->add_option("--key", options->key, "RC4 key text (default: the presence key)");
  command->add_option(argument, options->argument, argumentHelp)->required();
  command->callback([options, convert] {
    std::cout << convert(KeyText(options->key), options->argument) << '\n';
  });
}

std::string Seal(const Text& key, const std::string& text) {
  ByteArray bytes = AnsiCodePage::Process().Encode(FromUtf8(text));
  clsRC4 rc4;
  rc4.EncryptByte(bytes, key);
  return ToUtf8(ByteArrayToHex(bytes));
}

std::string Unseal(const Text& key, const std::string& hex) {
  ByteArray bytes;
  HexToByteArray(FromUtf8(hex), bytes);
  clsRC4 rc4;
  rc4.DecryptByte(bytes, key);
  return ToUtf8(AnsiCodePage::Process().Decode(*bytes));
}

}  // namespace

void AddSealCommand(CLI::App& app) {
  AddKeyedCommand(
      app, "seal",
      "Print TEXT as sealed hex text: its ANSI bytes, RC4-enciphered, in upper-case hex", "TEXT",
      "The text to seal", Seal);
}

void AddUnsealCommand(CLI::App& app) {
  AddKeyedCommand(app, "unseal", "Print the text that the sealed hex text HEX holds", "HEX",
                  "Sealed hex text, two digits per byte", Unseal);
}

}  // namespace wq::cli
