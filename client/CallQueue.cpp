#include "client/CallQueue.h"

#include <algorithm>

#include "client/TallyClient.h"
#include "runtime/Str.h"

namespace tally {
namespace {

using Reply = std::pair<qtl::status, std::string>;

void Add(std::wstring& text, const wchar_t* what, uint64_t n, const std::wstring& why) {
  text += (text.empty() ? L"Queued calls " : L"; queued calls ") + std::wstring(what) + L": " + std::to_wstring(n) +
          L" (" + why + L")";
}

qtl::status Stopped() { return qtl::status::error(L"The client is closed"); }

}  // namespace

CallQueue::CallQueue(Exchange exchange, size_t limit)
    : exchange_(std::move(exchange)), limit_(std::max<size_t>(limit, 1)), thread_([this] { Run(); }) {}

CallQueue::~CallQueue() { Stop(); }

qtl::status CallQueue::Post(const std::string& name, std::string request) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopping_) return Stopped();
  if (posted_ >= limit_) DropOldestPosted();
  items_.push_back({name, std::move(request), nullptr});
  ++posted_;
  wake_.notify_one();
  return qtl::ok_status();
}

qtl::status CallQueue::Send(std::string request, std::string& reply) {
  auto waiter = std::make_unique<std::promise<Reply>>();
  std::future<Reply> answer = waiter->get_future();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return Stopped();
    items_.push_back({std::string(), std::move(request), std::move(waiter)});
    wake_.notify_one();
  }
  Reply result = answer.get();
  reply = std::move(result.second);
  return result.first;
}

// Waiting senders sit among the posted calls; only a posted one is dropped.
void CallQueue::DropOldestPosted() {
  const auto oldest = std::find_if(items_.begin(), items_.end(), [](const Item& item) { return !item.waiter; });
  items_.erase(oldest);
  --posted_;
  ++dropped_;
}

void CallQueue::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !items_.empty(); });
    if (stopping_) return;
    Item item = std::move(items_.front());
    items_.pop_front();
    if (!item.waiter) --posted_;
    busy_ = true;
    lock.unlock();
    std::string reply;
    const qtl::status sent = exchange_(item.request, reply);
    if (item.waiter) item.waiter->set_value({sent, std::move(reply)});
    lock.lock();
    if (!item.waiter) Account(item, sent, reply);
    busy_ = false;
    idle_.notify_all();
  }
}

void CallQueue::Account(const Item& item, const qtl::status& sent, const std::string& reply) {
  if (!sent.ok()) {
    if (unsent_++ == 0) firstUnsent_ = sent.text();
    return;
  }
  qtl::status status;
  std::string value;
  if (!wire::DecodeResult(reply, status, value)) status = qtl::status::error(L"Malformed reply");
  if (!status.ok() && failed_++ == 0) firstFailure_ = str::as_wstring(item.name) + L": " + status.text();
}

bool CallQueue::WaitUntilEmpty(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  return idle_.wait_until(lock, deadline, [this] { return items_.empty() && !busy_; });
}

void CallQueue::Stop() {
  std::deque<Item> left;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return;
    stopping_ = true;
    wake_.notify_one();
  }
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  left.swap(items_);
  for (Item& item : left) {
    if (item.waiter) item.waiter->set_value({qtl::status::error(L"The client closed before the call was sent"), ""});
  }
  if (posted_ > 0 && unsent_ == 0) firstUnsent_ = L"the client closed first";
  unsent_ += posted_;
  posted_ = 0;
}

qtl::status CallQueue::Summary() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::wstring text;
  if (dropped_) Add(text, L"dropped", dropped_, L"the queue holds at most " + std::to_wstring(limit_));
  if (unsent_) Add(text, L"not sent", unsent_, firstUnsent_);
  if (failed_) Add(text, L"failed", failed_, L"the first: " + firstFailure_);
  return text.empty() ? qtl::ok_status() : qtl::status::error(text);
}

}  // namespace tally
