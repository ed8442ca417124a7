// The language server: JSON-RPC messages in, JSON-RPC messages out. It keeps the open documents
// and answers from the same analysis the command line uses: the checker, the fixes, the
// renumbering and the interpreter's own scanner and line search.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "lsp/document.h"
#include "lsp/protocol.h"

namespace linebasic::lsp {

// Serves the protocol on `input` and `output` (messages framed by Content-Length headers) until
// the client sends exit or closes the input; logs go to standard error. Returns the exit
// status: 0 after a shutdown request, 1 otherwise.
int serve(int input, int output);

class Server {
 public:
  using Send = std::function<void(const std::string& body)>;  // writes one message
  explicit Server(Send send);

  // Handles one message's body, answering a request with one response.
  void receive(std::string_view body);

  // Publishes the warnings of each document changed since its last publication. receive calls
  // it before any message that is not a change; the transport calls it when no input waits.
  void publishPending();

  [[nodiscard]] bool exited() const { return exited_; }
  [[nodiscard]] int exitStatus() const { return shutDown_ ? 0 : 1; }

 private:
  using Request = json (Server::*)(const json& params);
  using Notification = void (Server::*)(const json& params);

  void dispatch(const json& message);
  void answer(const json& id, const std::string& name, const json& params);
  void take(const std::string& name, const json& params);
  void respond(const json& id, json result);
  void respondError(const json& id, int code, const std::string& message);
  void notify(std::string_view method, json params);
  void send(const json& message);
  Document* find(const json& params);

  json initialize(const json& params);
  json shutdown(const json& params);
  json codeAction(const json& params);
  json definition(const json& params);
  json references(const json& params);
  json hover(const json& params);
  json documentSymbol(const json& params);
  json semanticTokensFull(const json& params);
  json prepareRename(const json& params);
  json rename(const json& params);
  json executeCommand(const json& params);

  void ignore(const json& params);
  void exit(const json& params);
  void didOpen(const json& params);
  void didChange(const json& params);
  void didClose(const json& params);

  static const std::map<std::string_view, Request> kRequests;
  static const std::map<std::string_view, Notification> kNotifications;

  Send send_;
  std::map<std::string, Document> documents_;  // by URI
  std::set<std::string> pending_;              // URIs whose warnings are not published yet
  bool initialized_ = false;
  bool shutDown_ = false;
  bool exited_ = false;
  int nextRequestId_ = 1;  // of the requests the server sends
};

}  // namespace linebasic::lsp
