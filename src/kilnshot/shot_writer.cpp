// Pictures encoded and written on a worker thread while the next one is drawn.
#include <algorithm>
#include <utility>

#include "kilnshot/kilnshot.h"

namespace kestrum {

ShotWriter::ShotWriter(size_t queueLimit)
    : limit_(std::max<size_t>(1, queueLimit)), thread_([this] { work(); }) {}

ShotWriter::~ShotWriter() {
  finish();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void ShotWriter::add(Image picture, std::string path, ImageFormat format,
                     std::function<void(bool, const std::string&)> done) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return queue_.size() < limit_; });
  queue_.push_back({std::move(picture), std::move(path), format, std::move(done)});
  changed_.notify_all();
}

std::vector<std::string> ShotWriter::finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return queue_.empty() && !busy_; });
  return std::exchange(failures_, {});
}

void ShotWriter::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stop_ || !queue_.empty(); });
    if (queue_.empty()) return;
    Item item = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    changed_.notify_all();
    lock.unlock();
    SaveOptions save;
    save.format = item.format;
    std::string reason;
    bool ok = saveImage(item.picture, item.path, save, &reason);
    if (!ok) reason = "cannot write " + item.path + ": " + reason;
    if (item.done) item.done(ok, reason);
    lock.lock();
    if (!ok) failures_.push_back(reason);
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace kestrum
