#include "cli/http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <unistd.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>

#include "platform/error.h"

namespace wq::cli {

struct HttpServer::State {
  HttpHandler handler;
  MHD_Daemon* daemon = nullptr;
};

namespace {

std::string Header(MHD_Connection* connection, const char* name) {
  const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string ClientAddress(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  char text[INET6_ADDRSTRLEN] = "?";
  if (info != nullptr && info->client_addr != nullptr) {
    const sockaddr* addr = info->client_addr;
    if (addr->sa_family == AF_INET) {
      inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(addr)->sin_addr, text, sizeof text);
    } else if (addr->sa_family == AF_INET6) {
      inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(addr)->sin6_addr, text,
                sizeof text);
    }
  }
  return text;
}

MHD_Result Answer(void* cls, MHD_Connection* connection, const char* url, const char* method,
                  const char*, const char*, size_t* uploadSize, void** context) {
  auto* state = static_cast<HttpServer::State*>(cls);
  // The first call comes with the headers; a body, if the client sends one, is not read.
  if (*context == nullptr) {
    static int seen;
    *context = &seen;
  }
  *uploadSize = 0;
  HttpResponse answer;
  try {
    answer = state->handler(
        {method, url, Header(connection, MHD_HTTP_HEADER_HOST), ClientAddress(connection)});
  } catch (const std::exception& e) {
    std::cerr << "webquorrel serve: " << e.what() << std::endl;
    answer = {500, "text/plain; charset=utf-8", "internal error\n", {}};
  }
  MHD_Response* response = MHD_create_response_from_buffer(answer.body.size(), answer.body.data(),
                                                           MHD_RESPMEM_MUST_COPY);
  if (response == nullptr) return MHD_NO;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.contentType.c_str());
  for (const auto& [name, value] : answer.headers) {
    MHD_add_response_header(response, name.c_str(), value.c_str());
  }
  const MHD_Result queued =
      MHD_queue_response(connection, static_cast<unsigned>(answer.status), response);
  MHD_destroy_response(response);
  return queued;
}

// The library's own messages (requests refused as too big, connections dropped), at most ten a
// second: a client that provokes one message per connection must not flood the log.
void Log(void*, const char* format, va_list args) {
  static std::mutex mutex;
  static std::chrono::steady_clock::time_point second;
  static int lines = 0;
  static long dropped = 0;
  const std::lock_guard<std::mutex> lock(mutex);
  const auto now = std::chrono::steady_clock::now();
  if (now - second >= std::chrono::seconds(1)) {
    if (dropped > 0) std::cerr << "webquorrel serve: " << dropped << " more messages left out\n";
    second = now;
    lines = 0;
    dropped = 0;
  }
  if (++lines > 10) {
    ++dropped;
    return;
  }
  char line[512];
  std::vsnprintf(line, sizeof line, format, args);
  std::string text(line);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  std::cerr << "webquorrel serve: " << text << std::endl;
}

}  // namespace

HttpServer::HttpServer(int listenFd, const HttpLimits& limits, HttpHandler handler)
    : state_(new State{std::move(handler)}) {
  state_->daemon = MHD_start_daemon(
      MHD_USE_AUTO_INTERNAL_THREAD | MHD_USE_ERROR_LOG, 0, nullptr, nullptr, &Answer, state_,
      MHD_OPTION_LISTEN_SOCKET, listenFd, MHD_OPTION_THREAD_POOL_SIZE, limits.threads,
      MHD_OPTION_CONNECTION_LIMIT, limits.connections, MHD_OPTION_PER_IP_CONNECTION_LIMIT,
      limits.connectionsPerAddress, MHD_OPTION_CONNECTION_MEMORY_LIMIT, limits.requestBytes,
      MHD_OPTION_CONNECTION_TIMEOUT, limits.idleSeconds, MHD_OPTION_EXTERNAL_LOGGER, &Log, nullptr,
      MHD_OPTION_END);
  if (state_->daemon == nullptr) {
    close(listenFd);
    delete state_;
    throw Error(kInvalidProcedureCall, "cannot start the web server");
  }
}

HttpServer::~HttpServer() {
  MHD_stop_daemon(state_->daemon);  // closes the listening socket too
  delete state_;
}

}  // namespace wq::cli
