#include "client/image/ObjectFeed.h"

#include <system_error>
#include <utility>

namespace vellrun::client::image::detail {

namespace {

// A short list is not worth a thread; batches keep the handing over rare, and
// the few batches waiting keep the objects read ahead small in memory.
constexpr size_t kObjectsForAThread = 1024;
constexpr size_t kBatch = 256;
constexpr size_t kBatchesAhead = 4;

}  // namespace

ObjectFeed::ObjectFeed(ObjectList& list, size_t count) : list_(list), count_(count) {
    if (count_ >= kObjectsForAThread && std::thread::hardware_concurrency() > 1) {
        try {
            reader_ = std::thread([this] { ReadAhead(); });
        } catch (const std::system_error&) {
            // No thread to be had (a limit on processes): the list is read
            // here, in its turn, as a short one is.
        }
    }
}

void ObjectFeed::ReadAhead() {
    size_t read = 0;
    while (read < count_) {
        std::vector<Json> batch;
        {
            // The batches handed out are freed here, where their memory came from.
            std::vector<std::vector<Json>> spent;
            {
                const std::lock_guard lock(mutex_);
                spent.swap(spent_);
            }
            if (!spent.empty()) batch = std::move(spent.back());
            batch.clear();
        }
        // Whatever fails here, memory included, ends the reading and reaches
        // the loader in its turn; nothing may leave the thread.
        std::exception_ptr fault;
        try {
            batch.reserve(kBatch);
            for (; batch.size() < kBatch && read < count_; ++read)
                batch.push_back(std::move(list_.Next()));
        } catch (...) {
            fault = std::current_exception();
        }
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return stop_ || ready_.size() < kBatchesAhead; });
        if (stop_) {
            // The objects read past the fault are not read again: a fault of
            // the text among them must still reach ThrowTextFaultMet.
            fault_ = fault;
            break;
        }
        try {
            ready_.push_back(std::move(batch));
        } catch (...) {
            // The batch is lost; a fault of the text in it still wins.
            if (!fault) fault = std::current_exception();
        }
        if (fault) {
            fault_ = fault;
            break;
        }
        changed_.notify_all();
    }
    const std::lock_guard lock(mutex_);
    finished_ = true;
    changed_.notify_all();
}

Json& ObjectFeed::Next() {
    if (!reader_.joinable()) return list_.Next();
    while (next_ == current_.size()) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !ready_.empty() || finished_; });
        if (ready_.empty()) {
            // Everything read was handed out: the reader stopped at a fault.
            if (fault_) std::rethrow_exception(fault_);
            throw std::logic_error("the objects of the list ended early");
        }
        if (!current_.empty()) spent_.push_back(std::move(current_));
        current_ = std::move(ready_.front());
        ready_.pop_front();
        next_ = 0;
        changed_.notify_all();
    }
    return current_[next_++];
}

void ObjectFeed::Stop() {
    if (!reader_.joinable()) return;
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
        changed_.notify_all();
    }
    reader_.join();
}

void ObjectFeed::ThrowTextFaultMet() {
    if (!fault_) return;
    try {
        std::rethrow_exception(fault_);
    } catch (const TextFault&) {
        throw;
    } catch (...) {
        // Only a fault of the text outranks the one the loader found.
    }
}

}  // namespace vellrun::client::image::detail
