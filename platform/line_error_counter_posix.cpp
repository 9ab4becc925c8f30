#include "platform/line_error_counter.h"

namespace cablemeter {

namespace {

// POSIX has no call for the driver's error counts; only Linux's serial drivers keep them.
class NoLineErrors : public LineErrorCounter {
public:
    std::optional<quint64> count(SerialHandle) override { return std::nullopt; }
};

} // namespace

std::unique_ptr<LineErrorCounter> createLineErrorCounter()
{
    return std::make_unique<NoLineErrors>();
}

} // namespace cablemeter
