#include "settings/WriteFailureNotice.h"

namespace vellrun::settings {

void WriteFailureNotice::Tell(const platform::FileStatus& status) {
    if (status.ok()) return;
    if (toldAt_ && *toldAt_ == file_.WriteCount()) return;
    toldAt_ = file_.WriteCount();
    port_.PlainBox(status.error);
}

}  // namespace vellrun::settings
