#pragma once
#include <string>

namespace common {

// What the desktop does for us outside the window: the bell and default applications.
class Desktop {
public:
    virtual ~Desktop() = default;
    virtual void beep() = 0;
    // Opens a URI (file:// or https://) with the user's default application; the outcome is ignored.
    virtual void openUri(const std::string& uri) = 0;
};

}  // namespace common
