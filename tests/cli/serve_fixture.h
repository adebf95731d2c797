// A running `webquorrel serve` on a free loopback port of a test register.
#pragma once

#include <memory>
#include <string>

#include "tests/cli/ops_fixture.h"

namespace wq::testing {

class Serve : public OpsCommands {
 protected:
  // Starts the server and waits until it says where it listens; port() is then set.
  void StartServer(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"serve", "--listen", "127.0.0.1:0"};
    args.insert(args.end(), extra.begin(), extra.end());
    server_ = std::make_unique<ChildProcess>(args, Env("PC-SERVE"), dir_ / "serve");
    ASSERT_TRUE(WaitFor([&] { return server_->Out().find("/\n") != std::string::npos; }))
        << server_->Err();
    const std::string out = server_->Out();
    const std::string prefix = "listening on http://127.0.0.1:";
    ASSERT_EQ(out.rfind(prefix, 0), 0u) << out;
    port_ = std::stoi(out.substr(prefix.size()));
  }
  int port() const { return port_; }
  std::string Url(const std::string& path = "/") const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

  // Records of several modules, and names meant to break out of the page.
  void SeedRegister() {
    AddRecord("PC-2,2026-3-7 9:05:02", "Sales");
    AddRecord("PC-1,2026-3-7 9:06:00", "Sales", 1);
    AddRecord("PC-3,2026-3-7 9:00:00", "Inventory");
    AddRecord("<img src=x onerror=\"document.body.dataset.pwned=1\">,2026-3-7 9:00:00",
              "<script>document.body.dataset.pwned=2</script>");
    AddRecord("PC-4,", "Sales");
    AddRaw("XYZ", "Sales");
  }

  std::unique_ptr<ChildProcess> server_;
  int port_ = 0;
};

}  // namespace wq::testing
