// A small HTTP/1.1 server on libmicrohttpd for `webquorrel serve`, made to hold against hostile
// clients: a few threads that each watch many connections (an idle or slow client ties up no
// thread), a cap on connections in all and per client address, a cap on what one request's
// line and headers may take (which also caps the number of headers; more gets 431), and an
// idle timeout after which a connection is dropped. Requests carry no body it reads.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace wq::cli {

struct HttpRequest {
  std::string method;
  std::string path;    // without the query
  std::string host;    // the Host header; empty when there is none
  std::string client;  // the client's address
};

struct HttpResponse {
  int status = 200;
  std::string contentType = "text/plain; charset=utf-8";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

struct HttpLimits {
  unsigned threads = 4;
  unsigned connections = 256;            // in all
  unsigned connectionsPerAddress = 128;  // from one client address
  size_t requestBytes = 16 * 1024;       // request line and headers of one request
  unsigned idleSeconds = 10;             // without a byte from the client
};

using HttpHandler = std::function<HttpResponse(const HttpRequest&)>;

class HttpServer {
 public:
  // Serves the listening socket listenFd (which the server then owns) until destroyed; handler
  // runs on the server's threads, several at once. Raises Error when the server cannot start.
  HttpServer(int listenFd, const HttpLimits& limits, HttpHandler handler);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  struct State;  // the handler and the running daemon

 private:
  State* state_;
};

}  // namespace wq::cli
