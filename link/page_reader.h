#pragma once

#include "link/page.h"
#include "platform/user_message.h"

#include <QString>

namespace cablemeter {

// Whatever fetches flash pages from the meter: the serial link, a flash image, or a fake in tests.
class PageReader {
public:
    virtual ~PageReader() = default;

    // Fetches one flash page into the page buffer. Returns false when no page arrived (the port
    // could not be opened, the meter stayed silent, the port went away, the read was cancelled):
    // the page buffer is then unchanged and lastError() says which page and which device.
    [[nodiscard]] virtual bool ReadFlash(int flashPage) = 0;

    virtual const PageBuffer& pageBuffer() const = 0;
    virtual QString lastError() const = 0;
    // The same as a message: what happened and what to do, then the details. Readers whose
    // lastError() is laid out as UserMessage::text() lays it out keep this default.
    virtual UserMessage failure() const { return UserMessage(lastError()); }

    // The page reads that one user action makes (a Read, a screen, a dump) form an operation.
    // Bytes that turn up after its last reply would mean that reply was not what it seemed, so
    // endOperation() waits a moment and checks; false (with lastError()) when the last page
    // proved wrong. Readers that cannot be wrong keep the defaults.
    virtual void beginOperation() {}
    [[nodiscard]] virtual bool endOperation() { return true; }
};

} // namespace cablemeter
