#pragma once

#include "provider/link/frame.h"

namespace velkor::link {

// Receives every complete frame a receiver recognises, synchronously on the
// thread that fed the bytes. A sink must not feed the same receiver again from
// inside onFrame().
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void onFrame(const Frame& frame) = 0;
};

}  // namespace velkor::link
