// Deflates a document's large streams (pages, pictures) on worker threads while it is drawn.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "pdf/deflater.h"

namespace folivane {

// Streams go in as they are finished and are taken back by their ticket, in any order; the
// caller bounds what is in flight. With no worker (none asked for, or none could be started)
// a stream is deflated on the caller's thread when it is submitted: fewer threads means slower,
// never stuck.
class DeflatePool {
 public:
  struct Job;
  using Ticket = std::shared_ptr<Job>;
  // Starts one worker; a test makes it fail.
  using ThreadStarter = std::thread (*)(std::function<void()> work);

  explicit DeflatePool(int workers, ThreadStarter startThread = &StartThread);
  ~DeflatePool();
  DeflatePool(const DeflatePool&) = delete;
  DeflatePool& operator=(const DeflatePool&) = delete;

  Ticket Submit(std::string data, Deflater::Effort effort = Deflater::Effort::kBothLevels);
  // Deflates what `make` gives, made on the worker too (a picture's filtered samples, say).
  Ticket Submit(std::function<std::string()> make, Deflater::Effort effort);
  // Waits for the stream and returns it deflated. What a worker failed with (out of memory) is
  // thrown here, on the caller's thread.
  std::string Take(const Ticket& ticket);
  // Waits for the stream and tells whether both levels were tried and the greedy one won; the
  // stream stays to be taken.
  bool GreedyWon(const Ticket& ticket);
  int Workers() const { return static_cast<int>(workers_.size()); }

  static std::thread StartThread(std::function<void()> work) { return std::thread(std::move(work)); }

 private:
  static constexpr std::size_t kJobsPerWake = 2;
  Ticket Queue(Ticket job);
  // Waits, under `lock`, until the job is done, waking the workers for it.
  void WaitFor(const Ticket& ticket, std::unique_lock<std::mutex>& lock);
  void Work();

  std::mutex mutex_;
  std::condition_variable workReady_;
  std::condition_variable jobDone_;
  std::deque<Ticket> waiting_;  // not yet taken by a worker; under mutex_
  bool stopping_ = false;
  std::vector<std::thread> workers_;
  std::optional<Deflater> ownDeflater_;  // without workers
};

}  // namespace folivane
