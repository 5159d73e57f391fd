#pragma once

namespace core {

// Shows the wait (or app-starting) cursor for its lifetime; nested objects
// show it once and the arrow comes back when the outermost one ends.
class BusyCursor {
public:
    explicit BusyCursor(bool wait = true);
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
    static int Depth();
};

}  // namespace core
