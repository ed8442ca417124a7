#include "lsp/server.h"

#include <utility>

#include "linebasic/linebasic.h"
#include "lsp/features.h"

namespace linebasic::lsp {
namespace {

constexpr char kRenumberCommand[] = "linebasic.renumber";

// The position a request names, in "position".
Position positionIn(const json& params) {
  return params.at("position").get<Position>();
}

std::string uriIn(const json& params) {
  return params.at("textDocument").at("uri").get<std::string>();
}

// A count in a command's arguments, by its place, with a value when it is left out.
int argumentAt(const json& arguments, std::size_t place, int otherwise) {
  if (arguments.size() <= place || arguments[place].is_null()) return otherwise;
  return countIn(json{{"argument", arguments[place]}}, "argument");
}

// A document's version; 0 when the client gives none.
std::int64_t versionIn(const json& document) {
  return document.contains("version") ? countIn(document, "version") : 0;
}

}  // namespace

const std::map<std::string_view, Server::Request> Server::kRequests = {
    {"initialize", &Server::initialize},
    {"shutdown", &Server::shutdown},
    {"textDocument/codeAction", &Server::codeAction},
    {"textDocument/definition", &Server::definition},
    {"textDocument/references", &Server::references},
    {"textDocument/hover", &Server::hover},
    {"textDocument/documentSymbol", &Server::documentSymbol},
    {"textDocument/semanticTokens/full", &Server::semanticTokensFull},
    {"textDocument/prepareRename", &Server::prepareRename},
    {"textDocument/rename", &Server::rename},
    {"workspace/executeCommand", &Server::executeCommand},
};

const std::map<std::string_view, Server::Notification> Server::kNotifications = {
    {"initialized", &Server::ignore},
    {"exit", &Server::exit},
    {"textDocument/didOpen", &Server::didOpen},
    {"textDocument/didChange", &Server::didChange},
    {"textDocument/didClose", &Server::didClose},
};

Server::Server(Send send) : send_(std::move(send)) {}

void Server::receive(std::string_view body) {
  json message = json::parse(body, nullptr, false);
  if (message.is_discarded()) {
    logLine("a message is no JSON");
    respondError(nullptr, error::kParseError, "the message is no JSON");
    return;
  }
  const auto method = message.is_object() ? message.find("method") : message.end();
  const bool change = method != message.end() && *method == "textDocument/didChange";
  if (!change) publishPending();
  dispatch(message);
}

// Routes a message to its handler; a request gets one response whatever happens.
void Server::dispatch(const json& message) {
  const auto id = message.is_object() ? message.find("id") : message.end();
  const bool hasId = id != message.end();
  const json noId = nullptr;
  const json& answerTo = hasId && (id->is_number_integer() || id->is_string()) ? *id : noId;
  const auto method = message.is_object() ? message.find("method") : message.end();
  if (method == message.end() || !method->is_string() || (hasId && answerTo.is_null())) {
    const bool response = hasId && (message.contains("result") || message.contains("error"));
    if (!response) respondError(answerTo, error::kInvalidRequest, "no request or notification");
    return;  // a response to a request of the server's: nothing waits for it
  }
  const auto& name = method->get_ref<const std::string&>();
  const json params = message.value("params", json::object());
  if (hasId) {
    answer(answerTo, name, params);
  } else {
    take(name, params);
  }
}

// A notification has no answer: one that is not understood, or comes before initialize (but
// exit), is passed over, as the protocol allows.
void Server::take(const std::string& name, const json& params) {
  const auto handler = kNotifications.find(name);
  if (handler == kNotifications.end() || !(initialized_ || handler->second == &Server::exit))
    return;
  try {
    (this->*handler->second)(params);
  } catch (const std::exception& problem) {
    logLine(name + ": " + problem.what());
  }
}

void Server::answer(const json& id, const std::string& name, const json& params) {
  if (!initialized_ && name != "initialize") {
    respondError(id, error::kServerNotInitialized, "the server is not initialized yet");
  } else if (shutDown_ || (initialized_ && name == "initialize")) {
    respondError(id, error::kInvalidRequest,
                 shutDown_ ? "the server is shut down" : "the server is initialized already");
  } else if (const auto handler = kRequests.find(name); handler == kRequests.end()) {
    respondError(id, error::kMethodNotFound, "no such method: " + name);
  } else {
    try {
      respond(id, (this->*handler->second)(params));
    } catch (const ResponseError& problem) {
      respondError(id, problem.code, problem.what());
    } catch (const json::exception& problem) {
      // The library's words name its own insides ("[json.exception.type_error.302] ..."):
      // the client is told what was wrong in its terms, the log keeps the detail.
      logLine(name + ": " + problem.what());
      respondError(id, error::kInvalidParams,
                   "the parameters of " + name + " are not as LSP 3.17 gives them");
    } catch (const std::exception& problem) {
      respondError(id, error::kInternalError, problem.what());
    }
  }
}

void Server::respond(const json& id, json result) {
  send({{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}});
}

void Server::respondError(const json& id, int code, const std::string& message) {
  send({{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

void Server::notify(std::string_view method, json params) {
  send({{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}});
}

// Text that is no UTF-8 (a long word that a message cuts short) is sent with U+FFFD for it.
void Server::send(const json& message) {
  send_(message.dump(-1, ' ', false, json::error_handler_t::replace));
}

Document* Server::find(const json& params) {
  const auto document = documents_.find(uriIn(params));
  return document == documents_.end() ? nullptr : &document->second;
}

void Server::publishPending() {
  for (const std::string& uri : pending_) {
    const auto document = documents_.find(uri);
    if (document == documents_.end()) continue;
    notify("textDocument/publishDiagnostics", {{"uri", uri},
                                               {"version", document->second.version()},
                                               {"diagnostics", diagnosticsOf(document->second)}});
  }
  pending_.clear();
}

json Server::initialize(const json& /*params*/) {
  initialized_ = true;
  return {{"capabilities",
           {{"positionEncoding", "utf-16"},
            {"textDocumentSync", {{"openClose", true}, {"change", 2}}},  // incremental
            {"codeActionProvider", {{"codeActionKinds", {"quickfix"}}}},
            {"definitionProvider", true},
            {"referencesProvider", true},
            {"hoverProvider", true},
            {"documentSymbolProvider", true},
            {"renameProvider", {{"prepareProvider", true}}},
            {"executeCommandProvider", {{"commands", {kRenumberCommand}}}},
            {"semanticTokensProvider", {{"legend", semanticTokensLegend()}, {"full", true}}}}},
          {"serverInfo", {{"name", "linebasic"}, {"version", LINEBASIC_VERSION}}}};
}

json Server::shutdown(const json& /*params*/) {
  shutDown_ = true;
  return nullptr;
}

void Server::ignore(const json& /*params*/) {}

void Server::exit(const json& /*params*/) {
  exited_ = true;
}

void Server::didOpen(const json& params) {
  const json& item = params.at("textDocument");
  const std::string uri = item.at("uri").get<std::string>();
  documents_.insert_or_assign(uri, Document(item.at("text").get<std::string>(), versionIn(item)));
  pending_.insert(uri);
}

// Changes apply in order, each to the text the one before it left.
void Server::didChange(const json& params) {
  const std::string uri = uriIn(params);
  Document* const document = find(params);
  if (document == nullptr) {
    logLine("a change to a document that is not open: " + uri);
    return;
  }
  const std::int64_t version = versionIn(params.at("textDocument"));
  for (const json& change : params.at("contentChanges")) {
    const auto& text = change.at("text").get_ref<const std::string&>();
    if (change.contains("range")) {
      document->edit(change.at("range").get<Range>(), text, version);
    } else {
      document->replace(text, version);
    }
  }
  pending_.insert(uri);
}

// A closed document's warnings go with it.
void Server::didClose(const json& params) {
  const std::string uri = uriIn(params);
  documents_.erase(uri);
  pending_.erase(uri);
  notify("textDocument/publishDiagnostics", {{"uri", uri}, {"diagnostics", json::array()}});
}

json Server::codeAction(const json& params) {
  Document* const document = find(params);
  if (document == nullptr) return json::array();
  return codeActions(*document, uriIn(params), params.at("range").get<Range>());
}

json Server::definition(const json& params) {
  const Document* const document = find(params);
  if (document == nullptr) return nullptr;
  return lsp::definition(*document, uriIn(params), positionIn(params));
}

json Server::references(const json& params) {
  const Document* const document = find(params);
  if (document == nullptr) return nullptr;
  const bool declaration =
      params.value("context", json::object()).value("includeDeclaration", false);
  return lsp::references(*document, uriIn(params), positionIn(params), declaration);
}

json Server::hover(const json& params) {
  Document* const document = find(params);
  if (document == nullptr) return nullptr;
  return lsp::hover(*document, positionIn(params));
}

json Server::documentSymbol(const json& params) {
  const Document* const document = find(params);
  if (document == nullptr) return nullptr;
  return documentSymbols(*document);
}

json Server::semanticTokensFull(const json& params) {
  const Document* const document = find(params);
  if (document == nullptr) return nullptr;
  return semanticTokens(*document);
}

json Server::prepareRename(const json& params) {
  const Document* const document = find(params);
  if (document == nullptr) return nullptr;
  return lsp::prepareRename(*document, positionIn(params));
}

json Server::rename(const json& params) {
  const Document* const document = find(params);
  if (document == nullptr) return nullptr;
  return lsp::rename(*document, uriIn(params), positionIn(params),
                     params.at("newName").get<std::string>());
}

// linebasic.renumber [uri, start, step]: renumbers the whole program (from 10 by 10 unless
// told), by asking the editor to apply the edit.
json Server::executeCommand(const json& params) {
  if (params.at("command") != kRenumberCommand)
    throw ResponseError(error::kInvalidParams, "no such command");
  const json& arguments = params.at("arguments");
  const auto document = documents_.find(arguments.at(0).get<std::string>());
  if (document == documents_.end())
    throw ResponseError(error::kInvalidParams, "the document is not open");
  json edit = renumberEdit(document->second, document->first, argumentAt(arguments, 1, 10),
                           argumentAt(arguments, 2, 10));
  send({{"jsonrpc", "2.0"},
        {"id", nextRequestId_++},
        {"method", "workspace/applyEdit"},
        {"params", {{"label", "Renumber"}, {"edit", std::move(edit)}}}});
  return nullptr;
}

}  // namespace linebasic::lsp
