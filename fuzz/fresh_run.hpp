// Each input runs from the built-in settings and an empty run state, and
// leaves neither behind for the next one, however the target returns.
#pragma once

#include "common/settings.hpp"
#include "driver/run_state.hpp"

namespace fuzz {

class fresh_run {
  public:
    fresh_run()
    {
        reset_settings();
        reset_run_state();
    }
    ~fresh_run()
    {
        reset_run_state();
        reset_settings();
    }
    fresh_run(const fresh_run&) = delete;
    fresh_run& operator=(const fresh_run&) = delete;
};

}  // namespace fuzz
