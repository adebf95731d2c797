#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/seal_key.h"
#include "crypto/hex.h"
#include "crypto/rc4.h"
#include "platform/text/ansi.h"

namespace wq::cli {

void AddSealCommand(CLI::App& app) {
  struct Options {
    std::string key;
    std::string text;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand(
      "seal", "Print TEXT as sealed hex text: its ANSI bytes, RC4-enciphered, in upper-case hex");
  AddKeyOption(*command, options->key);
  command->add_option("TEXT", options->text, "The text to seal")->required();
  command->callback([options] {
    const Text key = KeyText(options->key);
    ByteArray bytes = AnsiCodePage::Process().Encode(FromUtf8(options->text));
    clsRC4 rc4;
    rc4.EncryptByte(bytes, key);
    std::cout << ToUtf8(ByteArrayToHex(bytes)) << '\n';
  });
}

}  // namespace wq::cli
