#pragma once

// Private to the tree loader: hands out the objects of a tree's list in order.
// A long list is read ahead on a second thread, in batches, so that reading
// the text of the objects and building the tree from them overlap.

#include "client/image/ImageJson.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vellrun::client::image::detail {

class ObjectFeed {
public:
    // count: how many objects list holds.
    ObjectFeed(ObjectList& list, size_t count);
    ~ObjectFeed() { Stop(); }
    ObjectFeed(const ObjectFeed&) = delete;
    ObjectFeed& operator=(const ObjectFeed&) = delete;

    // The next object; it stays valid until the next call. Throws what reading
    // it threw, once the objects before it have been handed out.
    Json& Next();
    // The loader has taken in the object Next gave: it is freed now, or with
    // its batch by the thread that read it (memory is freed more cheaply
    // where it was allocated).
    void Done(Json& object) {
        if (!reader_.joinable()) object = nullptr;
    }
    // Ends the reading ahead; nothing more is read from the list.
    void Stop();
    // After Stop: throws the TextFault the reading ahead met, if it met one
    // (a fault of the text wins over a fault found in an object before it).
    void ThrowTextFaultMet();

private:
    void ReadAhead();

    ObjectList& list_;
    size_t count_;
    std::thread reader_;  // not started for a short list
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<Json>> ready_;   // batches read and not yet handed out
    bool finished_ = false;                 // the reader has stopped
    bool stop_ = false;                     // asked to stop
    std::exception_ptr fault_;              // what ended the reading early
    std::vector<std::vector<Json>> spent_;  // batches handed out, for the reader to free
    std::vector<Json> current_;             // the batch being handed out
    size_t next_ = 0;
};

}  // namespace vellrun::client::image::detail
