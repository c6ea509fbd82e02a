#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "net/CWSThread.h"

namespace qlm::test {

// What one fetch on the worker thread came to.
struct WorkerFetchResult {
  bool finished = false;      // false when the fetch did not end within its time
  int result = 0;             // the request's result code
  int status = 0;             // the reply's status code
  std::vector<int> progress;  // progress codes in order, repeats of 4 collapsed
  int64_t body_received = 0;
  int sink_error = 0;  // errno of the body file, 0 when every write succeeded
};

// Runs GET requests on a real network worker thread (CWSThread), the way the crawl engine runs
// them: each fetch is a window made on the worker through the download-manager factory, whose
// request streams the body into a file. For end-to-end tests and benchmarks.
//
// Installs its own manager factory while it lives (the factory is process-wide), so it must not
// be used together with another factory.
class WorkerFetcher {
 public:
  WorkerFetcher();
  ~WorkerFetcher();
  WorkerFetcher(const WorkerFetcher&) = delete;
  WorkerFetcher& operator=(const WorkerFetcher&) = delete;

  // False when the worker thread could not be started.
  bool Started() const { return started_; }
  // Fetches http://host:port/target into body_file (created, must not exist) and waits for the
  // end, at most timeout.
  WorkerFetchResult Fetch(const std::string& host, uint16_t port, const std::string& target,
                          const std::string& body_file,
                          std::chrono::milliseconds timeout = std::chrono::seconds(60));

 private:
  CWSThread worker_;
  bool started_ = false;
};

}  // namespace qlm::test
