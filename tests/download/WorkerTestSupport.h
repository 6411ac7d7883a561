#pragma once

// Helpers for the worker and failed-list suites: a tile server whose answers
// are scripted per target, with the shared scratch folder and file helpers.

#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ScriptedServer.h"
#include "TestFiles.h"

namespace workertest {

// Answers each target with its queued actions first, then with BodyFor(target).
class TileServer {
 public:
  TileServer() : server_([this](const ScriptedRequest& request) { return Answer(request); }) {}

  void Queue(const std::string& target, ScriptedAction action) {
    std::lock_guard<std::mutex> lock(mutex_);
    queued_[target].push_back(std::move(action));
  }
  // Every request for target gets this answer.
  void Always(const std::string& target, ScriptedAction action) {
    std::lock_guard<std::mutex> lock(mutex_);
    always_[target] = std::move(action);
  }

  int Port() const { return server_.Port(); }
  std::string HostAndPort() const { return "127.0.0.1:" + std::to_string(server_.Port()); }
  std::string BaseUrl() const { return server_.BaseUrl(); }
  std::vector<std::string> Targets() const { return server_.Targets(); }
  ScriptedServer& Server() { return server_; }
  ScriptedRequest LastRequest() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_;
  }

 private:
  ScriptedAction Answer(const ScriptedRequest& request) {
    std::lock_guard<std::mutex> lock(mutex_);
    last_ = request;
    auto queued = queued_.find(request.target);
    if (queued != queued_.end() && !queued->second.empty()) {
      ScriptedAction action = std::move(queued->second.front());
      queued->second.pop_front();
      return action;
    }
    auto always = always_.find(request.target);
    if (always != always_.end()) return always->second;
    return ServeBodyFor(request);
  }

  mutable std::mutex mutex_;
  std::map<std::string, std::deque<ScriptedAction>> queued_;
  std::map<std::string, ScriptedAction> always_;
  ScriptedRequest last_{};
  ScriptedServer server_;  // last: its threads may call Answer until it is gone
};

}  // namespace workertest
