#pragma once
#include <string>

#include "common/json.h"

namespace bridge {

// How every Part talks to the page. Safe from any thread: each call becomes a main-queue task, so
// page calls reach the page in issue order, after the current event has been handled. A call whose
// JSON cannot be written or whose web view is gone is dropped silently.
class PageSink {
public:
    virtual ~PageSink() = default;
    virtual void pushFunction(std::string name, json::Value payload) = 0;  // window.name(J)
    virtual void pushPositional(std::string name, json::Array args) = 0;   // window.name((J)[0], …)
    virtual void pushWrapped(std::string name, json::Value object) = 0;    // window.name((J))
    virtual void pushScript(std::string script) = 0;                       // a fixed text
};

}  // namespace bridge
