#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/seal_key.h"
#include "crypto/hex.h"
#include "crypto/rc4.h"
#include "platform/text/ansi.h"

namespace wq::cli {

void AddUnsealCommand(CLI::App& app) {
  struct Options {
    std::string key;
    std::string hex;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command =
      app.add_subcommand("unseal", "Print the text that the sealed hex text HEX holds");
  AddKeyOption(*command, options->key);
  command->add_option("HEX", options->hex, "Sealed hex text, two digits per byte")->required();
  command->callback([options] {
    const Text key = KeyText(options->key);
    ByteArray bytes;
    HexToByteArray(FromUtf8(options->hex), bytes);
    clsRC4 rc4;
    rc4.DecryptByte(bytes, key);
    std::cout << ToUtf8(AnsiCodePage::Process().Decode(*bytes)) << '\n';
  });
}

}  // namespace wq::cli
