#include "pdf/deflate_pool.h"

#include <new>
#include <system_error>

namespace folivane {

struct DeflatePool::Job {
  std::string data;
  std::function<std::string()> make;  // when set, makes the data
  Deflater::Effort effort = Deflater::Effort::kBothLevels;
  std::string deflated;
  bool greedyWon = false;
  std::exception_ptr failure;
  bool done = false;
};

DeflatePool::DeflatePool(int workers, ThreadStarter startThread) {
  // A worker that cannot start (a task limit, no memory for its stack) is done without.
  for (int i = 0; i < workers; ++i) {
    try {
      workers_.push_back(startThread([this] { Work(); }));
    } catch (const std::system_error&) {
      break;
    } catch (const std::bad_alloc&) {
      break;
    }
  }
}

DeflatePool::~DeflatePool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  workReady_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

DeflatePool::Ticket DeflatePool::Submit(std::string data, Deflater::Effort effort) {
  auto job = std::make_shared<Job>();
  job->data = std::move(data);
  job->effort = effort;
  return Queue(std::move(job));
}

DeflatePool::Ticket DeflatePool::Submit(std::function<std::string()> make, Deflater::Effort effort) {
  auto job = std::make_shared<Job>();
  job->make = std::move(make);
  job->effort = effort;
  return Queue(std::move(job));
}

DeflatePool::Ticket DeflatePool::Queue(Ticket job) {
  if (workers_.empty()) {
    if (!ownDeflater_) ownDeflater_.emplace();
    if (job->make) job->data = job->make();
    job->deflated = ownDeflater_->Deflate(job->data, job->effort, &job->greedyWon);
    job->data = std::string();
    job->done = true;
    return job;
  }
  // Waking a worker costs the caller a system call; a page's stream is small, so a worker is
  // woken for a pair of them. Take wakes the workers for a job still waiting.
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    waiting_.push_back(job);
    wake = waiting_.size() >= kJobsPerWake;
  }
  if (wake) workReady_.notify_one();
  return job;
}

void DeflatePool::WaitFor(const Ticket& ticket, std::unique_lock<std::mutex>& lock) {
  if (!ticket->done && !workers_.empty()) {
    lock.unlock();
    workReady_.notify_all();
    lock.lock();
  }
  jobDone_.wait(lock, [&] { return ticket->done; });
}

bool DeflatePool::GreedyWon(const Ticket& ticket) {
  std::unique_lock lock(mutex_);
  WaitFor(ticket, lock);
  return ticket->greedyWon;
}

std::string DeflatePool::Take(const Ticket& ticket) {
  std::unique_lock lock(mutex_);
  WaitFor(ticket, lock);
  if (ticket->failure) std::rethrow_exception(ticket->failure);
  return std::move(ticket->deflated);
}

void DeflatePool::Work() {
  // Nothing may leave a thread's function: what fails goes to the caller with the job.
  std::optional<Deflater> deflater;
  std::exception_ptr noDeflater;
  try {
    deflater.emplace();
  } catch (...) {
    noDeflater = std::current_exception();
  }
  for (;;) {
    Ticket job;
    {
      std::unique_lock lock(mutex_);
      workReady_.wait(lock, [&] { return stopping_ || !waiting_.empty(); });
      if (waiting_.empty()) return;
      job = std::move(waiting_.front());
      waiting_.pop_front();
    }
    std::string deflated;
    bool greedyWon = false;
    std::exception_ptr failure = noDeflater;
    if (deflater) {
      try {
        if (job->make) job->data = job->make();
        deflated = deflater->Deflate(job->data, job->effort, &greedyWon);
      } catch (...) {
        failure = std::current_exception();
      }
    }
    {
      std::lock_guard lock(mutex_);
      job->deflated = std::move(deflated);
      job->greedyWon = greedyWon;
      job->failure = failure;
      job->data = std::string();
      job->make = nullptr;
      job->done = true;
    }
    jobDone_.notify_all();
  }
}

}  // namespace folivane
