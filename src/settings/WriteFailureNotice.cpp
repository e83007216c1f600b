#include "settings/WriteFailureNotice.h"

namespace vellrun::settings {

void WriteFailureNotice::Tell(const platform::FileStatus& status) {
    if (status.ok()) {
        told_ = false;
        return;
    }
    if (told_) return;
    told_ = true;
    port_.PlainBox(status.error);
}

}  // namespace vellrun::settings
