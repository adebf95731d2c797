// Why `webquorrel serve` could not listen, in words a user can act on.
#pragma once

#include <string>

namespace wq::cli {

// Binds a socket of its own to host:port (port > 0) to learn why the server could not:
// "port 8750 on 127.0.0.1 is in use by another program; pick another with --listen ..." for a
// busy port, else the system's reason ("Permission denied" for a privileged port, an unknown
// host name, ...).
std::string WhyCannotListen(const std::string& host, int port);

}  // namespace wq::cli
