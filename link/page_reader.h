#pragma once

#include "link/page.h"

#include <QString>

namespace cablemeter {

// Whatever fetches flash pages from the meter: the serial link, or a fake in tests.
class PageReader {
public:
    virtual ~PageReader() = default;

    // Fetches one flash page into the page buffer. Returns false when no page arrived (the port
    // could not be opened, the meter stayed silent, the port went away, the read was cancelled):
    // the page buffer is then unchanged and lastError() says which page and which device.
    [[nodiscard]] virtual bool ReadFlash(int flashPage) = 0;

    virtual const PageBuffer& pageBuffer() const = 0;
    virtual QString lastError() const = 0;
};

} // namespace cablemeter
